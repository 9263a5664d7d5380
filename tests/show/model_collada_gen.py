# Writes Collada files with pycollada, an independent writer, for the model importer's
# tests:  model_collada_gen.py <folder>
#   soft.dae  "Autodesk Softimage" text: images, effects, two materials, a quad with
#             normals and one uv set, a triangle with two uv sets and a colour input on
#             its own offset, and a mesh without normals or texture coordinates
#   maya.dae  the Maya text and array ids: one textured triangle, no images read
import sys
import numpy as np
import collada
from collada import asset, geometry, material, scene, source

out = sys.argv[1]


def document(tool):
    d = collada.Collada()
    d.assetInfo.contributors.append(asset.Contributor(authoring_tool=tool))
    d.assetInfo.save()
    return d


def textured(d, eid, image):
    surf = material.Surface(eid + "-surf", image)
    samp = material.Sampler2D(eid + "-samp", surf)
    eff = material.Effect(eid, [surf, samp], "phong", diffuse=material.Map(samp, "UV0"))
    d.effects.append(eff)
    return eff


def mesh(d, gid, names, arrays, inputs, indices, symbol):
    srcs = [source.FloatSource(gid + n, np.array(a, dtype=float), ('X', 'Y', 'Z') if k < 2 else ('S', 'T'))
            for k, (n, a) in enumerate(zip(names, arrays)) if a is not None]
    g = geometry.Geometry(d, gid, gid, srcs)
    il = source.InputList()
    for off, sem, k, uvset in inputs:
        il.addInput(off, sem, '#' + gid + names[k], set=uvset)
    g.primitives.append(g.createTriangleSet(np.array(indices), il, symbol))
    d.geometries.append(g)
    return g


def finish(d, placed):
    nodes = [scene.Node("n%d" % i, children=[scene.GeometryNode(g, [scene.MaterialNode(sym, m, inputs=[])] if m else [])])
             for i, (g, sym, m) in enumerate(placed)]
    s = scene.Scene("scene", nodes)
    d.scenes.append(s)
    d.scene = s


SOFT = ["-Pos", "-XSINormal", "-Texture_Projection", "-Texture_Projection1", "-Color"]
d = document("Autodesk Softimage 2012 | Collada export")
wood = material.CImage("wood", "C:\\textures\\wood.png")
rock = material.CImage("rock", "maps/rock.png")
d.images.extend([wood, rock])
m0 = material.Material("mat0", "mat0", textured(d, "fx0", rock))
m1 = material.Material("mat1", "mat1", textured(d, "fx1", wood))
d.materials.extend([m0, m1])
quad = mesh(d, "quad", SOFT,
            [[0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0], [0, 0, 1], [0, 0, 1, 0, 1, 1, 0, 1], None, None],
            [(0, 'VERTEX', 0, None), (1, 'NORMAL', 1, None), (2, 'TEXCOORD', 2, "0")],
            [0, 0, 0, 1, 0, 1, 2, 0, 2, 0, 0, 0, 2, 0, 2, 3, 0, 3], "s0")
tri = mesh(d, "tri", SOFT,
           [[5, 0, 0, 6, 0, 0, 5, 2, 0], [0, 1, 0, 1, 0, 0], [0, 0, 1, 0, 0, 1], [0.5, 0.5, 0.25, 0.25],
            [1, 0, 0, 0, 1, 0]],
           [(0, 'VERTEX', 0, None), (1, 'COLOR', 4, None), (2, 'NORMAL', 1, None),
            (3, 'TEXCOORD', 2, "0"), (4, 'TEXCOORD', 3, "1")],
           [0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 2, 1, 1, 2, 0], "s1")
bare = mesh(d, "bare", SOFT, [[0, 0, 9, 1, 0, 9, 0, 1, 9], None, None, None, None],
            [(0, 'VERTEX', 0, None)], [0, 1, 2], "s2")
finish(d, [(quad, "s0", m1), (tri, "s1", m0), (bare, "s2", None)])
d.write(out + "/soft.dae")

MAYA = ["-positions", "-normals", "-map1", "-map2"]
d = document("Maya7.0 | ColladaMaya v3.05B")
d.images.append(material.CImage("ignored", "ignored.png"))
m = material.Material("lambert", "lambert", textured(d, "lambertfx", d.images[0]))
d.materials.append(m)
t = mesh(d, "shape", MAYA, [[0, 0, 0, 0, 3, 0, 3, 0, 0], [0, 0, -1, 0, 0, -1, 0, 0, -1], [0, 0, 0, 1, 1, 0], None],
         [(0, 'VERTEX', 0, None), (0, 'NORMAL', 1, None), (1, 'TEXCOORD', 2, "0")],
         [0, 0, 1, 1, 2, 2], "s")
finish(d, [(t, "s", m)])
d.write(out + "/maya.dae")
