"""Peak memory of streaming a generated OpenStreetMap-like stream many times larger than the
buffer, run by test_stream.py in a process of its own:

    python3 stream_memory.py MIB EVERY   streams MIB MiB of records, keeps every EVERY-th record
                                         (0: none); prints the growth of peak RSS in bytes and the
                                         XML bytes of the records kept
"""

import io
import sys

import brindle

RECORD = ('\n  <node id="{}" version="3" timestamp="2024-05-17T12:00:00Z" uid="4711" user="Łódź Fabryczna" '
          'lat="52.5170365" lon="13.3888599">\n    <tag k="name" v="Café Zürich"/>\n'
          '    <tag k="amenity" v="cafe"/>\n  </node>')


class Records(io.RawIOBase):
    """<osm>, then records until `size` bytes, then </osm>, copied from one prepared block."""

    def __init__(self, size):
        self.block = "".join(RECORD.format(i) for i in range(4000)).encode()
        self.parts = [b"<osm>"] + [self.block] * (size // len(self.block)) + [b"\n</osm>\n"]
        self.part, self.at = 0, 0

    def readable(self):
        return True

    def readinto(self, view):
        while self.part < len(self.parts) and self.at == len(self.parts[self.part]):
            self.part, self.at = self.part + 1, 0
        if self.part == len(self.parts):
            return 0
        piece = self.parts[self.part]
        count = min(len(view), len(piece) - self.at)
        view[:count] = piece[self.at:self.at + count]
        self.at += count
        return count


def status_bytes(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise LookupError(field)


def main(mib, every):
    source = Records(mib << 20)
    kept, kept_bytes = [], 0
    before = status_bytes("VmRSS")
    for i, record in enumerate(brindle.iter_file(source, "node")):
        if every and i % every == 0:
            kept.append(record)
            kept_bytes += len(brindle.write_string(record).encode())
    print(status_bytes("VmHWM") - before, kept_bytes)


if __name__ == "__main__":
    main(int(sys.argv[1]), int(sys.argv[2]))
