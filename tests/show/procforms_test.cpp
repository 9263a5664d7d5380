// Procedural forms: the geometry each kind writes, the particle simulation, the spline
// path, and each kind drawn and read back.

#include "form_render.hpp"
#include "common/check.hpp"
#include "graphics/gpudevice.hpp"
#include "show/procforms.hpp"
#include "show/scene.hpp"

#include <cmath>

namespace
{
const char *InstanceVS = "vs_2_0\ndcl_position v0\ndcl_texcoord1 v3\ndcl_texcoord2 v4\ndcl_texcoord3 v5\n"
                         "def c20, 1, 0, 0, 0\nmov r0, v0\nmov r0.w, c20.x\n"
                         "dp4 r1.x, r0, v3\ndp4 r1.y, r0, v4\ndp4 r1.z, r0, v5\n"
                         "mul r2, r1.x, c0\nmad r2, r1.y, c1, r2\nmad r2, r1.z, c2, r2\nadd oPos, r2, c3\nmov oD0, c20.x\n";
// camera-facing points: the corner offset in the second texture coordinate
const char *PointVS = "vs_2_0\ndcl_position v0\ndcl_texcoord1 v1\ndef c20, 1, 0, 0, 0\n"
                      "add r0.xy, v0, v1\nmov r0.z, v0.z\nmul r1, r0.x, c0\nmad r1, r0.y, c1, r1\n"
                      "mad r1, r0.z, c2, r1\nadd oPos, r1, c3\nmov oD0, c20.x\n";

using CubeAndStrip = FormTest;

TEST_F(CubeAndStrip, CubeCornersNormalsAndDrawing)
{
  CubeForm c(0);
  c.UScale = 2.0f;
  c.VScale = 3.0f;
  c.Init(1, 2, 3, 4);
  FormVertexPNU v[24];
  sU16 idx[36];
  c.WriteVertices(v);
  CubeForm::WriteIndices(idx);
  EXPECT_LT(*std::max_element(idx, idx + 36), 24);
  for(const FormVertexPNU &p : v)
  {
    EXPECT_TRUE(std::fabs(p.x) == 2 && std::fabs(p.y) == 3 && std::fabs(p.z) == 4);
    EXPECT_TRUE(p.nx == 1.0f && p.ny == 1.0f && p.nz == 1.0f);   // one normal for the box
    EXPECT_TRUE(p.u >= 0 && p.u <= 2 && p.v >= 0 && p.v <= 3);
  }
  // each face's corners lie in the face's plane: face 0 at z = +4, face 4 at y = -3
  for(sInt k = 0; k < 4; k++) EXPECT_TRUE(v[k].z == 4 && v[16 + k].y == -3);
  // mode 1 keeps what Init wrote; mode 3 follows the sizes at every draw
  CubeForm once(0), live(0);
  once.Init(1, 1, 1, 1);
  live.Init(3, 1, 1, 1);
  once.SizeX = live.SizeX = 2;
  ExpectCovers(Draw(once, sVertexFormatPosNormUV, Place(10, 32, 24)), Rect(22, 14, 42, 34));
  ExpectCovers(Draw(live, sVertexFormatPosNormUV, Place(10, 32, 24)), Rect(12, 14, 52, 34));
}

TEST_F(CubeAndStrip, StripWidthMarkerAndBand)
{
  for(sInt shape = 0; shape <= 5; shape++)
  {
    StripForm s(0);
    s.Seed = 7;
    s.Init(0, shape, 10, 2.5f, 0.3f, -1);
    EXPECT_EQ(s.MarkerIndex, 10);
    FormVertexPNU v[22];
    sU16 idx[60];
    ASSERT_EQ(s.WriteVertices(v), 22);
    s.WriteIndices(idx);
    for(sU16 i : idx) EXPECT_LT(i, 22);
    for(sInt i = 0; i < 22; i++)
      EXPECT_TRUE(v[i].z == ((i & 1) ? -2.5f : 2.5f) && v[i].nx == 0.3f && v[i].u == sF32(i / 2) / 10 && v[i].v == sF32(i & 1));
    EXPECT_EQ(v[0].x, shape ? 0.3f : 0.0f);   // the ribbon starts at the parameter
    const sF32 *m = s.GetStripWords()->Marker;
    EXPECT_TRUE(m[0] == v[21].x && m[1] == v[21].y && m[2] == -2.5f && m[5] == v[21].nz);
  }
  // seen edge on (z across the screen, x + y down it) the strip is one band
  StripForm s(0);
  s.Seed = 3;
  s.Init(0, 2, 40, 1.0f, -0.6f, -1);
  FormVertexPNU v[82];
  s.WriteVertices(v);
  sF32 lo = 1e9f, hi = -1e9f;
  for(const FormVertexPNU &p : v) lo = std::min(lo, p.x + p.y), hi = std::max(hi, p.x + p.y);
  sMat3x4 place = Place(20, 32, 24);
  place.i.Init(0, 20, 0);
  place.k.Init(12, 0, 0);
  ExpectCovers(Draw(s, sVertexFormatPosNormUV, place), Rect(20, 24 + 20 * lo, 44, 24 + 20 * hi));

  // a strip of the same parameters draws the same geometry with its own marker words; the
  // geometry lasts until its last strip lets go, and a strip taking new vertices takes its own
  StripForm *same = sNEW StripForm(0), *wider = sNEW StripForm(0);
  same->Seed = wider->Seed = 3;
  same->Init(0, 2, 40, 1.0f, -0.6f, 5);
  wider->Init(0, 2, 40, 1.5f, -0.6f, -1);
  sGeometry *shared = s.Geometry;
  ASSERT_TRUE(same->Geometry == shared && wider->Geometry != shared && same->GetStripWords()->Marker[0] == v[11].x);
  s.Generate(-0.6f, -1);
  EXPECT_TRUE(s.Geometry != shared && PooledGeometryUsers(shared) == 1);
  EXPECT_EQ(Draw(*same, sVertexFormatPosNormUV, place), Draw(s, sVertexFormatPosNormUV, place));
  sDELETE(same);
  EXPECT_EQ(PooledGeometryUsers(shared), 0);
  sDELETE(wider);
}

using PointsAndParticles = FormTest;

TEST_F(PointsAndParticles, PointCornersWordsAndDrawing)
{
  PointForm f(0);
  EXPECT_TRUE(f.GetPointWords()->DepthRange == 200.0f && f.GetPointWords()->Brightness == 1.0f);
  f.Init(2, 0);
  f.Points[0].Pos.Init(-1.5f, 0, 0);
  f.Points[1].Pos.Init(1.5f, 0, 0);
  f.Points[1].Size = 0.5f;
  f.Points[1].Color = 0xff0000ff;
  FormVertexPCUU v[8];
  f.WriteVertices(v);
  EXPECT_TRUE(v[5].x == 1.5f && v[5].c == 0xff0000ffu && v[5].u0 == 1 && v[5].v0 == 0);
  CodeMaterial m(CodeMaterial::Asm(PointVS));
  std::vector<sU32> px = Draw(f, m, sVertexFormatPosColUV2, Place(8, 32, 24));
  ExpectCovers(px, [](sF32 x, sF32 y) { return std::max(Rect(12, 16, 28, 32)(x, y), Rect(40, 20, 48, 28)(x, y)); });

  // past 16384 points the indices count from the batch's first vertex
  PointForm many(0);
  many.Init(20000, 0);
  std::vector<sU16> idx(6 * 20000);
  many.WriteIndices(idx.data());
  EXPECT_EQ(idx[6 * 16384], 0);
  EXPECT_EQ(idx[6 * 16383 + 2], 65535);

  // drawn in two passes a frame (the mirrored and the plain one), a form of more corners
  // than a frame buffer's least size draws in both; the plain pass's fill does not fit
  // behind the mirrored one, so its buffer is made again every frame at its own size
  PointForm big(0);
  big.Init(10000, 0);
  for(sInt i = 0; i < big.Count; i++) big.Points[i] = f.Points[i % 2];
  const auto two = [](sF32 x, sF32 y) { return std::max(Rect(12, 16, 28, 32)(x, y), Rect(40, 20, 48, 28)(x, y)); };
  sGpuRes *kept = nullptr;
  for(sInt frame = 0; frame < 3; frame++)
  {
    ExpectCovers(Draw(big, m, sVertexFormatPosColUV2, Place(8, 32, 24), sVIEWCONSTANTS_REGS, {}, 2), two);
    sGpuRes *now = big.Geometry->VertexPart[0].Buffer->Buffer;
    if(frame == 2)
    {
      EXPECT_NE(now, kept);
    }
    if(frame == 1) sGetGpuDevice()->AddRef(kept = now);   // held, so a new buffer cannot come at its address
  }
  sGetGpuDevice()->Release(kept);
}

TEST_F(PointsAndParticles, ParticleIndicesLifeAndBounce)
{
  ParticleForm f(0);
  f.Init(ParticleForm::INDICES, 10000, 1);
  EXPECT_EQ(f.TotalVertices, 120000);
  ASSERT_EQ(f.IndicesPerParticle(), 36);
  std::vector<sU16> idx(36 * 10000 + 1, 0xbeef);
  f.WriteIndices(idx.data());
  EXPECT_EQ(idx.back(), 0xbeef);   // nothing past what was sized
  sInt per = FormItemsPerBatch(12);
  for(sInt n = 0; n < 10000; n++)
    for(sInt k = 0, base = (n % per) * 12; k < 36; k++) ASSERT_TRUE(idx[36 * n + k] >= base && idx[36 * n + k] < base + 12) << n;

  EXPECT_GE(f.Age, 10000);   // dead until emitted
  f.Emit();
  bool bounced = false;
  for(sInt s = 0; s < 1000; s++)
  {
    std::vector<sF32> vy(10);
    for(sInt i = 0; i < 10; i++) vy[i] = f.Particles[i].Velocity.y;
    f.Step();
    for(sInt i = 0; i < 10; i++)
    {
      const Particle &p = f.Particles[i];
      ASSERT_TRUE(p.Position.y >= f.Floor && p.Life >= 0.0f);
      if(p.Position.y == f.Floor && vy[i] < 0 && p.Velocity.y > 0) bounced = true;
    }
  }
  EXPECT_TRUE(bounced && f.Age >= 10000);   // dead again after 1000 steps
}

TEST_F(PointsAndParticles, ParticleStreaksInTwoBatches)
{
  ParticleForm f(0);
  f.Init(ParticleForm::INDICES, 6000, 0);   // 72000 vertices: two batches
  f.Emit();
  for(sInt n = 0; n < f.Count; n++)
  {
    Particle &p = f.Particles[n];
    p.Position.Init(n == 0 ? -2.0f : n == f.Count - 1 ? 2.0f : 0.0f, 0, 0);
    p.Velocity.Init(0.25f, 0, 0);
    p.Life = 0.25f;
  }
  std::vector<sU32> px = Draw(f, sVertexFormatPosNormUV, Place(8, 32, 24));
  auto streak = [](sF32 cx) { return Rect(cx - 4, 22, cx + 4, 26); };
  ExpectCovers(px, [&](sF32 x, sF32 y) { return std::max({streak(16)(x, y), streak(32)(x, y), streak(48)(x, y)}); });
}

TEST_F(PointsAndParticles, InstancedBoxes)
{
  InstanceForm f(0);
  f.Init(3, 1.0f, 0.1f);
  FormVertexPNU v[96];
  sU16 idx[132];
  f.WriteShape(v);
  InstanceForm::WriteIndices(idx);
  EXPECT_LT(*std::max_element(idx, idx + 132), 96);
  for(const FormVertexPNU &p : v)
  {
    sVec3 n(p.nx, p.ny, p.nz), pos(p.x, p.y, p.z);
    EXPECT_TRUE(std::fabs(Len(n) - 1) < 0.01f && sDot(n, pos) > 0);   // unit, outwards
    EXPECT_NEAR(std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}), 1.1f, 1e-6f);
  }
  f.Instances[0].l.Init(-2.5f, 0, 0);
  f.Instances[2].l.Init(2.5f, 0, 0);
  f.Instances[2].i.Init(0.5f, 0, 0);
  CodeMaterial m(CodeMaterial::Asm(InstanceVS));
  // boxes of half width 1.1 at x -2.5, 0 and 2.5 (the last squeezed to half its width), 6 pixels a unit
  auto box = [](sF32 x0, sF32 x1) { return Rect(x0, 17.4f, x1, 30.6f); };
  ExpectCovers(Draw(f, m, f.Format, Place(6, 32, 24)), [&](sF32 x, sF32 y) {
    return std::max({box(10.4f, 23.6f)(x, y), box(25.4f, 38.6f)(x, y), box(43.7f, 50.3f)(x, y)});
  });
  f.Count = 0;
  ExpectCovers(Draw(f, m, f.Format, Place(6, 32, 24)), [](sF32, sF32) { return 0; });
}

// The screen quad, drawn by a form of its own.
struct QuadForm : Form
{
  sGeometry Quad;
  QuadForm() : Form(0) {}
  void Draw(sViewport *) override { Scene::DrawQuad(&Quad, 10, 8, 30, 20, 0xffffffff); }
};

TEST_F(PointsAndParticles, ScreenQuad)
{
  QuadForm q;
  ExpectCovers(Draw(q, sVertexFormatPosColUV, sMat3x4()), Rect(10, 8, 30, 20));
}

TEST(SplinePath, PassesThroughItsKeys)
{
  SplinePath s;
  const sF32 pts[5][3] = {{0, 0, 0}, {10, 5, 0}, {20, 0, 5}, {25, -5, 5}, {40, 0, 0}};
  const sInt times[5] = {0, 100, 150, 400, 500};
  for(sInt i = 0; i < 5; i++) s.Keys[i] = {pts[i][0], pts[i][1], pts[i][2], 0, times[i]};
  s.Count = 5;
  for(sInt i = 0; i < 5; i++)
  {
    s.Evaluate(sF32(times[i]));
    EXPECT_LT(Len(s.Position - sVec3(pts[i][0], pts[i][1], pts[i][2])), 1e-4f) << i;
  }
  s.Evaluate(900);   // clamped to the last key
  EXPECT_NEAR(s.Position.x, 40, 1e-4f);
  s.Count = 3;
  EXPECT_EXIT(s.Evaluate(0), testing::ExitedWithCode(1), kCheckFailed);
}
}   // namespace
