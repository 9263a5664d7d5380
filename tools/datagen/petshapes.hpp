#pragma once
// Model caches for the stand-in tree: meshes are gathered as plain triangles (position,
// normal, texture coordinate) from a few solids and written through the show's own model
// writer, so every file is one the show's reader accepts.

#include "base/math.hpp"
#include "base/types.hpp"
#include "datagen.hpp"

#include <string>
#include <vector>

namespace datagen
{

struct PetCorner
{
  sVec3 Pos, Normal;
  sF32 U, V;            // v runs up the picture (the reader flips it)
};

// One mesh: triangles of three corners, and the model material it draws with.
struct PetMesh
{
  std::vector<PetCorner> Corners;
  sInt Material = 0;

  void Triangle(const PetCorner &a, const PetCorner &b, const PetCorner &c);
  // A quad of corners in counter-clockwise order seen from the side the normal faces.
  void Quad(const sVec3 &a, const sVec3 &b, const sVec3 &c, const sVec3 &d, sF32 u0, sF32 v0, sF32 u1, sF32 v1);
  // An axis-aligned box from min to max, its faces mapped to the uv rectangle.
  void Box(const sVec3 &min, const sVec3 &max, sF32 u0 = 0, sF32 v0 = 0, sF32 u1 = 1, sF32 v1 = 1);
  // A tube around the x axis from x0 to x1: radius, segments round, facing in or out.
  void Tube(sF32 x0, sF32 x1, sF32 radius, sInt segments, sBool inward, sF32 uRepeat);
  // A disc facing +z around the centre in segments wedges, its picture mapped to the uv
  // disc mirrored left to right (the picture reads right when the disc is turned half round).
  void Disc(const sVec3 &centre, sF32 radius, sInt segments);
  // Every corner moved by the matrix (normals turned with it).
  void Transform(const sMat3x4 &m);
  void Append(const PetMesh &other);
};

// Writes a model: its meshes, and one material per image (material i shows image i),
// the image names written with their folder. The file joins the tree's list; models and
// their pictures stay out of the pack (the show finds them in the folder).
void WritePet(Tree &tree, const sChar *name, const std::vector<PetMesh> &meshes,
              const std::vector<std::u16string> &images);

}   // namespace datagen
