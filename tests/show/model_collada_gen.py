# Writes Collada files with pycollada, an independent writer, for the model importer's tests
# (model_collada_gen.py <folder>): soft.dae, a Softimage text with two images, effects and
# materials, a quad, a triangle with two uv sets and a colour input on its own offset, and a
# bare mesh; maya.dae, the Maya text and array ids, normals sharing the positions' offset;
# cross.dae, a Maya file of two meshes bound crosswise to two materials.
import sys
import numpy as np
import collada
from collada import asset, geometry, material, scene, source

def document(tool):
    d = collada.Collada()
    d.assetInfo.contributors.append(asset.Contributor(authoring_tool=tool))
    d.assetInfo.save()
    return d

def textured(d, name, image):
    surf = material.Surface(name + "-surf", image)
    samp = material.Sampler2D(name + "-samp", surf)
    d.effects.append(material.Effect(name, [surf, samp], "phong", diffuse=material.Map(samp, "UV0")))
    d.materials.append(material.Material("mat" + name[2:], "mat" + name[2:], d.effects[-1]))
    return d.materials[-1]


# inputs: (offset, semantic, array, uv set); arrays: suffix -> values
def mesh(d, gid, arrays, inputs, indices):
    uv = lambda k: 'Texture' in k or 'map' in k
    srcs = [source.FloatSource(gid + k, np.array(v, dtype=float), ('S', 'T') if uv(k) else ('X', 'Y', 'Z'))
            for k, v in arrays.items()]
    g = geometry.Geometry(d, gid, gid, srcs)
    il = source.InputList()
    for off, sem, k, uvset in inputs:
        il.addInput(off, sem, '#' + gid + k, set=uvset)
    g.primitives.append(g.createTriangleSet(np.array(indices), il, "s"))
    d.geometries.append(g)
    return g

def finish(d, placed, path):
    nodes = [scene.Node("n%d" % i, children=[scene.GeometryNode(g, [scene.MaterialNode("s", m, [])] if m else [])])
             for i, (g, m) in enumerate(placed)]
    d.scenes.append(scene.Scene("scene", nodes))
    d.scene = d.scenes[0]
    d.write(path)

d = document("Autodesk Softimage 2012 | Collada export")
d.images.extend([material.CImage("wood", "C:\\textures\\wood.png"), material.CImage("rock", "maps/rock.png")])
m0, m1 = textured(d, "fx0", d.images[1]), textured(d, "fx1", d.images[0])
quad = mesh(d, "quad", {"-Pos": [0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0], "-XSINormal": [0, 0, 1],
                        "-Texture_Projection": [0, 0, 1, 0, 1, 1, 0, 1]},
            [(0, 'VERTEX', "-Pos", None), (1, 'NORMAL', "-XSINormal", None),
             (2, 'TEXCOORD', "-Texture_Projection", "0")],
            [0, 0, 0, 1, 0, 1, 2, 0, 2, 0, 0, 0, 2, 0, 2, 3, 0, 3])
tri = mesh(d, "tri", {"-Pos": [5, 0, 0, 6, 0, 0, 5, 2, 0], "-XSINormal": [0, 1, 0, 1, 0, 0],
                      "-Texture_Projection": [0, 0, 1, 0, 0, 1], "-Texture_Projection1": [0.5, 0.5, 0.25, 0.25],
                      "-Color": [1, 0, 0, 0, 1, 0]},
           [(0, 'VERTEX', "-Pos", None), (1, 'COLOR', "-Color", None), (2, 'NORMAL', "-XSINormal", None),
            (3, 'TEXCOORD', "-Texture_Projection", "0"), (4, 'TEXCOORD', "-Texture_Projection1", "1")],
           [0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 2, 1, 1, 2, 0])
bare = mesh(d, "bare", {"-Pos": [0, 0, 9, 1, 0, 9, 0, 1, 9]}, [(0, 'VERTEX', "-Pos", None)], [0, 1, 2])
finish(d, [(quad, m1), (tri, m0), (bare, None)], sys.argv[1] + "/soft.dae")

d = document("Maya7.0 | ColladaMaya v3.05B")
d.images.append(material.CImage("ignored", "ignored.png"))
shape = mesh(d, "shape", {"-positions": [0, 0, 0, 0, 3, 0, 3, 0, 0], "-normals": [0, 0, -1] * 3,
                          "-map1": [0, 0, 0, 1, 1, 0]},
             [(0, 'VERTEX', "-positions", None), (0, 'NORMAL', "-normals", None), (1, 'TEXCOORD', "-map1", "0")],
             [0, 0, 1, 1, 2, 2])
finish(d, [(shape, textured(d, "fxl", d.images[0]))], sys.argv[1] + "/maya.dae")

d = document("Maya7.0 | ColladaMaya v3.05B")
d.images.append(material.CImage("ignored", "ignored.png"))
ma, mb = textured(d, "fxa", d.images[0]), textured(d, "fxb", d.images[0])
tris = [mesh(d, gid, {"-positions": [0, 0, z, 0, 3, z, 3, 0, z]}, [(0, 'VERTEX', "-positions", None)], [0, 1, 2])
        for gid, z in (("one", 0), ("two", 1))]
finish(d, [(tris[0], mb), (tris[1], ma)], sys.argv[1] + "/cross.dae")
