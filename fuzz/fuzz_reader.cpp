// The reader core end to end, from document bytes to the detached tree.
//
// First input byte even: the rest is an arbitrary document (and a root tag from a short
// list). Every input ends in a tree or an error value; no crash, hang or sanitizer report.
// A tree is sound (sizes add up, names and texts inside the document or the arena, texts
// trimmed); an error names offsets inside the document and views of it or of the root tag.
// The reader's UTF-8 check agrees with the harness's own.
//
// First input byte odd: the rest chooses a well-formed document from the grammar and one of
// its elements' names as the root tag. The read succeeds and the tree equals the model's
// first element of that name: names, attributes in order, texts trimmed of Unicode white
// space (absent when empty), children.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/document_grammar.hpp"
#include "common/expect.hpp"
#include "common/utf8.hpp"
#include "kernels/kernels.hpp"
#include "reader/read_pipeline.hpp"

namespace brindle::fuzz {
namespace {

using reader::ReadElement;
using reader::ReadError;
using reader::ReadErrorKind;
using reader::ReadTree;

bool is_view_of(std::string_view part, std::string_view whole)
{
    return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void expect_sound_error(const ReadError& error, std::string_view document, std::string_view root_tag)
{
    EXPECT(error.failed(), "a failed read says how");
    EXPECT(error.offset <= document.size(), "an error's offset lies in the document");
    for (const std::string_view name : {error.name, error.second_name}) {
        EXPECT(is_view_of(name, document) || is_view_of(name, root_tag), "an error's names are views of the input");
    }
}

// Sizes add up in pre-order, names lie in the document, texts are present only when not
// empty and carry no white space at either end.
void expect_sound_tree(ReadTree& tree, std::string_view document)
{
    EXPECT(tree.size() > 0, "a successful read has a root");
    std::size_t children = 0;
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const ReadElement& element = tree[i];
        children += element.child_count;
        EXPECT(element.name_length > 0 && element.name_start <= document.size() &&
                   element.name_length <= document.size() - element.name_start,
               "a name is a non-empty range of the document");
        if (!element.text.absent()) {
            const std::string_view text = tree.text_of(element.text, document);
            EXPECT(!text.empty() && trim_white_space(text) == text, "a present text is trimmed and not empty");
        }
        if (element.attributes != ReadElement::kNoAttributes) {
            EXPECT(tree.attributes(element.attributes).size() > 0, "an attribute table is never empty");
        }
    }
    EXPECT(children == tree.size() - 1, "every element but the root is some element's child");
}

void read_arbitrary(std::span<const std::uint8_t> input)
{
    static constexpr std::array<std::string_view, 4> kRootTags{"a", "b", "item", ""};
    if (input.empty()) return;
    const std::string_view root_tag = kRootTags[input[0] % kRootTags.size()];
    const std::string_view document(reinterpret_cast<const char*>(input.data()) + 1, input.size() - 1);
    const bool valid = is_valid_utf8(document);
    EXPECT(kernels::is_valid_utf8(document) == valid, "the reader's UTF-8 check agrees with an independent one");
    if (!valid) return;  // the reader's callers check the document first
    ReadTree tree;
    ReadError error;
    if (reader::parse_document(document, root_tag, tree, error)) {
        EXPECT(!error.failed(), "a successful read leaves no error");
        expect_sound_tree(tree, document);
    } else {
        expect_sound_error(error, document, root_tag);
    }
}

// The model's first element named `name` in document order (elements are in that order).
std::size_t first_named(const GeneratedDocument& model, std::string_view name)
{
    std::size_t found = 0;
    while (model.elements[found].name != name) ++found;
    return found;
}

void expect_element_as_model(ReadTree& tree, std::size_t i, std::string_view document, const ModelElement& model)
{
    const ReadElement& element = tree[i];
    EXPECT(document.substr(element.name_start, element.name_length) == model.name, "the element's name");
    const std::string_view text = element.text.absent() ? std::string_view() : tree.text_of(element.text, document);
    EXPECT(text == trim_white_space(model.text), "the element's text, trimmed and absent when empty");
    EXPECT(element.child_count == model.children.size(), "the element's number of children");
    std::vector<std::pair<std::string, std::string>> attributes;
    if (element.attributes != ReadElement::kNoAttributes) {
        for (const auto& [name, value] : tree.attributes(element.attributes)) attributes.emplace_back(name, value);
    }
    EXPECT(attributes == model.attributes, "the element's attributes, in document order");
}

void read_generated(std::span<const std::uint8_t> input)
{
    const std::uint8_t pick = input.empty() ? 0 : input[0];
    const GeneratedDocument model = generate_document(input.subspan(input.empty() ? 0 : 1),
                                                      {.less_than_in_values = false});
    const std::string_view root_tag = model.elements[pick % model.elements.size()].name;
    ReadTree tree;
    ReadError error;
    if (!reader::parse_document(model.bytes, root_tag, tree, error)) {
        std::fprintf(stderr, "document: %s\nerror kind %d message %d at %llu\n", model.bytes.c_str(), int(error.kind),
                     int(error.message), static_cast<unsigned long long>(error.offset));
        EXPECT(false, "a well-formed document reads");
    }
    // The tree is in pre-order, like a walk of the model from the collected element that
    // visits the first child first.
    std::vector<std::size_t> pending{first_named(model, root_tag)};
    std::size_t i = 0;
    while (!pending.empty()) {
        const ModelElement& expected = model.elements[pending.back()];
        pending.pop_back();
        EXPECT(i < tree.size(), "the tree holds every element of the model");
        expect_element_as_model(tree, i++, model.bytes, expected);
        pending.insert(pending.end(), expected.children.rbegin(), expected.children.rend());
    }
    EXPECT(i == tree.size(), "the tree holds nothing beyond the model");
}

}  // namespace
}  // namespace brindle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] & 1) {
        brindle::fuzz::read_generated(rest);
    } else {
        brindle::fuzz::read_arbitrary(rest);
    }
    return 0;
}
