"""iter_file and iter_string: the outermost elements of a tag, as read_string reads them, from a
stream read a buffer at a time: under both index builders, with buffer edges inside every kind
of markup, from paths, file objects that return a few bytes per read, and str; read_file's
errors at the same offsets, after the records before them; files closed on every way out."""

import collections
import gc
import io
import lzma
import os
import subprocess
import sys
import weakref

import pytest

import brindle
from generated_documents import root_name
from read_documents import BUILDERS, in_builder
from test_read_differential import CORPUS, CORPUS_FILES


def outermost(document, tag):
    """The to_dict of every element named `tag` not inside another, from read_string."""
    found, stack = [], [brindle.read_string(document, root_name(document))]
    while stack:
        node = stack.pop()
        if node.name == tag:
            found.append(node.to_dict())
        else:
            stack.extend(reversed(node.children))
    return found


class Trickle(io.RawIOBase):
    """A binary file object that hands out at most `step` bytes per read."""

    def __init__(self, data, step=7, use_readinto=True):
        self.data, self.step, self.at = data, step, 0
        if not use_readinto:
            self.readinto = None

    def readable(self):
        return True

    def readinto(self, view):
        count = min(self.step, len(view), len(self.data) - self.at)
        view[:count] = self.data[self.at:self.at + count]
        self.at += count
        return count

    def __getattribute__(self, name):
        if name == "readinto" and object.__getattribute__(self, "__dict__").get("readinto", 0) is None:
            raise AttributeError(name)
        return object.__getattribute__(self, name)

    def read(self, size=-1):
        count = min(self.step, size, len(self.data) - self.at)
        self.at += count
        return bytes(self.data[self.at - count:self.at])


def streams(document, tag, tmp_path, buffer_size):
    """Every way in: a str, a path, a file object with readinto and one with read alone."""
    data = document.encode()
    path = tmp_path / "stream.xml"
    path.write_bytes(data)
    return {
        "str": lambda: brindle.iter_string(document, tag, buffer_size=buffer_size),
        "path": lambda: brindle.iter_file(path, tag, buffer_size=buffer_size),
        "readinto": lambda: brindle.iter_file(Trickle(data), tag, buffer_size=buffer_size),
        "read": lambda: brindle.iter_file(Trickle(data, 5, use_readinto=False), tag, buffer_size=buffer_size),
    }


# Every kind of markup inside and between records, after enough small elements that the builder
# choice (on the first 4096 bytes) is made before it, so small buffers put edges everywhere.
PADDING = "<pad/>" * 700
MARKUP = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<!DOCTYPE db [ <!ENTITY e "x>y"> <!-- ] > --> ]>\n'
    "<db>" + PADDING +
    '<rec id="1" note="a &gt; b &amp; &#233;&#x4E2D;" q=\'say "hi"\'>caf\u00e9 \u4e2d\u6587 \U0001F600'
    "<!-- a comment with <rec> inside --><![CDATA[<rec>raw & ]]]]><?pi data?>"
    "<rec>nested, same name</rec>  <sub a='1'/>tail &lt;&#38;&gt;</rec>\n"
    "<group><rec/><rec\tk = \"v\" >\r\n  spaced  \r\n</rec ></group>"
    "<other>text &amp; more</other><rec id='\u00e9\u00e9'>\U0001F600</rec><!--end-->"
    "</db>\n<!-- after -->"
)


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("buffer_size", [1, 2, 3, 5, 7, 11, 13, 17, 31, 64, 97, 4096, None])
def test_records_equal_read_string(builder, buffer_size, tmp_path):
    document, _ = in_builder(MARKUP, builder)
    expected = outermost(document, "rec")
    assert len(expected) == 4
    for way, make in streams(document, "rec", tmp_path, buffer_size).items():
        assert [node.to_dict() for node in make()] == expected, way


@pytest.mark.parametrize("builder", BUILDERS)
def test_no_record_yields_nothing(builder, tmp_path):
    document, _ = in_builder(MARKUP, builder)
    for way, make in streams(document, "absent", tmp_path, 64).items():
        assert list(make()) == [], way


def most_frequent_element(node):
    counts, stack = collections.Counter(), [node]
    while stack:
        node = stack.pop()
        counts[node.name] += 1
        stack.extend(node.children)
    return counts.most_common(1)[0][0]


@pytest.mark.skipif(not os.path.isdir(CORPUS), reason="corpus not available")
@pytest.mark.parametrize("name", CORPUS_FILES)
def test_corpus_records_equal_read_string(name, tmp_path):
    with lzma.open(os.path.join(CORPUS, name), "rt", encoding="utf-8") as stream:
        document = stream.read()
    tag = most_frequent_element(brindle.read_string(document, root_name(document)))
    expected = outermost(document, tag)
    path = tmp_path / "doc.xml"
    path.write_text(document, encoding="utf-8")
    assert [n.to_dict() for n in brindle.iter_file(str(path), tag)] == expected
    assert [n.to_dict() for n in brindle.iter_file(io.BytesIO(document.encode()), tag, buffer_size=4099)] == expected
    assert [n.to_dict() for n in brindle.iter_string(document, tag, buffer_size=65537)] == expected


GOOD = '<rec n="1"/><rec n="2"><x>t</x></rec>'

# One fault each, after two records; (document body, whether the document element still opens it).
FAULTS = [
    "<rec a=1/>",
    "<rec><x></rec>",
    "<rec>&bogus;</rec>",
    "<other>&bogus;</other>",
    "text &#0; between",
    "<rec a='1' a='2'/>",
    "<!-- never closed",
    "<![CDATA[ never closed",
    "<?pi never closed",
    '<rec a="never closed',
    "<rec",
    "</other>",
    "<rec><unclosed>",
    "",
]


@pytest.mark.parametrize("builder", BUILDERS)
@pytest.mark.parametrize("fault", FAULTS)
@pytest.mark.parametrize("buffer_size", [1, 7, 100, None])
def test_errors_are_read_files_after_the_records_before(builder, fault, buffer_size, tmp_path):
    document, _ = in_builder("<db>" + PADDING + GOOD + fault, builder)
    path = tmp_path / "doc.xml"
    path.write_bytes(document.encode())
    with pytest.raises(ValueError) as read:
        brindle.read_file(str(path), "db")
    for way, make in streams(document, "rec", tmp_path, buffer_size).items():
        records = make()
        assert [next(records).attrs["n"] for _ in range(2)] == ["1", "2"], way
        with pytest.raises(ValueError) as streamed:
            next(records)
        assert str(streamed.value) == str(read.value), way
        with pytest.raises(StopIteration):
            next(records)


def test_offsets_count_from_the_start_of_the_stream():
    document = "<db>" + "<rec><x>\u00e9</x></rec>" * 5000 + "<rec a=1/></db>"
    with pytest.raises(ValueError) as read:
        brindle.read_string(document, "db")
    with pytest.raises(ValueError) as streamed:
        list(brindle.iter_string(document, "rec", buffer_size=1000))
    assert str(streamed.value) == str(read.value)


@pytest.mark.parametrize("bad", [b"\xff", b"\xc3", b"\xed\xa0\x80"])
def test_bytes_not_utf8_fail_when_reached(bad, tmp_path):
    data = ("<db>" + PADDING + GOOD).encode() + b"<rec>" + bad + b"</rec></db>"
    for make in (lambda: brindle.iter_file(io.BytesIO(data), "rec", buffer_size=3),
                 lambda: brindle.iter_file(Trickle(data), "rec")):
        records = make()
        assert len([next(records), next(records)]) == 2
        with pytest.raises(OSError, match="^stream did not contain valid UTF-8$"):
            next(records)


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


@pytest.mark.parametrize("stop", ["exhausted", "close", "collected", "error"])
def test_a_file_opened_here_is_closed(stop, tmp_path):
    path = tmp_path / "doc.xml"
    path.write_text("<db>" + GOOD * 2000 + ("<bad" if stop == "error" else "") + "</db>")
    before = open_descriptors()
    records = brindle.iter_file(path, "rec", buffer_size=4096)
    assert open_descriptors() == before + 1
    next(records)
    if stop == "exhausted":
        list(records)
    elif stop == "close":
        records.close()
    elif stop == "collected":
        del records
        gc.collect()
    else:
        with pytest.raises(ValueError):
            list(records)
    assert open_descriptors() == before


def test_a_cycle_through_the_file_object_is_collected():
    class Holding(io.BytesIO):
        pass

    source = Holding(("<db>" + GOOD + "</db>").encode())
    source.records = brindle.iter_file(source, "rec")
    next(source.records)
    alive = weakref.ref(source)
    del source
    gc.collect()
    assert alive() is None


def test_a_callers_file_is_never_closed():
    source = io.BytesIO(("<db>" + GOOD + "</db>").encode())
    assert len(list(brindle.iter_file(source, "rec"))) == 2
    records = brindle.iter_file(source, "rec")
    records.close()
    assert not source.closed


class Failing(io.RawIOBase):
    def readinto(self, view):
        raise LookupError("from the file object")


class ReturnsStr:
    def read(self, size):
        return "<db/>"


def test_file_object_faults_pass_through():
    with pytest.raises(LookupError, match="from the file object"):
        list(brindle.iter_file(Failing(), "rec"))
    with pytest.raises(TypeError):
        list(brindle.iter_file(ReturnsStr(), "rec"))
    with pytest.raises(TypeError):
        brindle.iter_file(42, "rec")
    with pytest.raises(FileNotFoundError):
        brindle.iter_file("/no/such/file.xml", "rec")
    with pytest.raises(UnicodeEncodeError):
        list(brindle.iter_string("<db>\ud800</db>", "rec"))


def test_next_while_running_raises():
    class Reentrant(io.RawIOBase):
        def readinto(self, view):
            next(records)

    records = brindle.iter_file(Reentrant(), "rec")
    with pytest.raises(ValueError, match="already being read"):
        next(records)


def test_not_in_all():
    assert "iter_file" not in brindle.__all__ and "iter_string" not in brindle.__all__


def stream_memory(mib, every):
    """(growth of peak RSS, XML bytes of the records kept) of stream_memory.py in a fresh process."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stream_memory.py")
    done = subprocess.run([sys.executable, script, str(mib), str(every)], capture_output=True, text=True,
                          timeout=300, check=True)
    return tuple(int(word) for word in done.stdout.split())


@pytest.mark.unsanitized(reason="measures the peak memory of the C allocator")
def test_memory_stays_bounded():
    growth, _ = stream_memory(300, 0)
    assert growth < 16 << 20  # 300 MiB through a 32 KiB buffer
    kept_growth, kept_bytes = stream_memory(300, 100)
    assert kept_growth - growth <= 4 * kept_bytes


INTERRUPTED = """
import collections, itertools, os, signal, sys, brindle
records = brindle.iter_file(sys.argv[1], "rec")
taken = itertools.count()
descriptors = len(os.listdir("/proc/self/fd"))
signal.signal(signal.SIGALRM, signal.default_int_handler)
signal.setitimer(signal.ITIMER_REAL, 0.05)
try:
    collections.deque(zip(records, taken), maxlen=0)  # no Python code between records: brindle polls
except KeyboardInterrupt:
    print(next(taken), descriptors - len(os.listdir("/proc/self/fd")))
"""


@pytest.mark.unsanitized(reason="a stream long enough to be interrupted takes too long there")
def test_ctrl_c_stops_the_stream_and_closes_the_file(tmp_path):
    path = tmp_path / "long.xml"
    with open(path, "w") as out:
        out.write("<db>")
        block = "<rec a='1'><x>t</x></rec>\n" * 40000
        for _ in range(200):
            out.write(block)
        out.write("</db>")
    done = subprocess.run([sys.executable, "-c", INTERRUPTED, str(path)], capture_output=True, text=True,
                          timeout=120, check=True)
    taken, closed = done.stdout.split()
    assert int(taken) < 200 * 40000 and int(closed) == 1
