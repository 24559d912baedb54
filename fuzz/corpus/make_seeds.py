#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: small inputs that reach the
interesting paths at once (a full run with maps, each panel mode, each layer
check, degenerate polygons; a real panel's hint list). The formats are the
ones the entry functions decode (fuzz/entries/*.cpp); run this again after
changing one. Usage: make_seeds.py [corpus dir]"""

import os
import struct
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))

# ------------------------------------------------------------ plugin_run_fuzzer

BASIC, BASIC_CANCEL, SCRIPTED, SCRIPTED_CANCEL = 0, 1, 2, 3
FG, BG, NEITHER = 1, 2, 0
FACE, PTCH = 0x00, 0xa0  # polygon type bytes
SELECTED = 1
# map type indices and name indices of the decoder's tables
WGHT, TXUV, MORF, MNVW, SPOT = range(5)
W, UV, SMILE = 0, 1, 2
NAN = 0xc2  # odd coordinate: NaN
INF = 0xc3

# Value controls in panel order, the kind of value each holds.
CONTROLS = [
    ("Number of Clones", "count"), ("Independent Sizes", "int"), ("Size Variations", "double"),
    ("Y", "double"), ("Z", "double"), ("Size WeightMap", "int"), ("Size WeightMap Influence", "double"),
    ("Size depends on Poly Area", "int"), ("Dependence Power", "double"), ("Density WeightMap", "int"),
    ("Random rotation H Min", "double"), ("H Max", "double"), ("P Min", "double"), ("P Max", "double"),
    ("B Min", "double"), ("B Max", "double"), ("H Align with normals", "int"),
    ("P Align with normals", "int"), ("Jitter Cloned points", "double"), ("Slope Angle Limits", "int"),
    ("Min Slope Angle", "double"), ("Max Slope Angle", "double"), ("Distribution", "double"),
    ("Iterations", "iterations"), ("Random Seed", "int"), ("Auto morph maps", "int"),
    ("P angle weightmap", "int"), ("Absolute", "int"),
]
ODD_INTEGERS = [0, 1, 2, -1, 3, 4, 5, 7, 100, 65536]
ODD_SETTINGS = [0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 0.25, 2.0, 10.0, 100.0, 3.1415, -3.1415, 6.283, 1e-300,
                4.9e-324, 1e-9, 1e9, 1e150, -1e150, 1e300, -1e300]


def grid(v):
    """A coordinate byte for grid value v (a multiple of 0.5 from -4 to 4)."""
    return int(round(v * 2)) + 8


def layer(role, points, polygons=(), maps=(), scale=0):
    out = bytes([role | scale << 2, len(points)])
    for p in points:
        out += bytes(c if isinstance(c, int) and c >= 0xc0 else grid(c) for c in p)
    out += bytes([len(polygons)])
    for ptype, flags, corners in polygons:
        out += bytes([ptype, flags, len(corners)] + list(corners))
    out += bytes([len(maps)])
    for mtype, name, values in maps:
        out += bytes([mtype + 8 * name])
        for v in values:
            if v is None:
                out += b"\x00"
            else:
                out += b"\x01" + bytes((int(round(x * 10)) + 10) for x in v)
    return out


def header(mode, layers, seed=7):
    return struct.pack("<IB", seed, mode) + bytes([len(layers)]) + b"".join(layers)


def basic_answers(**settings):
    """One byte per value control: keep (1), or a chosen value."""
    out = b""
    for label, kind in CONTROLS:
        key = label
        if key not in settings:
            out += b"\x01"
            continue
        v = settings[key]
        if kind == "count":
            out += b"\x00" + struct.pack("<b", v)
        elif kind == "iterations":
            out += b"\x00" + struct.pack("<h", v)
        elif kind == "int":
            out += bytes([ODD_INTEGERS.index(v) << 1])
        else:
            out += bytes([ODD_SETTINGS.index(v) << 1])
    return out


COUNT_TEXTS = ["0", "-1", "1", "2", "40", "-2147483648", "7", "abc", "1e3", "300", "-300"]
NUMBER_OF_CLONES, ITERATIONS = 1, 25  # indices in the control table


def script(answers):
    """Scripted answers: (control index, text or None for a button)."""
    out = bytes([len(answers)])
    for index, value in answers:
        out += bytes([index])
        if index in (NUMBER_OF_CLONES, ITERATIONS):
            out += bytes([COUNT_TEXTS.index(value)])
        elif value is not None:
            raw = value.encode()
            out += b"\x00" + bytes([len(raw)]) + raw
    return out


floor = [(0, 0, 0), (0, 0, 1), (1, 0, 1), (1, 0, 0)]
quad = [(FACE, SELECTED, (0, 1, 2, 3))]
cube_points = [(x, y, z) for z in (-0.5, 0.5) for y in (0, 1) for x in (-0.5, 0.5)]
cube_faces = [(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (2, 6, 7, 3), (0, 4, 6, 2), (1, 3, 7, 5)]
cube = [(FACE, 0, f) for f in cube_faces]
cube_maps = [
    (WGHT, W, [(i / 8,) if i % 3 else None for i in range(8)]),
    (TXUV, UV, [(i / 8, 1 - i / 8) for i in range(8)]),
    (MORF, SMILE, [(0.1, 0.2, 0.0) if i < 4 else None for i in range(8)]),
    (SPOT, SMILE, [(1, 1, 1)] * 8),
]
floor_maps = [(WGHT, W, [(0.5,), (1.0,), (-0.5,), None])]

plugin_seeds = {
    "full_run_default_settings": header(BASIC, [layer(FG, floor, quad), layer(BG, cube_points, cube)])
    + basic_answers(**{"Number of Clones": 3}),
    "full_run_every_map": header(BASIC, [layer(FG, floor, quad, floor_maps), layer(BG, cube_points, cube, cube_maps)])
    + basic_answers(**{"Number of Clones": 4, "Size WeightMap": 1, "Density WeightMap": 1, "Auto morph maps": 3,
                       "Jitter Cloned points": 0.25, "Independent Sizes": 1, "Size depends on Poly Area": 1,
                       "P angle weightmap": 1, "Absolute": 1}),
    "scripted_panel": header(SCRIPTED, [layer(FG, floor, quad), layer(BG, cube_points, cube)])
    + script([(NUMBER_OF_CLONES, "7"), (24, "50"), (17, None), (20, "0.5"), (ITERATIONS, "-1")]),
    "cancelled": header(BASIC_CANCEL, [layer(FG, floor, quad), layer(BG, cube_points, cube)]),
    "empty_scene": header(BASIC, []),
    "only_other_types": header(BASIC, [layer(FG, floor, [(PTCH, SELECTED, (0, 1, 2, 3))]), layer(BG, cube_points, cube)]),
    "degenerate_polygons": header(BASIC, [
        layer(FG, floor + [(2, 0, 0), (NAN, 0, 0)],
              [(FACE, SELECTED, (0,)), (FACE, SELECTED, (0, 1)), (FACE, SELECTED, (0, 3, 4)),
               (FACE, SELECTED, (0, 0, 0)), (FACE, SELECTED, ())]),
        layer(BG, cube_points, cube)]) + basic_answers(**{"Number of Clones": 5, "Iterations": 0}),
    "inverted_bounds": header(BASIC, [layer(FG, floor, quad), layer(BG, cube_points, cube)])
    + basic_answers(**{"Number of Clones": 2, "Slope Angle Limits": 1, "Min Slope Angle": 3.1415,
                       "Max Slope Angle": 0.5, "Random rotation H Min": 2.0, "H Max": -1.0}),
    "huge_values": header(BASIC, [layer(FG, floor, quad, scale=5), layer(BG, cube_points, cube)])
    + basic_answers(**{"Number of Clones": 2, "Jitter Cloned points": 1e300, "Iterations": -1,
                       "Distribution": -1.0}),
}

# ------------------------------------------------------------ hint_list_fuzzer

ZERO, ID, TEXT, LIST_OR_ACTION, END = 0x00, 0x40, 0x80, 0xa0, 0xe0
LABEL, GROUP, TABS, DIVIDER, STRINGS, ACTION, RULE = (0x20 + i for i in range(7))


def ident(slot):
    return ID | slot


def controls(layout):
    """layout: (slot, 'value' | 'button' | 'popup')."""
    kinds = {"value": 0, "button": 1, "popup": 2}
    return bytes([len(layout)] + [slot | kinds[kind] << 6 for slot, kind in layout])


panel = controls([(1, "button"), (2, "value"), (3, "value"), (4, "popup"), (5, "value"), (6, "button")])
text_panel = bytes([
    LABEL, ZERO, TEXT | 2, ZERO,                                  # the title
    LABEL, ident(2), TEXT | 1, ZERO,
    GROUP, ident(10), ident(2), ident(3), ZERO,
    GROUP, ident(11), ident(4), ident(5), ZERO,
    LABEL, ident(10), TEXT | 1, ZERO,
    TABS, ident(12), ident(10), ident(11), ZERO,
    DIVIDER, ident(3), ZERO,
    ACTION, ident(1), LIST_OR_ACTION | 1,
    RULE, ident(2), TEXT | 2, ZERO, ZERO, ident(3), ident(5), ZERO,
    ZERO,
])
list_panel = bytes([
    STRINGS, ident(4), LIST_OR_ACTION | 1, ZERO,
    LABEL, ident(4), TEXT | 1, ZERO,                               # a list's address read as a text
    ZERO,
])
hint_seeds = {
    "text_panel": panel + b"\x00" + text_panel,
    "text_panel_twice": panel + b"\x01" + text_panel + bytes([END]) + bytes([DIVIDER, ident(5), ZERO, ZERO]),
    "string_lists": panel + b"\x02" + list_panel,
    "long_texts": panel + b"\x00" + bytes([LABEL, ZERO, TEXT | 3, ZERO, LABEL, ident(2), TEXT | 4, ZERO, ZERO]),
    "missing_end_words": panel + b"\x00" + bytes([GROUP, ident(10), ident(2), LABEL, ident(2), TEXT | 1]),
}


# -------------------------------------------------------------- settings_fuzzer

SET, FILE = b"\x00", b"\x01"
settings_seeds = {
    "set_clones": SET + b"Number of Clones=12",
    "set_field_name": SET + b" jitter = 0.25 ",
    "set_percent": SET + b"size_variation_x=25%",
    "set_popup": SET + b"Size WeightMap=height",
    "set_no_value": SET + b"clone_count=",
    "file_every_kind": FILE + b'{"clone_count": 3, "independent_sizes": true, "Size Variations": "25%", "h_min": -45.5,'
    b' "density_weightmap": "none", "random_seed": -2147483648, "distribution": 1e-3}',
    "file_nested": FILE + b'{"clone_count": {"a": [1, 2]}}',
    "file_unicode": FILE + b'{"Distribution": "\\u00e9", "jitter": 1.7976931348623157e309}',
}


def write(target, seeds):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


write("plugin_run_fuzzer", plugin_seeds)
write("hint_list_fuzzer", hint_seeds)
write("settings_fuzzer", settings_seeds)
