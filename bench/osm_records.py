"""An OpenStreetMap-like document of any size, written a block at a time: <node> records with
attributes, <tag k= v=/> children and some non-ASCII text, the shape of a planet extract.

    python3 bench/osm_records.py OUT.osm SIZE_MIB
"""

import random
import sys

NAMES = ("Hauptstraße", "Café Zürich", "Rue de l'Église", "Łódź Fabryczna", "東京駅", "Αθήνα",
         "Main Street", "Bahnhof", "São Paulo", "Kraków Główny")
KEYS = ("highway", "amenity", "name", "shop", "building", "addr:street", "addr:city", "source")


def node(rng, i):
    tags = "".join(f'\n    <tag k="{rng.choice(KEYS)}" v="{rng.choice(NAMES)}"/>'
                   for _ in range(rng.randint(0, 4)))
    lat, lon = rng.uniform(-90, 90), rng.uniform(-180, 180)
    head = (f'\n  <node id="{i}" version="{rng.randint(1, 9)}" timestamp="2024-0{rng.randint(1, 9)}-1'
            f'{rng.randint(0, 9)}T12:00:00Z" uid="{rng.randint(1, 99999)}" user="{rng.choice(NAMES)}" '
            f'lat="{lat:.7f}" lon="{lon:.7f}"')
    return head + ("/>" if not tags else ">" + tags + "\n  </node>")


def write(path, size):
    """Writes at least `size` bytes of records; returns the number of <node> records."""
    rng = random.Random(7)
    count = 0
    with open(path, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<osm version="0.6" generator="bench">')
        written = 0
        while written < size:
            block = "".join(node(rng, count + k) for k in range(2000))
            count += 2000
            written += out.write(block)
        out.write("\n</osm>\n")
    return count


if __name__ == "__main__":
    print(write(sys.argv[1], int(float(sys.argv[2]) * 2 ** 20)))
