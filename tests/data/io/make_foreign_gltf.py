#!/usr/bin/env python3
"""Writes foreign.gltf: a small glTF as another program might write it, for
the reader's tests. Run from this folder; the output is committed.

One mesh, instanced by two nodes of the default scene under different
transforms (translation and scale; a matrix over a quaternion rotation), and
once more by the root of a second scene, which is not the default and must
not be read:
  primitive 0: a triangle strip of 4 vertices, material "stone", TEXCOORD_0,
               and a sparse morph target moving vertex 3 by (0, 0, 0.5)
  primitive 1: one indexed triangle (unsigned byte indices), no material, a
               morph target without a buffer view (all zeros)
The mesh's extras name the morph target "lift".
"""
import base64
import json
import struct

def floats(values):
    return struct.pack("<%df" % len(values), *values)

blob = bytearray()
views = []

def view(data, target=None):
    while len(blob) % 4:
        blob.append(0)
    entry = {"buffer": 0, "byteOffset": len(blob), "byteLength": len(data)}
    if target:
        entry["target"] = target
    blob.extend(data)
    views.append(entry)
    return len(views) - 1

strip_positions = view(floats([0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0]), 34962)
strip_uvs = view(floats([0, 0, 1, 0, 0, 1, 1, 1]), 34962)
triangle_positions = view(floats([0, 0, 1, 1, 0, 1, 0, 1, 1]), 34962)
triangle_indices = view(bytes([2, 1, 0]), 34963)
sparse_indices = view(bytes([3]))
sparse_values = view(floats([0, 0, 0.5]))

gltf = {
    "asset": {"version": "2.0", "generator": "hand-made test file"},
    "scene": 0,
    "scenes": [{"nodes": [0, 2]}, {"nodes": [4]}],
    "nodes": [
        {"children": [1], "translation": [10, 0, 0]},
        {"mesh": 0, "scale": [2, 2, 2]},
        {"children": [3], "matrix": [0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1]},
        {"mesh": 0, "rotation": [1, 0, 0, 0]},
        {"mesh": 0, "translation": [100, 100, 100]},
    ],
    "materials": [{"name": "stone"}],
    "meshes": [{
        "extras": {"targetNames": ["lift"]},
        "primitives": [
            {"attributes": {"POSITION": 0, "TEXCOORD_0": 1}, "mode": 5, "material": 0,
             "targets": [{"POSITION": 4}]},
            {"attributes": {"POSITION": 2}, "indices": 3, "targets": [{"POSITION": 5}]},
        ],
    }],
    "accessors": [
        {"bufferView": strip_positions, "componentType": 5126, "count": 4, "type": "VEC3",
         "min": [0, 0, 0], "max": [1, 1, 0]},
        {"bufferView": strip_uvs, "componentType": 5126, "count": 4, "type": "VEC2"},
        {"bufferView": triangle_positions, "componentType": 5126, "count": 3, "type": "VEC3",
         "min": [0, 0, 1], "max": [1, 1, 1]},
        {"bufferView": triangle_indices, "componentType": 5121, "count": 3, "type": "SCALAR"},
        {"componentType": 5126, "count": 4, "type": "VEC3", "min": [0, 0, 0], "max": [0, 0, 0.5],
         "sparse": {"count": 1, "indices": {"bufferView": sparse_indices, "componentType": 5121},
                    "values": {"bufferView": sparse_values}}},
        {"componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [0, 0, 0]},
    ],
    "bufferViews": views,
    "buffers": [{"byteLength": len(blob),
                 "uri": "data:application/octet-stream;base64," + base64.b64encode(bytes(blob)).decode()}],
}

with open("foreign.gltf", "w") as out:
    json.dump(gltf, out, indent=1)
    out.write("\n")
