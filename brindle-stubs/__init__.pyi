"""Fast XML reading and writing into immutable ``Node`` trees.

Type information for the compiled module ``brindle``. The names that start with an underscore
(``_NodeDict``, ``_NodeDictInput``), and ``RecordIterator`` (the class of what ``iter_file``
returns, which the module does not name), exist for type checkers only: import them under
``if TYPE_CHECKING:``, never at run time.
"""

from collections.abc import Callable, Iterator, Mapping, Sequence
from os import PathLike
from typing import ClassVar, Final, Literal, Protocol, SupportsIndex, TypeAlias, TypedDict, final, type_check_only

from typing_extensions import NotRequired, ReadOnly, Self

__all__ = ["SearchType", "Node", "read_file", "read_string", "write_file", "write_string"]

@type_check_only
class _NodeDict(TypedDict):
    """The dictionary form that ``Node.to_dict`` returns: always all four keys, in this order."""

    name: str
    attrs: dict[str, str]
    children: list[_NodeDict]
    text: str | None

@type_check_only
class _NodeDictInput(TypedDict):
    """The dictionary form that ``Node.from_dict`` accepts.

    ``children`` may be any sequence (a list or a tuple, not a ``str``) of such dictionaries,
    and ``text`` may be left out. Every ``_NodeDict`` is a ``_NodeDictInput``. At run time other
    keys are ignored as long as their values are strings, ``None``, sequences of dicts or
    dicts of strings; the type leaves them out so that a misspelt key is caught.
    """

    name: ReadOnly[str]
    attrs: ReadOnly[dict[str, str]]
    children: ReadOnly[Sequence[_NodeDictInput]]
    text: ReadOnly[NotRequired[str | None]]

@final
class SearchType:
    """What ``Node.search`` compares: an element's name, its attribute names, or its text.

    The three members are the only instances (``SearchType()`` raises ``TypeError``). A member
    equals itself and the integer it converts to (``Tag`` 0, ``Attr`` 1, ``Text`` 2); members
    have no order and no hash, so they cannot be set members or dict keys.
    """

    Tag: Final[SearchType]
    """Match nodes whose name equals the query (as ``Node.search_by_name``)."""
    Attr: Final[SearchType]
    """Match nodes that have an attribute named by the query (as ``Node.search_by_attr``)."""
    Text: Final[SearchType]
    """Match nodes whose text equals the query (as ``Node.search_by_text``)."""

    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int:
        """The member's number: 0 for ``Tag``, 1 for ``Attr``, 2 for ``Text``."""

    def __eq__(self, other: object, /) -> bool:
        """True for the same member, or for an integer equal to the member's number."""

    def __ne__(self, other: object, /) -> bool:
        """The negation of ``==``."""

@final
class Node:
    """One XML element: a name, attributes, optional text and child nodes.

    A node never changes after it is made. Its children are shared references, not copies,
    so one node can be the child of several parents, or of one parent several times; every
    walk (search, ``str()``, ``to_dict``, the writers) visits it once per occurrence. Nodes
    cannot be subclassed or compared by value (``==`` is identity). They pickle with their
    whole tree, sharing kept, and ``copy.copy``/``copy.deepcopy`` give the node itself.
    """

    def __new__(
        cls,
        name: str,
        attrs: dict[str, str] | None = None,
        children: Sequence[Node] | None = None,
        text: str | None = None,
    ) -> Self:
        """Make a node.

        ``attrs`` must be a ``dict`` of ``str`` to ``str`` (its items are copied, in its
        order); ``children`` any sequence of nodes (a list or a tuple; the nodes themselves
        are kept, not copied); ``text`` absent or ``None`` means "no text", which differs from
        the empty string. Only the types are checked, not the content: a name need not be a
        valid XML name until the node is written. Raises ``TypeError`` naming the argument.
        """

    @property
    def name(self) -> str:
        """The element's name, exactly as read or given, any namespace prefix included."""

    @property
    def attrs(self) -> dict[str, str]:
        """A new dict of the attributes on each read, in document order for a read node and in
        the given order for a constructed one. Changing it does not change the node."""

    @property
    def text(self) -> str | None:
        """The element's text, or ``None`` when it has none (a read element whose character
        data is only white space has none)."""

    @property
    def children(self) -> list[Node]:
        """A new list on each read, holding the child nodes themselves (shared, not copies)."""

    def search_by_name(self, name: str, depth: SupportsIndex | None = None) -> list[Node]:
        """The nodes of this subtree whose name equals ``name``, in document order.

        The search starts with this node itself (level 0). ``depth`` limits the levels
        tested: 0 tests this node only, n tests levels 0 to n; ``None`` or a negative number
        sets no limit. It must fit in 32 bits (``OverflowError`` otherwise).
        """

    def search_by_attr(self, key: str, depth: SupportsIndex | None = None) -> list[Node]:
        """The nodes of this subtree that have an attribute named ``key`` (whatever its value).

        ``depth`` as for ``search_by_name``.
        """

    def search_by_text(self, text: str, depth: SupportsIndex | None = None) -> list[Node]:
        """The nodes of this subtree whose text equals ``text`` exactly (no trimming, no case
        folding). A node without text never matches, not even ``""``.

        ``depth`` as for ``search_by_name``.
        """

    def search(self, by: SearchType, value: str, depth: SupportsIndex | None = None) -> list[Node]:
        """The search chosen by ``by``: ``SearchType.Tag`` is ``search_by_name``,
        ``SearchType.Attr`` is ``search_by_attr``, ``SearchType.Text`` is ``search_by_text``.
        ``by`` must be a ``SearchType`` member; its number is not accepted."""

    def __to_string(self, spacing: SupportsIndex | None = None) -> str:
        """The indented listing of this subtree that ``str()`` gives, with this node's lines
        indented by ``spacing`` spaces (0 to 255). For people to read: nothing is escaped."""

    @classmethod
    def from_dict(cls, dict_: _NodeDictInput) -> Node:
        """Build a new tree from its dictionary form (what ``to_dict`` returns).

        Raises ``TypeError`` for a value of a wrong type anywhere in the input (checked
        before anything else), and ``ValueError`` "Invalid name", "Invalid attrs" or "Invalid
        children" for a node dictionary that lacks that key or has a wrong kind of value
        there, or "circular reference detected" for a dict that contains itself.
        """

    def to_dict(self) -> _NodeDict:
        """This subtree as plain data: a new dict with the keys ``name``, ``attrs``,
        ``children`` (a list of such dicts) and ``text`` (``None`` when absent), in that order.
        ``Node.from_dict`` turns it back into an equal tree of new nodes."""

    def __str__(self) -> str:
        """The indented listing of this subtree (``__to_string()`` with no spacing)."""

    def __repr__(self) -> str:
        """``Node(name)``, the name not quoted."""

    def __reduce__(self) -> tuple[Callable[[bytes], Node], tuple[bytes]]:
        """What pickle stores: ``brindle._unpickle_node`` and the native encoding of this tree,
        each distinct node once (so shared children stay shared after loading)."""

    def __copy__(self) -> Self:
        """The node itself: nodes never change."""

    def __deepcopy__(self, memo: object, /) -> Self:
        """The node itself: nodes never change."""

def read_string(xml_string: str, root_tag: str) -> Node:
    """Read the first element named ``root_tag`` from the XML document ``xml_string``.

    The whole document is indexed, then read up to the end of that element; the interpreter
    lock is released meanwhile. Raises ``ValueError`` for malformed XML (the message gives the
    byte offset into the document's UTF-8 encoding) or when no element has that name.
    """

@type_check_only
class _ReadsInto(Protocol):
    def readinto(self, buffer: memoryview, /) -> int: ...

@type_check_only
class _ReadsBytes(Protocol):
    def read(self, size: int, /) -> bytes: ...

@final
class RecordIterator(Iterator[Node]):
    """The records of one stream, as ``iter_file`` and ``iter_string`` yield them."""

    def __next__(self) -> Node: ...
    def close(self) -> None:
        """Stops the stream: a file that the iterator opened is closed now."""

def iter_file(
    source: str | bytes | PathLike[str] | PathLike[bytes] | _ReadsInto | _ReadsBytes,
    tag: str,
    buffer_size: int | None = None,
) -> RecordIterator:
    """Every element named ``tag`` that is not inside another, from a path or a binary file
    object read ``buffer_size`` bytes at a time, each as a ``Node`` once its end tag is read.

    Memory stays bounded; the whole stream is checked as ``read_file`` checks a document, and an
    error raises ``ValueError`` after the records before it. Not in ``__all__``.
    """

def iter_string(xml_string: str, tag: str, buffer_size: int | None = None) -> RecordIterator:
    """The same as ``iter_file``, over a ``str``."""

@type_check_only
class _ArrowCSchema(Protocol):
    """A PyCapsule named ``arrow_schema`` (the Arrow PyCapsule interface)."""

@type_check_only
class _ArrowCStream(Protocol):
    """A PyCapsule named ``arrow_array_stream`` (the Arrow PyCapsule interface)."""

@final
class TableStream:
    """The rows of ``read_table``, handed out once as Arrow record batches: pass it to
    ``pyarrow.table``, ``polars.DataFrame`` or anything else that takes ``__arrow_c_stream__``."""

    def __arrow_c_stream__(self, requested_schema: object | None = None, /) -> _ArrowCStream:
        """The rows as an Arrow C stream of record batches, in a PyCapsule; they can be taken once."""

    def __arrow_c_schema__(self) -> _ArrowCSchema:
        """The schema of the rows (a struct of the columns), in a PyCapsule."""

    @property
    def first_record(self) -> int | None:
        """With ``byte_range``: the byte offset where the piece's records start (its first
        candidate for a record start), or ``None`` when the range holds none; ``None`` without
        ``byte_range``."""

    @property
    def next_record(self) -> int | None:
        """With ``byte_range``, once every batch has been read (``ValueError`` before): the byte
        offset of the first record at or after the range's end, ``None`` when the file ended
        first; ``None`` without ``byte_range``."""

    @property
    def ancestors_kept(self) -> bool | None:
        """With ``byte_range``, once every batch has been read (``ValueError`` before): whether
        the elements open around ``next_record`` are those around the file's first record;
        ``None`` without ``byte_range``."""

# A column is a path, or a (path, type) pair with a type of "str", "int64", "float64" or
# "bool". A dict kept in a variable, such as {"id": "@id", "year": ("Year", "int64")}, is
# inferred as dict[str, Sequence[str]] (the join of str and tuple[str, str]), so any Mapping of
# str sequences is taken; the call checks each pair and type.
_Columns: TypeAlias = Mapping[str, str | tuple[str, Literal["str", "int64", "float64", "bool"]] | Sequence[str]]

def read_table(
    source: str | bytes | PathLike[str] | PathLike[bytes] | _ReadsInto | _ReadsBytes,
    tag: str,
    columns: _Columns | None = None,
    *,
    batch_rows: int = 65536,
    buffer_size: int | None = None,
    errors: Literal["raise", "null"] = "raise",
    byte_range: tuple[int, int] | None = None,
) -> TableStream:
    """The records named ``tag`` in a stream (sources as ``iter_file``) as the rows of a table:
    one column per named path (``@a``, ``A/B``, ``A/@a``, ``A/B/C[*]``, ``A/string()``,
    ``string()``), typed ``str``, ``int64``, ``float64`` or ``bool``, in batches of at most
    ``batch_rows`` rows; without ``columns``, inferred from the first 1,000 records. A value
    that does not convert ends the stream with ``ValueError``, or is null with
    ``errors="null"``. With ``byte_range=(start, end)`` (a path only): the records whose start
    tag begins in that range of the file's bytes, for processes that share one file. Not in
    ``__all__``; see docs/tables.md.
    """

def read_file(file_path: str, root_tag: str) -> Node:
    """Read the first element named ``root_tag`` from the UTF-8 file at ``file_path``.

    ``file_path`` must be a ``str`` (not bytes, not a ``pathlib.Path``: pass ``str(path)``).
    Raises as ``read_string`` does, and ``OSError`` (its subclass for the error's kind, such
    as ``FileNotFoundError``) when the file cannot be read or is not valid UTF-8.
    """

def write_string(node: Node, indent: SupportsIndex | None = None, default_xml_def: bool | None = None) -> str:
    """The tree of ``node`` as an XML document.

    Each level is indented by ``indent`` spaces (4 when ``None``; a negative one is
    ``OverflowError``), and the declaration ``<?xml version="1.0" encoding="utf-8"?>`` and a
    line break come first unless ``default_xml_def`` is ``False`` (a NumPy bool is accepted
    too; an ``int`` is not). Raises ``ValueError`` for a name that is not an XML name or a
    character XML forbids. The interpreter lock is released while the text is produced.
    """

def write_file(
    node: Node, file_path: str, indent: SupportsIndex | None = None, default_xml_def: bool | None = None
) -> None:
    """Write what ``write_string`` returns, encoded as UTF-8, to ``file_path`` (created or
    replaced; a ``str`` only).

    A tree that could not be read back is refused with ``ValueError`` before the file is
    opened. An ``OSError`` while writing leaves what was written so far in the file. The
    interpreter lock is released while checking and writing.
    """

__version__: Final[str]
"""The installed package's version (``brindle-xml``), as its metadata holds it."""

def _unpickle_node(payload: bytes) -> Node:
    """The tree a pickled ``Node`` holds: what pickle calls on loading one.

    Raises ``ValueError`` "invalid Node pickle: ..." for bytes that are not a whole, well-formed
    encoding of a format version this brindle reads.
    """
