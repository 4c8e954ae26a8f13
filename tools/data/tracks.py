"""Reading and rewriting the keys of the show's track files (data/sync_tracker/_<name>.track)
through `zorvane-tool track dump` and `track make`, so that a script can change the keys of a
stretch of rows and leave every other key, hand-edited or not, as it is.

Rows: 8 per beat, 32 per bar, 256 per 8-bar phrase.
"""
import os
import subprocess

TOOL = "build/zorvane-tool"
BASE = "data/sync_tracker"
HOLD, LINEAR, SMOOTH, RAMP = 0, 1, 2, 3
BEAT = 8
BAR = 32
PHRASE = 256


def path_of(name):
    return f"{BASE}/_{name}.track"


def read_keys(name):
    """The keys of a track file as (row, value, interpolation), by row."""
    out = subprocess.run([TOOL, "track", "dump", path_of(name)], check=True, capture_output=True, text=True).stdout
    keys = []
    for line in out.splitlines():
        row, value, interp = line.split()
        keys.append((int(row), float(value), int(interp)))
    return keys


def write_keys(name, keys):
    lines = "".join(f"{row} {value:.9g} {interp}\n" for row, value, interp in sorted(keys))
    subprocess.run([TOOL, "track", "make", path_of(name)], input=lines.encode(), check=True)


def set_range(name, first_row, end_row, keys):
    """Replaces the keys in rows [first_row, end_row) with `keys` (which must lie in that range).
    Running it again with the same keys changes nothing. Returns whether the file changed."""
    for row, _, _ in keys:
        if not first_row <= row < end_row:
            raise ValueError(f"{name}: key at row {row} outside [{first_row}, {end_row})")
    if not os.path.exists(path_of(name)):
        raise FileNotFoundError(f"{path_of(name)}: no such track (every value the show reads has a file)")
    old = read_keys(name)
    kept = [k for k in old if not first_row <= k[0] < end_row]
    new = sorted(kept + [(row, float(value), interp) for row, value, interp in keys])
    # Compare through the file's single precision, as the tool writes it.
    if [(r, f"{v:.6g}", i) for r, v, i in new] == [(r, f"{v:.6g}", i) for r, v, i in old]:
        return False
    write_keys(name, new)
    return True
