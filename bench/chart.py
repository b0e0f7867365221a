"""The chart of a bench_all.py run: per document, the throughput (MB of the document per
second) of brindle next to lxml, ElementTree and xmltodict, one panel per task."""

import math

import matplotlib

matplotlib.use("Agg")
import matplotlib.patches  # noqa: E402  (the backend is chosen first)
import matplotlib.pyplot as pyplot  # noqa: E402

COLOURS = {"brindle": "#d95f02", "lxml": "#1b9e77", "ElementTree": "#7570b3", "xmltodict": "#e7298a"}

# (section, title, [(key in the section, label in the legend)])
PANELS = [
    ("read", "reading into a tree", [("brindle", "brindle"), ("lxml", "lxml"), ("ElementTree", "ElementTree")]),
    ("dict", "reading into dicts", [("brindle", "brindle"), ("xmltodict", "xmltodict")]),
    ("write", "writing indented text", [("brindle", "brindle"), ("lxml", "lxml")]),
]


def _panel(axes, results, section, title, bars):
    """One task's bars, a group per document (every panel lists the same documents, in the same
    rows; a document the section did not measure has no bars)."""
    documents = results["documents"]
    height = 0.8 / len(bars)
    for slot, (key, legend) in enumerate(bars):
        rates = [document["megabytes"] / results[section][document["label"]][key]
                 if document["label"] in results[section] else math.nan for document in documents]
        positions = [row + (slot - (len(bars) - 1) / 2) * height for row in range(len(documents))]
        axes.barh(positions, rates, height=height, color=COLOURS[legend], label=legend)
    axes.set_yticks(range(len(documents)), [document["label"] for document in documents], fontsize=8)
    axes.set_title(title, fontsize=10)
    axes.set_xscale("log")  # equal ratios are equal distances, whatever the document's speed
    axes.set_xlabel("MB/s (log scale)", fontsize=8)
    axes.tick_params(axis="x", labelsize=8)


def draw(results, path):
    """Writes the chart as a PNG to `path`; False when the run measured none of its panels."""
    panels = [panel for panel in PANELS if panel[0] in results]
    if not panels:
        return False
    figure, axes = pyplot.subplots(1, len(panels), figsize=(1.5 + 3.2 * len(panels), 4.2), squeeze=False,
                                   sharey=True)
    axes[0][0].invert_yaxis()  # the first document on top
    for one, (section, title, bars) in zip(axes[0], panels):
        _panel(one, results, section, title, bars)
    figure.suptitle(f"brindle and its peers, {results['meta']['date']} (higher is faster)", fontsize=10)
    shown = [name for name in COLOURS if any(name == legend for _, _, bars in panels for _, legend in bars)]
    handles = [matplotlib.patches.Patch(color=COLOURS[name], label=name) for name in shown]
    figure.legend(handles=handles, loc="lower center", ncol=len(handles), fontsize=8, frameon=False)
    figure.tight_layout(rect=(0, 0.05, 1, 1))
    figure.savefig(path, dpi=80)
    pyplot.close(figure)
    return True
