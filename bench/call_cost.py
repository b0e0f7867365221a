"""The cost of one call on a small document (about 2 KB), where the fixed work of a call
weighs most: brindle's read_string against lxml, ElementTree and xmltodict."""

import xml.etree.ElementTree as ElementTree

import lxml.etree
import xmltodict

import brindle
import documents
from measure import interleaved_medians

CALLS = 500  # per timed run


def repeated(read, argument):
    return lambda: [read(argument) for _ in range(CALLS)]


def run(rounds):
    """{reader: microseconds per call}, printed."""
    small = documents.small()
    root, raw = small.root, small.raw
    document = raw.decode()
    seconds = interleaved_medians({
        "brindle": lambda: repeated(lambda text: brindle.read_string(text, root), document),
        "lxml": lambda: repeated(lxml.etree.fromstring, raw),
        "ElementTree": lambda: repeated(ElementTree.fromstring, raw),
        "xmltodict": lambda: repeated(xmltodict.parse, raw),
    }, rounds)
    micro = {name: value / CALLS * 1e6 for name, value in seconds.items()}
    print(f"\nOne call on a {len(raw)}-byte document (µs, median of {rounds} interleaved rounds of {CALLS} calls):\n")
    for name, value in micro.items():
        print(f"{name:12} {value:8.1f} µs   brindle {value / micro['brindle']:5.2f}x as fast")
    return micro
