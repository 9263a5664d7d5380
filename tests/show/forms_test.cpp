// Array forms and super shapes: the grids each shape builds, their index lists and limits,
// and what they cover on the screen.

#include "form_render.hpp"
#include "common/capture.hpp"
#include "common/check.hpp"
#include "shaders/shadercode.hpp"

#include <cmath>

namespace
{
const sF32 Pi = 3.14159265f;

struct Mesh
{
  std::vector<FormVertexPNU> V;
  std::vector<sU16> I;
};
Mesh Read(ArrayForm &f)
{
  Mesh m;
  m.V.resize(size_t(f.GetVertexCount()));
  m.I.resize(size_t(f.GetIndexCount()));
  f.WriteVertices(m.V.data());
  f.WriteIndices(m.I.data());
  return m;
}

struct ShapeCase
{
  const char *Name;
  sInt Shape, U, V;
  sF32 Lo[3], Hi[3];   // expected bounding box
};
const ShapeCase Shapes[] = {
    {"Plane", ArrayForm::PLANE, 5, 4, {-1, -1, 0}, {1, 1, 0}},
    {"Disc", ArrayForm::DISC, 9, 3, {-1, -0.84f, 0}, {1, 0.84f, 0}},
    {"Cylinder", ArrayForm::CYLINDER, 9, 3, {-2, -1, -2}, {2, 1, 2}},
    {"Sphere", ArrayForm::SPHERE, 33, 33, {-1, -1, -1}, {1, 1, 1}},
};

void PrintTo(const ShapeCase &c, std::ostream *os) { *os << c.Name; }

class ArrayShapes : public FormTest, public testing::WithParamInterface<ShapeCase>
{
};

TEST_P(ArrayShapes, CountsBoxNormalsAndTextureRange)
{
  const ShapeCase &c = GetParam();
  ArrayForm f(0);
  f.Init(c.Shape, 1, 1, c.U, c.V);
  Mesh m = Read(f);
  ASSERT_EQ(m.V.size(), size_t(c.U * c.V));
  ASSERT_EQ(m.I.size(), size_t(6 * (c.U - 1) * (c.V - 1)));
  for(sU16 i : m.I) EXPECT_LT(i, c.U * c.V);
  sF32 lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  for(size_t n = 0; n < m.V.size(); n++)
  {
    const FormVertexPNU &v = m.V[n];
    const sF32 p[3] = {v.x, v.y, v.z};
    for(sInt a = 0; a < 3; a++) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    sVec3 nrm(v.nx, v.ny, v.nz), pos(v.x, v.y, v.z);
    EXPECT_TRUE(std::fabs(Len(nrm) - 1) < 0.01f && v.u >= 0 && v.u <= 1 && v.v >= 0 && v.v <= 1) << n;
    if(c.Shape == ArrayForm::SPHERE)
    {
      EXPECT_NEAR(Len(pos), 1.0f, 1e-4f);
      // radial; the generated normals face the centre, and so do the fixed pole columns
      sInt col = sInt(n) % c.U;
      if(col == 0 || col == c.U - 1) { EXPECT_EQ(v.ny, col == 0 ? -1.0f : 1.0f); }
      else { EXPECT_LT(sDot(nrm, pos), -0.98f) << n; }
    }
    if(c.Shape == ArrayForm::CYLINDER) { EXPECT_EQ(v.nx, 1.0f); }
    if(c.Shape == ArrayForm::DISC) { EXPECT_LE(Len(pos), 1.0f + 1e-5f); }
  }
  for(sInt a = 0; a < 3; a++)
    EXPECT_TRUE(std::fabs(lo[a] - c.Lo[a]) < 0.06f && std::fabs(hi[a] - c.Hi[a]) < 0.06f) << "axis " << a;
}

INSTANTIATE_TEST_SUITE_P(Shapes, ArrayShapes, testing::ValuesIn(Shapes),
                         [](const testing::TestParamInfo<ShapeCase> &i) { return std::string(i.param.Name); });

using ArrayFormTest = FormTest;

TEST_F(ArrayFormTest, WindingQuadListsAndFormats)
{
  ArrayForm cell(0);
  cell.FlipWinding = 1;
  cell.Init(ArrayForm::PLANE, 1, 1, 2, 2);
  EXPECT_EQ(Read(cell).I, (std::vector<sU16>{0, 2, 3, 0, 3, 1}));

  ArrayForm quads(0);
  quads.Vertices = NewMeshVertices(8);
  sMat3x4 m;
  m.l.Init(5, 6, 7);
  quads.Init(ArrayForm::QUADS, 1, 3, 2, 1);
  quads.SetQuad(1, m, 2.0f, 0xff00ff00);
  // a quad past the form's two writes nowhere: the program stops instead
  EXPECT_DEATH(quads.SetQuad(2, m, 2.0f, 0), kCheckFailed);
  ASSERT_TRUE(quads.GetVertexCount() == 8 && quads.GetIndexCount() == 12);
  std::vector<FormVertexPCUU> v(8);
  std::vector<sU16> idx(12);
  quads.WriteVertices(v.data());
  quads.WriteIndices(idx.data());
  EXPECT_EQ(std::vector<sU16>(idx.begin() + 6, idx.end()), (std::vector<sU16>{6, 7, 5, 6, 5, 4}));
  EXPECT_TRUE(v[4].x == 3 && v[4].y == 4);   // corner 0 of quad 1: (-2, -2) moved to (5, 6)
  EXPECT_TRUE(v[7].x == 7 && v[7].z == 7 && v[7].c == 0xff00ff00u && v[7].u0 == 1);
  EXPECT_EQ(v[0].c, 0xffffffffu);   // untouched records keep the defaults

  // the tangent format repeats the first texture coordinate, whatever the second range says
  const sF32 r2[4] = {3, 3, 1, 1};
  ArrayForm tan(0);
  tan.Init(ArrayForm::PLANE, 2, 0, 3, 3, nullptr, nullptr, r2);
  std::vector<FormVertexTangent> t(9);
  tan.WriteVertices(t.data());
  for(const FormVertexTangent &x : t) EXPECT_TRUE(x.u1 == x.u0 && x.v1 == x.v0 && x.tx == 1.0f);
  EXPECT_EQ(t[8].u0, 1.0f);
}

TEST_F(ArrayFormTest, SegmentLimits)
{
  ArrayForm thin(0);
  thin.Init(ArrayForm::SPHERE, 1, 1, 1, 0);   // raised to 2 x 2: no division by zero
  EXPECT_EQ(thin.USegments, 2);
  Mesh m = Read(thin);
  for(const FormVertexPNU &v : m.V) EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.u));

  sparktest::LogCapture log;
  ArrayForm big(0);
  big.Init(ArrayForm::PLANE, 1, 1, 257, 256);   // 65792 vertices: 16-bit indices would wrap
  EXPECT_EQ(big.Geometry, nullptr);
  EXPECT_NE(log.Text().find("16-bit"), std::string::npos);
  big.Draw(nullptr);   // draws nothing
  big.Init(ArrayForm::PLANE, 1, 1, 256, 256);   // 65536 fit
  EXPECT_NE(big.Geometry, nullptr);

  EXPECT_EXIT(ArrayForm(0).Init(ArrayForm::GRID, 1, 1, 2, 2), testing::ExitedWithCode(1), kCheckFailed);
}

TEST(SuperShape, TheSuperformula)
{
  // m = 0 is the unit sphere, whatever the exponents
  SuperShapeParams p;
  p.ShapeA[0] = p.ShapeB[0] = 0.0f;
  p.ShapeA[1] = 3.0f;
  for(sF32 th = -Pi; th <= Pi; th += 0.3f)
    for(sF32 ph = -Pi / 2; ph <= Pi / 2; ph += 0.3f) EXPECT_NEAR(Len(EvalSuperShape(p, th, ph)), 1.0f, 1e-5f);
  // m = 4: r(pi / 4) = 1 / (cos(pi / 4) + sin(pi / 4)), the corner of a square
  p.ShapeA[0] = 4.0f;
  p.ShapeA[1] = 1.0f;
  p.Scale[0] = 2.0f;
  EXPECT_LT(Len(EvalSuperShape(p, Pi / 4, 0) - sVec3(2.0f * 0.5f, 0.5f, 0)), 1e-5f);
}

using ArrayFormDrawn = FormTest;

TEST_F(ArrayFormDrawn, PlaneAndSphereCoverTheirOutlines)
{
  ArrayForm plane(0);
  plane.Init(ArrayForm::PLANE, 1, 0, 8, 5);
  std::vector<sU32> px = Draw(plane, sVertexFormatTangent, Place(10, 32, 24));
  ExpectCovers(px, Rect(22, 14, 42, 34));

  ArrayForm sphere(0);
  sphere.Init(ArrayForm::SPHERE, 1, 1, 33, 33);
  px = Draw(sphere, sVertexFormatPosNormUV, Place(18, 32, 24));
  ExpectCovers(px, [](sF32 x, sF32 y) { sF32 r = std::hypot(x - 32, y - 24); return r < 17 ? 2 : r > 19 ? 0 : 1; });
}

TEST_F(ArrayFormDrawn, EqualStaticShapesShareOneGeometryUntilTheLastForm)
{
  auto make = [](sInt duration, sF32 size) {
    ArrayForm *f = sNEW ArrayForm(0);
    const sF32 r[4] = {size, size, -0.5f * size, -0.5f * size};
    f->Init(ArrayForm::PLANE, duration, 1, 8, 8, r);
    return f;
  };
  ArrayForm *a = make(1, 2), *b = make(1, 2), *larger = make(1, 3), *perFrame = make(2, 2);
  sGeometry *shared = a->Geometry;
  ASSERT_TRUE(shared && b->Geometry == shared);
  EXPECT_TRUE(larger->Geometry != shared && perFrame->Geometry != shared);
  EXPECT_EQ(PooledGeometryUsers(shared), 2);

  const std::vector<sU32> before = Draw(*b, sVertexFormatPosNormUV, Place(10, 32, 24));
  ExpectCovers(before, Rect(22, 14, 42, 34));
  sDELETE(a);
  EXPECT_EQ(Draw(*b, sVertexFormatPosNormUV, Place(10, 32, 24)), before);

  // a form that rewrites its vertices takes a geometry of its own; the pooled one stays
  ArrayForm *c = make(1, 2);
  c->Range0[0] = 1.0f;
  c->Build();
  EXPECT_TRUE(c->Geometry != shared && PooledGeometryUsers(shared) == 1);
  EXPECT_EQ(Draw(*b, sVertexFormatPosNormUV, Place(10, 32, 24)), before);

  // the last form gives the vertex and index parts back, once each
  sGeoBuffer *vb = shared->VertexPart[0].Buffer, *ib = shared->IndexPart.Buffer;
  const sInt vbRefs = vb->RefCount, ibRefs = ib->RefCount;
  sDELETE(b);
  EXPECT_EQ(PooledGeometryUsers(shared), 0);
  EXPECT_EQ(vb->RefCount, vbRefs - (vb == ib ? 2 : 1));
  EXPECT_EQ(ib->RefCount, ibRefs - (vb == ib ? 2 : 1));
  sDELETE(c);
  sDELETE(larger);
  sDELETE(perFrame);
}

TEST_F(ArrayFormDrawn, SuperShapeWithMZeroIsASphere)
{
  SuperShapeForm f(0);
  SuperShapeParams &p = *f.GetSuperShapeParams();
  p.ShapeA[0] = p.ShapeB[0] = 0.0f;
  const sF32 angles[4] = {Pi, 2 * Pi, -Pi / 2, -Pi};
  f.Init(ArrayForm::PLANE, 1, 1, 64, 64, angles);
  // the super shape's own vertex program forms the surface from the plane's (phi, theta)
  const shadercode::Code &vs = shadercode::Material4VS[0];
  CodeMaterial m(std::vector<uint32_t>(vs.Data, vs.Data + vs.Size / 4));
  std::vector<sU32> px = Draw(f, m, sVertexFormatPosNormUV, Place(15, 32, 24), 23, [&](sVec4 *r, const sViewport &vp) {
    for(sInt i = 0; i < 4; i++) r[i].Init(vp.MVP.m[i][0], vp.MVP.m[i][1], vp.MVP.m[i][2], vp.MVP.m[i][3]);
    r[8].Init(1, 1, 1, 1);   // colour and ambient: the lit surface is white
    r[9].Init(1, 1, 1, 1);
    r[18].Init(p.Scale[0], p.Scale[1], p.Scale[2], 0);
    r[19].Init(p.ShapeA[0], p.ShapeA[1], p.ShapeA[2], p.ShapeA[3]);
    r[20].Init(p.ShapeB[0], p.ShapeB[1], p.ShapeB[2], p.ShapeB[3]);
  });
  ExpectCovers(px, [](sF32 x, sF32 y) { sF32 d = std::hypot(x - 32, y - 24); return d < 14 ? 2 : d > 16 ? 0 : 1; });
}
}   // namespace
