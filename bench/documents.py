"""The documents every benchmark compares on: the generated shapes (tests/generated_documents.py,
the ones the tests read too) and the real documents of the shared corpus, which lies beside the
project (<project>/../shared/corpus, or the folder BRINDLE_CORPUS names) and is read from there,
xz-compressed, never copied into the repository."""

import lzma
import os
import sys
from dataclasses import dataclass

PROJECT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.append(os.path.join(PROJECT, "tests"))

import generated_documents as generate  # noqa: E402  (found through the path set just above)

CORPUS = os.environ.get("BRINDLE_CORPUS") or os.path.join(os.path.dirname(PROJECT), "shared", "corpus")
CORPUS_SUFFIX = ".xz"


@dataclass
class Document:
    label: str   # the shape's name, or the corpus file's name without .xz
    raw: bytes   # UTF-8, what every library reads
    root: str    # the root element's name, which brindle's readers ask for
    real: bool   # from the corpus rather than generated
    path: str = ""  # where the benchmark wrote it as a file (write_to), for the other processes

    @property
    def megabytes(self):
        return len(self.raw) / 1e6

    def write_to(self, directory):
        """Writes the document as a file in `directory` (for the readers of files and the processes
        of the contenders); returns its path, which `path` keeps."""
        self.path = os.path.join(directory, self.label if self.real else self.label + ".xml")
        with open(self.path, "wb") as file:
            file.write(self.raw)
        return self.path


def generated(target_bytes):
    """Every generated shape at about `target_bytes`."""
    documents = []
    for name, make in generate.SHAPES.items():
        text = make(target_bytes)
        documents.append(Document(name, text.encode(), generate.root_name(text), real=False))
    return documents


def small():
    """The document of about 2 KB, for the cost of one call."""
    text = generate.small()
    return Document("small", text.encode(), generate.root_name(text), real=False)


def corpus_names():
    if not os.path.isdir(CORPUS):
        return []
    return sorted(name[:-len(CORPUS_SUFFIX)] for name in os.listdir(CORPUS) if name.endswith(CORPUS_SUFFIX))


def corpus(names):
    """The named corpus documents, decompressed in memory."""
    documents = []
    for name in names:
        with lzma.open(os.path.join(CORPUS, name + CORPUS_SUFFIX)) as stream:
            raw = stream.read()
        documents.append(Document(name, raw, generate.root_name(raw.decode()), real=True))
    return documents
