"""SearchType: three shared members that print, convert and compare like small integers."""

import operator

import pytest

from brindle import SearchType

MEMBERS = [(SearchType.Tag, 0, "SearchType.Tag"), (SearchType.Attr, 1, "SearchType.Attr"),
           (SearchType.Text, 2, "SearchType.Text")]


@pytest.mark.parametrize("member, number, text", MEMBERS)
def test_member_text_and_number(member, number, text):
    assert repr(member) == str(member) == text
    assert int(member) == number
    assert member == number and number == member
    assert not (member != number)
    assert member is getattr(SearchType, text.split(".")[1])


def test_members_compare_by_member():
    assert SearchType.Tag == SearchType.Tag
    assert (SearchType.Tag == SearchType.Attr) is False
    assert (SearchType.Tag != SearchType.Attr) is True
    assert SearchType.Attr == True  # noqa: E712 - a flag converts to 1
    assert SearchType.Text != 1


@pytest.mark.parametrize("other", [0.0, "Tag", None, object(), [0]])
def test_equality_with_non_integers_is_false(other):
    assert (SearchType.Tag == other) is False
    assert (SearchType.Tag != other) is True


@pytest.mark.parametrize("compare", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("other", [SearchType.Attr, 1])
def test_ordering_is_not_defined(compare, other):
    with pytest.raises(TypeError):
        compare(SearchType.Tag, other)


@pytest.mark.parametrize("action", [
    lambda: hash(SearchType.Tag),
    lambda: {SearchType.Tag: 1},
    lambda: {SearchType.Attr},
    lambda: SearchType(),
    lambda: SearchType(0),
    lambda: operator.index(SearchType.Attr),
    lambda: [1, 2, 3][SearchType.Attr],
    lambda: range(SearchType.Text),
])
def test_unhashable_uninstantiable_not_an_index(action):
    with pytest.raises(TypeError):
        action()


def test_class_attributes_can_be_reassigned():
    original = SearchType.Tag
    try:
        SearchType.Tag = "changed"
        assert SearchType.Tag == "changed"
    finally:
        SearchType.Tag = original
    assert SearchType.Tag is original
