#!/usr/bin/env python3
"""Writes blender_style.gltf, blender_style.bin, grass.png and rock.png: a small scene
laid out the way Blender's glTF exporter writes one (glTF Separate), for the
tests of what survives a trip through the tool. Run from this folder; the
output is committed.

A parent node "Field" (turned a quarter about y) holds the mesh node
"Ground", whose mesh "GroundMesh" has two primitives of two triangles each,
split per material as Blender splits them:
  primitive 0: the quad x in [0, 1], material "Grass" (base colour factor and
               texture grass.png, roughness 0.8), painted rockiness 0
  primitive 1: the quad x in [1, 2], material "Rock" (base colour factor and
               texture rock.png under a texture transform, metallic 0,
               roughness 0.4, double-sided, an unknown extension), painted
               rockiness 1
Every vertex has POSITION, NORMAL (0, 1, 0), TEXCOORD_0 and the painted float
attribute "rockiness", which Blender writes as "__ROCKINESS". The grass has
a colour attribute COLOR_0 (normalized unsigned shorts), the rock a vector
attribute "wind" ("_WIND", three floats). Indices are unsigned shorts.
"""
import json
import struct
import zlib

def floats(values):
    return struct.pack("<%df" % len(values), *values)

blob = bytearray()
views = []

def view(data, target):
    while len(blob) % 4:
        blob.append(0)
    views.append({"buffer": 0, "byteOffset": len(blob), "byteLength": len(data), "target": target})
    blob.extend(data)
    return len(views) - 1

accessors = []

def accessor(data, count, kind, component=5126, target=34962, bounds=None):
    entry = {"bufferView": view(data, target), "componentType": component, "count": count, "type": kind}
    if bounds:
        entry["min"], entry["max"] = bounds
    accessors.append(entry)
    return len(accessors) - 1

def quad(x0, rockiness, extra):
    corners = [(x0, 0, 0), (x0 + 1, 0, 0), (x0 + 1, 0, -1), (x0, 0, -1)]
    position = accessor(floats([c for p in corners for c in p]), 4, "VEC3",
                        bounds=([x0, 0, -1], [x0 + 1, 0, 0]))
    normal = accessor(floats([0, 1, 0] * 4), 4, "VEC3")
    uv = accessor(floats([0, 1, 1, 1, 1, 0, 0, 0]), 4, "VEC2")
    rocky = accessor(floats([rockiness] * 4), 4, "SCALAR")
    indices = accessor(struct.pack("<6H", 0, 1, 2, 0, 2, 3), 6, "SCALAR", 5123, 34963)
    attributes = {"POSITION": position, "NORMAL": normal, "TEXCOORD_0": uv, "__ROCKINESS": rocky}
    attributes.update(extra())
    return {"attributes": attributes, "indices": indices}

def colours():
    data = struct.pack("<16H", *([65535, 32768, 0, 65535] * 4))
    accessors.append({"bufferView": view(data, 34962), "componentType": 5123, "normalized": True, "count": 4,
                      "type": "VEC4"})
    return {"COLOR_0": len(accessors) - 1}

def wind():
    return {"_WIND": accessor(floats([0.5, 0, 0.25] * 4), 4, "VEC3")}

grass = quad(0.0, 0.0, colours)
grass["material"] = 0
rock = quad(1.0, 1.0, wind)
rock["material"] = 1

def png(width, height, rgb):
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")

gltf = {
    "asset": {"generator": "Khronos glTF Blender I/O v3.4.50", "version": "2.0"},
    "extensionsUsed": ["EXT_example_unknown", "KHR_texture_transform"],
    "scene": 0,
    "scenes": [{"name": "Scene", "nodes": [0]}],
    "nodes": [
        {"name": "Field", "children": [1], "rotation": [0, 0.7071067811865476, 0, 0.7071067811865476]},
        {"name": "Ground", "mesh": 0},
    ],
    "materials": [
        {"name": "Grass",
         "pbrMetallicRoughness": {"baseColorFactor": [0.2, 0.6, 0.1, 1], "baseColorTexture": {"index": 0},
                                  "metallicFactor": 0, "roughnessFactor": 0.8}},
        {"name": "Rock", "doubleSided": True,
         "extensions": {"EXT_example_unknown": {"grain": 3}},
         "pbrMetallicRoughness": {"baseColorFactor": [0.5, 0.5, 0.55, 1], "metallicFactor": 0,
                                  "baseColorTexture": {"index": 1, "extensions": {
                                      "KHR_texture_transform": {"scale": [2, 2]}}},
                                  "roughnessFactor": 0.4}},
    ],
    "meshes": [{"name": "GroundMesh", "primitives": [grass, rock]}],
    "textures": [{"sampler": 0, "source": 0}, {"sampler": 0, "source": 1}],
    "images": [{"mimeType": "image/png", "name": "grass", "uri": "grass.png"},
               {"mimeType": "image/png", "name": "rock", "uri": "rock.png"}],
    "samplers": [{"magFilter": 9729, "minFilter": 9987}],
    "accessors": accessors,
    "bufferViews": views,
    "buffers": [{"byteLength": len(blob), "uri": "blender_style.bin"}],
}

with open("blender_style.gltf", "w") as out:
    json.dump(gltf, out, indent=2)
with open("blender_style.bin", "wb") as out:
    out.write(blob)
with open("grass.png", "wb") as out:
    out.write(png(2, 2, (60, 150, 40)))
with open("rock.png", "wb") as out:
    out.write(png(2, 2, (120, 120, 130)))
