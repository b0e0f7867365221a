"""read_table against the loops users write instead, building the same columns: brindle's
iter_file with a Python loop, and lxml's iterparse with the clear-and-delete-previous-siblings
idiom. On a generated PubMed-like file (8 fields: attributes, first-match paths, a list column
and two string() columns over mixed content) and on the OpenStreetMap-like file
(bench/osm_records.py).

Each contender runs in a long-lived process of its own, pinned to core 0 (`taskset -c 0`); the
contenders take turns round by round, the order reversed every other round; a timed run makes
the columns (read_table: a pyarrow.Table; the loops: one Python list per column) and drops them;
no heap is trimmed. CPU time of the process (every thread) per run; the table gives the median
MB/s and the range over the rounds, and each loop's CPU time as a multiple of read_table's. Peak
RSS growth in a fresh process per contender: VmHWM at the end less VmRSS at the start.

The tree model cannot give a string() column (it joins an element's own text and drops the
places of its children); the iter_file loop joins the texts of the element and its descendants
in tree order instead, which costs the same walk.

    python3 bench/table_speed.py [--mib 1024] [--rounds 3] [--dir /tmp/brindle-table]
"""

import argparse
import json
import os
import random
import statistics
import subprocess
import sys
import time

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


# The columns, as read_table paths; the loops below build the same.
PUBMED = {
    "tag": "MedlineCitation",
    "columns": {"pmid": ("PMID", "int64"), "status": "@Status", "year": ("Article/Journal/JournalIssue/PubDate/Year",
                                                                          "int64"),
                "journal": "Article/Journal/Title", "title": "Article/ArticleTitle/string()",
                "abstract": "Article/Abstract/AbstractText/string()",
                "authors": "Article/AuthorList/Author/LastName[*]", "language": "Article/Language"},
}
OSM = {
    "tag": "node",
    "columns": {"id": ("@id", "int64"), "lat": ("@lat", "float64"), "lon": ("@lon", "float64"), "user": "@user",
                "version": ("@version", "int64"), "keys": "tag/@k[*]", "values": "tag/@v[*]"},
}


# ---- the contenders, each in its worker process -------------------------------------------

def run_read_table(path, spec):
    import pyarrow
    import brindle
    table = pyarrow.table(brindle.read_table(path, spec["tag"], {k: tuple(v) if isinstance(v, list) else v
                                                                 for k, v in spec["columns"].items()}))
    return table.num_rows


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


CONTENDERS = {"read_table": run_read_table, "iter_file_loop": run_iter_file_loop, "lxml_iterparse": run_lxml_iterparse}
# What each imports, before its first timed run.
IMPORTS = {"read_table": ("brindle", "pyarrow"), "iter_file_loop": ("brindle",), "lxml_iterparse": ("lxml.etree",)}


def status_bytes(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise LookupError(field)


def worker(name):
    """Answers each line {"path", "spec"} with {"wall", "cpu", "rows"} of one run."""
    action = CONTENDERS[name]
    for module in IMPORTS[name]:
        __import__(module)
    for line in sys.stdin:
        job = json.loads(line)
        wall, cpu = time.perf_counter(), time.process_time()
        rows = action(job["path"], job["spec"])
        print(json.dumps({"wall": time.perf_counter() - wall, "cpu": time.process_time() - cpu, "rows": rows}),
              flush=True)


def peak(name, path, spec):
    for module in IMPORTS[name]:
        __import__(module)
    before = status_bytes("VmRSS")
    CONTENDERS[name](path, json.loads(spec))
    print(status_bytes("VmHWM") - before)


# ---- the driver ------------------------------------------------------------------------------

def start(name):
    return subprocess.Popen(["taskset", "-c", "0", sys.executable, __file__, "--worker", name],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)


def ask(process, job):
    process.stdin.write(json.dumps(job) + "\n")
    process.stdin.flush()
    return json.loads(process.stdout.readline())


def fresh_peak(name, job):
    done = subprocess.run(["taskset", "-c", "0", sys.executable, __file__, "--peak", name, job["path"],
                           json.dumps(job["spec"])], capture_output=True, text=True, check=True)
    return int(done.stdout) / 2 ** 20


def report(title, job, names, rounds):
    megabytes = os.path.getsize(job["path"]) / 1e6
    workers = {name: start(name) for name in names}
    cpu = {name: [] for name in names}
    rows = {}
    try:
        for index in range(rounds):
            for name in names if index % 2 == 0 else reversed(names):
                answer = ask(workers[name], job)
                cpu[name].append(answer["cpu"])
                rows[name] = answer["rows"]
    finally:
        for process in workers.values():
            process.stdin.close()
            process.wait()
    base = statistics.median(cpu[names[0]])
    print(f"\n{title}: {megabytes:.0f} MB, {rows[names[0]]} records; CPU MB/s, median [range] of {rounds} rounds")
    for name in names:
        rates = [megabytes / seconds for seconds in cpu[name]]
        print(f"  {name:16} {statistics.median(rates):7.1f} [{min(rates):.1f}-{max(rates):.1f}]  "
              f"CPU x{statistics.median(cpu[name]) / base:5.2f}  rows {rows[name]}  "
              f"peak RSS growth {fresh_peak(name, job):.0f} MiB", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mib", type=float, default=1024)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dir", default="/tmp/brindle-table")
    parser.add_argument("--only", choices=("pubmed", "osm"))
    parser.add_argument("--worker")
    parser.add_argument("--peak", nargs=3)
    options = parser.parse_args()
    if options.worker:
        return worker(options.worker)
    if options.peak:
        return peak(*options.peak)
    os.makedirs(options.dir, exist_ok=True)
    size = int(options.mib * 2 ** 20)
    names = list(CONTENDERS)
    if options.only in (None, "pubmed"):
        pubmed = os.path.join(options.dir, f"pubmed-{options.mib:g}mib.xml")
        if not os.path.exists(pubmed):
            write_pubmed(pubmed, size)
        report("PubMed-like", {"path": pubmed, "spec": PUBMED}, names, options.rounds)
    if options.only in (None, "osm"):
        osm = os.path.join(options.dir, f"osm-{options.mib:g}mib.osm")
        if not os.path.exists(osm):
            sys.path.insert(0, HERE)
            import osm_records
            osm_records.write(osm, size)
        report("OpenStreetMap-like", {"path": osm, "spec": OSM}, names, options.rounds)


if __name__ == "__main__":
    main()
