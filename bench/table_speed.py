"""read_table against what users write instead, building the same columns: brindle's iter_file
with a Python loop, lxml's iterparse with the clear-and-delete-previous-siblings idiom, and
pandas.read_xml(iterparse=...). On a generated PubMed-like file (8 fields: attributes,
first-match paths, a list column and two string() columns over mixed content) and on the
OpenStreetMap-like file (bench/osm_records.py).

Each contender runs in a long-lived process of its own, pinned to one core (`taskset -c CORE`,
bench/pinned_workers.py); the contenders take turns round by round, the order reversed every
other round; a timed run makes the columns and drops them (read_table: a pyarrow.Table, or the
batches one at a time for read_table_batches; the loops: one Python list per column); no heap is
trimmed. CPU time of the process (every thread) per run; the table gives the median MB/s and the
range over the rounds, and each contender's CPU time as a multiple of the read_table run it is
compared with. Peak RSS growth is each contender's first run's: VmHWM after it less VmRSS before.

pandas.read_xml's iterparse takes, per record, the first text of descendants and the first value
of attributes by name: it cannot express a path, a list or a string() column. It is compared on
the fields it can express (5 of each file's), with read_table making the same fields into a
pandas.DataFrame (read_table_pandas). The loops are slow: they run --slow-rounds rounds.

The tree model cannot give a string() column (it joins an element's own text and drops the
places of its children); the iter_file loop joins the texts of the element and its descendants
in tree order instead, which costs the same walk.

    python3 bench/table_speed.py [--mib 1024] [--rounds 3] [--slow-rounds 1] [--only pubmed|osm]
                                 [--core 0] [--dir /tmp/brindle-table]
"""

import argparse
import os
import random
import statistics
import sys

import pinned_workers

HERE = os.path.dirname(os.path.abspath(__file__))

WORDS = ("protein", "cell", "the", "of", "binding", "receptor", "&amp;", "expression", "in", "mice", "α-helix",
         "signal", "with", "human", "role", "kinase")
NAMES = ("Smith", "Müller", "Tanaka", "García", "Nowak", "Okafor", "Li", "Dubois")
INLINE = ("<i>{}</i>", "<sup>{}</sup>", "<sub>{}</sub>", "<mml:math><mml:mi>{}</mml:mi></mml:math>", "{}", "{}")


def _prose(rng, count):
    return " ".join(rng.choice(INLINE).format(rng.choice(WORDS)) for _ in range(count))


def _article(rng, i):
    authors = "".join(f'\n        <Author ValidYN="Y"><LastName>{rng.choice(NAMES)}</LastName>'
                      f"<ForeName>{rng.choice(NAMES)}</ForeName><Initials>A</Initials></Author>"
                      for _ in range(rng.randint(1, 8)))
    return (f'\n  <PubmedArticle><MedlineCitation Status="MEDLINE" Owner="NLM"><PMID Version="1">{i}</PMID>'
            f'\n    <Article PubModel="Print"><Journal><ISSN IssnType="Print">{rng.randint(1000, 9999)}-0000</ISSN>'
            f"<JournalIssue><Volume>{rng.randint(1, 99)}</Volume><PubDate><Year>{rng.randint(1950, 2024)}</Year>"
            f"<Month>{rng.choice(('Jan', 'Feb', 'Mar', 'Apr'))}</Month></PubDate></JournalIssue>"
            f"<Title>Journal of {rng.choice(NAMES)} Studies</Title></Journal>"
            f"\n      <ArticleTitle>{_prose(rng, rng.randint(6, 16))}</ArticleTitle>"
            f"\n      <Abstract><AbstractText>{_prose(rng, rng.randint(60, 160))}</AbstractText></Abstract>"
            f'\n      <AuthorList CompleteYN="Y">{authors}\n      </AuthorList><Language>eng</Language>'
            f"\n    </Article></MedlineCitation></PubmedArticle>")


def write_pubmed(path, size):
    rng = random.Random(11)
    count = 0
    with open(path, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0"?>\n<!DOCTYPE PubmedArticleSet>\n<PubmedArticleSet xmlns:mml="http://www.w3.org/1998/Math/MathML">')
        written = 0
        while written < size:
            block = "".join(_article(rng, count + k) for k in range(1000))
            count += 1000
            out.write(block)
            written += len(block.encode())
        out.write("\n</PubmedArticleSet>\n")
    return count


# The columns, as read_table paths; the loops below build the same. "pandas": the fields that
# pandas.read_xml's iterparse can express, by the names it takes, as read_table paths.
PUBMED = {
    "tag": "MedlineCitation",
    "columns": {"pmid": ("PMID", "int64"), "status": "@Status", "year": ("Article/Journal/JournalIssue/PubDate/Year",
                                                                          "int64"),
                "journal": "Article/Journal/Title", "title": "Article/ArticleTitle/string()",
                "abstract": "Article/Abstract/AbstractText/string()",
                "authors": "Article/AuthorList/Author/LastName[*]", "language": "Article/Language"},
    "pandas": {"PMID": ("PMID", "int64"), "Status": "@Status", "Year": ("Article/Journal/JournalIssue/PubDate/Year",
                                                                         "int64"),
               "Title": "Article/Journal/Title", "Language": "Article/Language"},
}
OSM = {
    "tag": "node",
    "columns": {"id": ("@id", "int64"), "lat": ("@lat", "float64"), "lon": ("@lon", "float64"), "user": "@user",
                "version": ("@version", "int64"), "keys": "tag/@k[*]", "values": "tag/@v[*]"},
    "pandas": {"id": ("@id", "int64"), "lat": ("@lat", "float64"), "lon": ("@lon", "float64"), "user": "@user",
               "version": ("@version", "int64")},
}


def _columns(paths):
    """read_table's columns from their JSON form (a pair arrives as a list)."""
    return {name: tuple(path) if isinstance(path, list) else path for name, path in paths.items()}


# ---- the contenders, each in its worker process -------------------------------------------

def run_read_table(path, spec):
    import pyarrow
    import brindle
    return pyarrow.table(brindle.read_table(path, spec["tag"], _columns(spec["columns"]))).num_rows


# The goal on memory: batches taken and dropped one at a time hold a batch, never the table.
def run_read_table_batches(path, spec):
    import pyarrow
    import brindle
    batches = pyarrow.RecordBatchReader.from_stream(brindle.read_table(path, spec["tag"], _columns(spec["columns"])))
    return sum(batch.num_rows for batch in batches)


def run_read_table_pandas(path, spec):
    import pyarrow
    import brindle
    return len(pyarrow.table(brindle.read_table(path, spec["tag"], _columns(spec["pandas"]))).to_pandas())


def run_pandas_read_xml(path, spec):
    import pandas
    return len(pandas.read_xml(path, iterparse={spec["tag"]: list(spec["pandas"])}))


def _first(node, *names):
    for name in names:
        if node is None:
            return None
        node = next((child for child in node.children if child.name == name), None)
    return node


def _all_text(node):
    parts, stack = [], [node]
    while stack:
        current = stack.pop()
        if current.text:
            parts.append(current.text)
        stack.extend(reversed(current.children))
    return " ".join(parts)


def run_iter_file_loop(path, spec):
    import brindle
    if spec["tag"] == "node":
        ids, lats, lons, users, versions, keys, values = [], [], [], [], [], [], []
        for node in brindle.iter_file(path, "node"):
            attrs = node.attrs
            ids.append(int(attrs["id"]))
            lats.append(float(attrs["lat"]))
            lons.append(float(attrs["lon"]))
            users.append(attrs.get("user"))
            versions.append(int(attrs["version"]))
            keys.append([tag.attrs.get("k") for tag in node.children if tag.name == "tag"])
            values.append([tag.attrs.get("v") for tag in node.children if tag.name == "tag"])
        return len(ids)
    pmids, statuses, years, journals, titles, abstracts, authors, languages = [], [], [], [], [], [], [], []
    for record in brindle.iter_file(path, "MedlineCitation"):
        pmid = _first(record, "PMID")
        pmids.append(int(pmid.text) if pmid is not None and pmid.text else None)
        statuses.append(record.attrs.get("Status"))
        article = _first(record, "Article")
        year = _first(article, "Journal", "JournalIssue", "PubDate", "Year")
        years.append(int(year.text) if year is not None and year.text else None)
        journal = _first(article, "Journal", "Title")
        journals.append(journal.text if journal is not None else None)
        title = _first(article, "ArticleTitle")
        titles.append(_all_text(title) if title is not None else None)
        abstract = _first(article, "Abstract", "AbstractText")
        abstracts.append(_all_text(abstract) if abstract is not None else None)
        author_list = [] if article is None else [c for c in article.children if c.name == "AuthorList"]
        authors.append([last.text for a_list in author_list for author in a_list.children if author.name == "Author"
                        for last in author.children if last.name == "LastName"])
        language = _first(article, "Language")
        languages.append(language.text if language is not None else None)
    return len(pmids)


def run_lxml_iterparse(path, spec):
    import lxml.etree
    tag = spec["tag"]
    columns = []
    for _, element in lxml.etree.iterparse(path, events=("end",), tag=tag, huge_tree=True):
        if tag == "node":
            attrs = element.attrib
            tags = element.findall("tag")
            columns.append((int(attrs["id"]), float(attrs["lat"]), float(attrs["lon"]), attrs.get("user"),
                            int(attrs["version"]), [t.get("k") for t in tags], [t.get("v") for t in tags]))
        else:
            pmid = element.findtext("PMID")
            year = element.findtext("Article/Journal/JournalIssue/PubDate/Year")
            title = element.find("Article/ArticleTitle")
            abstract = element.find("Article/Abstract/AbstractText")
            columns.append((int(pmid) if pmid else None, element.get("Status"), int(year) if year else None,
                            element.findtext("Article/Journal/Title"),
                            "".join(title.itertext()) if title is not None else None,
                            "".join(abstract.itertext()) if abstract is not None else None,
                            [e.text for e in element.iterfind("Article/AuthorList/Author/LastName")],
                            element.findtext("Article/Language")))
        element.clear()
        while element.getprevious() is not None:
            del element.getparent()[0]
    # One list per column, as the other contenders make.
    lists = [list(column) for column in zip(*columns)]
    return len(lists[0]) if lists else 0


# Each contender, what it imports before its first run, and the read_table run it is compared with.
CONTENDERS = {"read_table": run_read_table, "read_table_batches": run_read_table_batches,
              "iter_file_loop": run_iter_file_loop, "lxml_iterparse": run_lxml_iterparse,
              "read_table_pandas": run_read_table_pandas, "pandas_read_xml": run_pandas_read_xml}
IMPORTS = {"read_table": ("brindle", "pyarrow"), "read_table_batches": ("brindle", "pyarrow"),
           "iter_file_loop": ("brindle",), "lxml_iterparse": ("lxml.etree",),
           "read_table_pandas": ("brindle", "pyarrow", "pandas"), "pandas_read_xml": ("pandas", "lxml.etree")}
BASELINE = {"read_table_batches": "read_table", "iter_file_loop": "read_table", "lxml_iterparse": "read_table",
            "pandas_read_xml": "read_table_pandas"}
SLOW = ("iter_file_loop", "lxml_iterparse", "pandas_read_xml")


# ---- the driver ------------------------------------------------------------------------------

def report(title, job, rounds, slow_rounds, core):
    megabytes = os.path.getsize(job["path"]) / 1e6
    wanted = {name: slow_rounds if name in SLOW else rounds for name in CONTENDERS}
    print(f"\n{title}: {megabytes:.0f} MB; CPU MB/s, median [range] of the rounds; core {core}; "
          f"{pinned_workers.load_average()}", flush=True)
    workers = {name: pinned_workers.start(__file__, name, core) for name in CONTENDERS}
    try:
        answers = pinned_workers.take_turns(workers, job, wanted, lambda name, answer: print(
            f"    {name}: {answer['cpu']:.1f} s CPU, {answer['wall']:.1f} s wall", flush=True))
    finally:
        pinned_workers.stop(workers)
    cpu = {name: statistics.median(answer["cpu"] for answer in answers[name]) for name in CONTENDERS}
    for name in CONTENDERS:
        rates = [megabytes / answer["cpu"] for answer in answers[name]]
        versus = f"CPU x{cpu[name] / cpu[BASELINE[name]]:6.2f} of {BASELINE[name]}" if name in BASELINE else ""
        print(f"  {name:18} {statistics.median(rates):7.1f} [{min(rates):.1f}-{max(rates):.1f}] "
              f"{len(rates)} rounds  rows {answers[name][0]['result']}  "
              f"peak RSS growth {answers[name][0]['peak_growth'] / 2 ** 20:6.0f} MiB  {versus}", flush=True)
    print(f"  ({pinned_workers.load_average()})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mib", type=float, default=1024)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--slow-rounds", type=int, default=1, help="rounds of " + " and ".join(SLOW))
    parser.add_argument("--core", type=int, default=0)
    parser.add_argument("--dir", default="/tmp/brindle-table")
    parser.add_argument("--only", choices=("pubmed", "osm"))
    parser.add_argument("--worker")
    options = parser.parse_args()
    if options.worker:
        return pinned_workers.serve(CONTENDERS[options.worker], IMPORTS[options.worker])
    os.makedirs(options.dir, exist_ok=True)
    size = int(options.mib * 2 ** 20)
    if options.only in (None, "pubmed"):
        pubmed = os.path.join(options.dir, f"pubmed-{options.mib:g}mib.xml")
        if not os.path.exists(pubmed):
            write_pubmed(pubmed, size)
        report("PubMed-like", {"path": pubmed, "spec": PUBMED}, options.rounds, options.slow_rounds, options.core)
    if options.only in (None, "osm"):
        osm = os.path.join(options.dir, f"osm-{options.mib:g}mib.osm")
        if not os.path.exists(osm):
            sys.path.insert(0, HERE)
            import osm_records
            osm_records.write(osm, size)
        report("OpenStreetMap-like", {"path": osm, "spec": OSM}, options.rounds, options.slow_rounds, options.core)


if __name__ == "__main__":
    main()
