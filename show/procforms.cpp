// Procedural forms: vertex generators written straight into the locked geometry buffers,
// their index lists, the particle simulation, the spline path and the screen quad.

#include "show/procforms.hpp"

#include "show/scene.hpp"

#include <cmath>
#include <cstring>

namespace
{
const sU32 TriList16 = sGF_TRILIST | sGF_INDEX16;

template <class T> T *AllocArray(sInt count)
{
  sSetAllocSource(__FILE__, __LINE__);
  return static_cast<T *>(sMemAlloc(sDInt(count > 0 ? count : 1) * sizeof(T), 16, 0));
}

// Writes the indices of a static index part.
template <class F> void LoadIndices(sGeometry *geo, sInt count, F &&write)
{
  if(count <= 0) return;
  void *p = nullptr;
  geo->BeginLoadIB(count, sGD_STATIC, &p);
  write(static_cast<sU16 *>(p));
  geo->EndLoadIB();
}

sBool HasVertices(const sGeometry *geo) { return geo && geo->VertexPart[0].Buffer; }
}   // namespace

/****************************************************************************/
/***   CubeForm                                                           ***/
/****************************************************************************/

CubeForm::CubeForm(sInt materialIndex) : Form(materialIndex)
{
  Mode = 1;
  SizeX = SizeY = SizeZ = 1.0f;
  UScale = VScale = 1.0f;
}

void CubeForm::Init(sInt mode, sF32 sizeX, sF32 sizeY, sF32 sizeZ)
{
  Mode = mode;
  SizeX = sizeX;
  SizeY = sizeY;
  SizeZ = sizeZ;
  ReplaceFormGeometry(this, TriList16, sVertexFormatPosNormUV);
  LoadIndices(Geometry, 36, [](sU16 *p) { WriteIndices(p); });
  if(Mode == 1)
  {
    void *p = nullptr;
    Geometry->BeginLoadVB(24, sGD_STATIC, &p);
    WriteVertices(static_cast<FormVertexPNU *>(p));
    Geometry->EndLoadVB();
  }
}

void CubeForm::WriteVertices(FormVertexPNU *dest) const
{
  static const sF32 A[4] = {1, -1, -1, 1}, B[4] = {-1, -1, 1, 1};
  static const sF32 U[4] = {1, 0, 0, 1}, V[4] = {0, 0, 1, 1};
  for(sInt f = 0; f < 6; f++)
    for(sInt k = 0; k < 4; k++)
    {
      sF32 a = A[k], b = B[k], x, y, z;
      switch(f)
      {
      case 0: x = a; y = b; z = 1; break;
      case 1: x = 1; y = b; z = -a; break;
      case 2: x = -a; y = b; z = -1; break;
      case 3: x = -1; y = b; z = a; break;
      case 4: x = a; y = -1; z = b; break;
      default: x = a; y = 1; z = -b; break;
      }
      // one normal for the whole box: every face takes the same light
      dest[4 * f + k] = {x * SizeX, y * SizeY, z * SizeZ, 1.0f, 1.0f, 1.0f, U[k] * UScale, V[k] * VScale};
    }
}

void CubeForm::WriteIndices(sU16 *dest)
{
  for(sInt q = 0; q < 6; q++)
  {
    sU16 b = sU16(4 * q);
    const sU16 t[6] = {b, sU16(b + 1), sU16(b + 2), b, sU16(b + 2), sU16(b + 3)};
    std::memcpy(dest + 6 * q, t, sizeof(t));
  }
}

void CubeForm::Draw(sViewport *)
{
  if(!Geometry) return;
  if(Mode == 3)
  {
    void *p = nullptr;
    Geometry->BeginLoadVB(24, sGD_STREAM, &p);
    WriteVertices(static_cast<FormVertexPNU *>(p));
    Geometry->EndLoadVB();
  }
  if(HasVertices(Geometry)) Geometry->Draw();
}

/****************************************************************************/
/***   StripForm                                                          ***/
/****************************************************************************/

StripForm::StripForm(sInt materialIndex) : Form(materialIndex)
{
  Kind = Shape = Segments = 0;
  Width = Param = 0.0f;
  MarkerIndex = 0;
  Seed = 0;
}

void StripForm::Init(sInt kind, sInt shape, sInt segments, sF32 width, sF32 param, sInt markerIndex)
{
  // the texture coordinate divides by the segment count
  if(segments < 1) segments = 1;
  Kind = kind;
  Shape = shape;
  Segments = segments;
  Width = width;
  Param = param;
  MarkerIndex = markerIndex == -1 ? segments : markerIndex;
  Words.ResetWords();
  if(!FormVerticesFit(u"StripForm", 2 * (sS64(segments) + 1))) return;
  if(Shape < 0 || Shape > 5)
  {
    MakeGeometry();
    return;
  }
  // one geometry for equal strips, not one per form: equal ribbons held equal copies
  // (memory: see the README's bench figures); the vertices and indices follow from these
  // alone (the marker index picks only the marker words)
  struct
  {
    sU32 Tag;
    sInt Shape, Segments, Seed;
    sF32 Width, Param;
  } key;
  std::memset(&key, 0, sizeof(key));
  key.Tag = 0x53545250;   // "STRP": never the first word of another form's key
  key.Shape = Shape, key.Segments = Segments, key.Seed = Seed, key.Width = Width, key.Param = Param;
  if(TakePooledGeometry(this, &key, sizeof(key), [this] { MakeGeometry(); }))
    WriteVertices(nullptr);   // the marker words, which a geometry built here has from Generate
}

void StripForm::MakeGeometry()
{
  ReplaceFormGeometry(this, TriList16, sVertexFormatPosNormUV);
  Generate(Param, MarkerIndex);
  LoadIndices(Geometry, 6 * Segments, [this](sU16 *p) { WriteIndices(p); });
}

void StripForm::Generate(sF32 param, sInt markerIndex)
{
  Param = param;
  MarkerIndex = markerIndex == -1 ? Segments : markerIndex;
  // never into a geometry other strips draw
  if(SharedGeometry == FORM_GEOMETRY_POOLED)
  {
    MakeGeometry();
    return;
  }
  if(!Geometry || Shape < 0 || Shape > 5) return;
  void *p = nullptr;
  Geometry->BeginLoadVB(2 * (Segments + 1), sGD_STATIC, &p);
  WriteVertices(static_cast<FormVertexPNU *>(p));
  Geometry->EndLoadVB();
}

sInt StripForm::WriteVertices(FormVertexPNU *dest)
{
  if(Shape < 0 || Shape > 5) return 0;
  sRandomLcg rnd;
  rnd.Seed(0);
  rnd.Seed(sU32(Seed));
  sF32 r1 = 0, r2 = 0;
  if(Shape == 3)
  {
    r1 = 2 * (rnd.NextFloat(1.0f) + 0.1f);
    r2 = rnd.NextFloat(1.0f);
  }
  else if(Shape == 5)
  {
    r1 = rnd.NextFloat(1.0f);
    r2 = rnd.NextFloat(0.4f);
  }
  else if(Shape != 0)
  {
    r1 = rnd.NextFloat(1.0f);
    r2 = rnd.NextFloat(1.0f);
  }
  sF32 step = Shape == 2 ? 0.032f * (r2 + 0.1f) : Shape == 5 ? 0.009f * (r2 + 0.8f) : 0.009f * (r2 + 0.1f);
  for(sInt i = 0; i <= Segments; i++)
  {
    sF32 fi = sF32(i), x = 0, y = 0, t0, t1;
    if(Shape != 0)
    {
      x = step * fi + Param;
      y = step * (fi + 1) + Param;
    }
    switch(Shape)
    {
    case 0: t0 = 0.02f * fi; t1 = 0.02f * (fi + 1); break;
    case 1: t0 = 0.01f * (r1 + 0.1f) * (fi + 200); t1 = 0.01f * (r1 + 0.1f) * (fi + 201); break;
    case 2: t0 = 0.01f * (r1 + 0.5f) * (fi - 5); t1 = 0.01f * (r1 + 0.5f) * (fi - 4); break;
    case 3: t0 = 0.01f * r1 * (fi + 200); t1 = 0.01f * r1 * (fi + 201); break;
    case 4: t0 = 0.01f * (r1 + 0.5f) * fi; t1 = 0.01f * (r1 + 0.5f) * (fi + 1); break;
    default: t0 = 0.01f * (r1 + 1.0f) * fi; t1 = 0.01f * (r1 + 1.0f) * (fi + 1); break;
    }
    sF32 u = fi / sF32(Segments);
    if(dest)
    {
      dest[2 * i] = {x, y, Width, Param, t0, t1, u, 0.0f};
      dest[2 * i + 1] = {x, y, -Width, Param, t0, t1, u, 1.0f};
    }
    if(i == MarkerIndex)
    {
      const sF32 m[6] = {x, y, -Width, Param, t0, t1};
      std::memcpy(Words.Marker, m, sizeof(m));
    }
  }
  return 2 * (Segments + 1);
}

void StripForm::WriteIndices(sU16 *dest) const
{
  for(sInt i = 0; i < Segments; i++)
  {
    sU16 a = sU16(2 * i);
    const sU16 t[6] = {a, sU16(a + 1), sU16(a + 3), a, sU16(a + 3), sU16(a + 2)};
    std::memcpy(dest + 6 * i, t, sizeof(t));
  }
}

void StripForm::Draw(sViewport *)
{
  if(HasVertices(Geometry)) Geometry->Draw();
}

/****************************************************************************/
/***   PointForm                                                          ***/
/****************************************************************************/

void PointRecord::Reset()
{
  Pos.Init(0, 0, 0);
  Size = 1.0f;
  Color = 0xffffffff;
  Spare = 0;
}

PointForm::PointForm(sInt materialIndex, sGeometry *geometry) : Form(materialIndex, geometry)
{
  Count = Flags = 0;
  Points = nullptr;
}

PointForm::~PointForm()
{
  if(Points) sMemFree(Points);
  Points = nullptr;
}

void PointForm::Init(sInt count, sInt flags)
{
  sVERIFY(count >= 0);
  Count = count;
  Flags = flags;
  if(SharedGeometry) return;
  if(Points) sMemFree(Points);
  Points = AllocArray<PointRecord>(count);
  for(sInt i = 0; i < count; i++) new(&Points[i]) PointRecord();
  ReplaceFormGeometry(this, TriList16, sVertexFormatPosColUV2);
  LoadIndices(Geometry, 6 * count, [this](sU16 *p) { WriteIndices(p); });
}

void PointForm::WriteIndices(sU16 *dest) const
{
  for(sInt p = 0; p < Count; p++)
  {
    sU16 b = sU16(FormBatchBase(p, 4));
    const sU16 t[6] = {b, sU16(b + 1), sU16(b + 3), b, sU16(b + 3), sU16(b + 2)};
    std::memcpy(dest + 6 * p, t, sizeof(t));
  }
}

void PointForm::WriteVertices(FormVertexPCUU *dest) const
{
  // four corners per point: (0, 0), (1, 0), (0, 1), (1, 1), spread by -+ the size
  for(sInt n = 0; n < Count; n++, dest += 4)
  {
    const PointRecord &p = Points[n];
    const sF32 lo = -p.Size, hi = p.Size;
    dest[0] = {p.Pos.x, p.Pos.y, p.Pos.z, p.Color, 0.0f, 0.0f, lo, lo};
    dest[1] = {p.Pos.x, p.Pos.y, p.Pos.z, p.Color, 1.0f, 0.0f, hi, lo};
    dest[2] = {p.Pos.x, p.Pos.y, p.Pos.z, p.Color, 0.0f, 1.0f, lo, hi};
    dest[3] = {p.Pos.x, p.Pos.y, p.Pos.z, p.Color, 1.0f, 1.0f, hi, hi};
  }
}

void PointForm::Draw(sViewport *)
{
  if(SharedGeometry)
  {
    if(HasVertices(Geometry)) Geometry->Draw();
    return;
  }
  if(!Geometry || Count == 0) return;
  void *p = nullptr;
  Geometry->BeginLoadVB(4 * Count, sGD_FRAME, &p);
  WriteVertices(static_cast<FormVertexPCUU *>(p));
  Geometry->EndLoadVB();
  DrawFormBatches(Geometry, Count, 4, 6);
}

/****************************************************************************/
/***   ParticleForm                                                       ***/
/****************************************************************************/

Particle::Particle()
    : Position(0, 0, 0), Velocity(0, 0, 0), WobbleDir(0, 0, 0), Life(0), Colour(0xffffffff), Damping(0.98f),
      RowSegments(1), VertexCount(3 * RowSegments + 9), TriangleCount(4 * (RowSegments + 2)), Word(1000), Wobble(0)
{
}

ParticleForm::ParticleForm(sInt materialIndex) : Form(materialIndex)
{
  Kind = Count = TotalVertices = TotalTriangles = Bounce = 0;
  Particles = nullptr;
  SetDefaults();
  Age = 10000;
}

ParticleForm::~ParticleForm()
{
  if(Particles) sMemFree(Particles);
  Particles = nullptr;
}

void ParticleForm::SetDefaults()
{
  SizeBase = 0.5f;
  SizeRandom = 1.0f;
  Fade = 0.005f;
  Gravity.Init(0, -0.01f, 0);
  Emitter.Init(0, 0, 0);
  Spread.Init(10.0f, 10.0f, 10.0f);
  DirRandom.Init(1.0f, 1.0f, 1.0f);
  Drift.Init(1.0f, 0, 0);
  SpeedBase = 3.0f;
  SpeedRandom = 3.0f;
  DampBase = 0.96f;
  DampRandom = 0.039f;
  WobbleBase = -0.1f;
  WobbleRandom = 0.45f;
  Floor = 0;
}

void ParticleForm::Init(sInt kind, sInt count, sInt bounce)
{
  sVERIFY(count >= 0);
  Kind = kind;
  Count = count;
  Bounce = bounce;
  if(Particles) sMemFree(Particles);
  Particles = AllocArray<Particle>(count);
  TotalVertices = TotalTriangles = 0;
  for(sInt i = 0; i < count; i++)
  {
    new(&Particles[i]) Particle();
    TotalVertices += Particles[i].VertexCount;
    TotalTriangles += Particles[i].TriangleCount;
  }
  ReplaceFormGeometry(this, TriList16, sVertexFormatPosNormUV);
  if(Kind & INDICES) LoadIndices(Geometry, 3 * TotalTriangles, [this](sU16 *p) { WriteIndices(p); });
  SetDefaults();
  Random.Seed(0);
  Age = 10000;
}

void ParticleForm::WriteIndices(sU16 *dest) const
{
  if(Count == 0) return;
  sInt per = VerticesPerParticle();
  for(sInt n = 0; n < Count; n++)
  {
    sInt v = FormBatchBase(n, per);
    for(sInt j = 0; j < per / 3 - 1; j++)
      for(sInt m = 0; m < 2; m++)
      {
        sU16 a = sU16(v + 3 * j + m);
        const sU16 t[6] = {a, sU16(a + 1), sU16(a + 4), a, sU16(a + 4), sU16(a + 3)};
        std::memcpy(dest, t, sizeof(t));
        dest += 6;
      }
  }
}

void ParticleForm::Emit()
{
  for(sInt n = 0; n < Count; n++)
  {
    Particle &p = Particles[n];
    p.Position = Emitter;
    p.Position.x += Random.NextFloat(Spread.x) - Spread.x / 2;
    p.Position.y += Random.NextFloat(Spread.y) - Spread.y / 2;
    p.Position.z += Random.NextFloat(Spread.z) - Spread.z / 2;
    sVec3 v = p.Position - Emitter;
    v.Unit();
    v.x += Random.NextFloat(DirRandom.x) - DirRandom.x / 2;
    v.y += Random.NextFloat(DirRandom.y) - DirRandom.y / 2;
    v.z += Random.NextFloat(DirRandom.z) - DirRandom.z / 2;
    v.Unit();
    p.Velocity = v * (SpeedBase + Random.NextFloat(SpeedRandom)) + Drift;
    p.Damping = DampBase + Random.NextFloat(DampRandom);
    p.WobbleDir = Drift;
    sF32 w = WobbleBase + Random.NextFloat(WobbleRandom);
    p.Wobble = w < 0 ? 0 : w > 1 ? 1 : w;
    p.Life = SizeBase + Random.NextFloat(SizeRandom);
  }
  Age = 0;
}

void ParticleForm::Step()
{
  if(Age >= 10000)
  {
    Age += 10;
    return;
  }
  for(sInt i = 0; i < Count; i++)
  {
    Particle &p = Particles[i];
    sF32 t = sF32(Age + 17 * i);
    sF32 w = 0.03f * (std::sin(0.0015f * t) + std::sin(0.0007f * t) + std::sin(0.0029f * t));
    p.Position += p.Velocity;
    p.Velocity += Gravity;
    p.Velocity *= p.Damping;
    p.Velocity += p.WobbleDir * (w * p.Wobble);
    p.Life -= Fade;
    if(p.Life < 0) p.Life = 0;
    if(Bounce && p.Position.y < Floor)
    {
      p.Position.y = Floor;
      p.Velocity.y = -p.Velocity.y;
    }
  }
  Age += 10;
}

void ParticleForm::WriteVertices(FormVertexPNU *dest, const sViewport &view) const
{
  const sVec3 &ci = view.Camera.i, &cj = view.Camera.j;
  sInt last = VerticesPerParticle() / 3 - 1;   // the last row: RowSegments + 2
  auto toPixels = [&](const sVec3 &p) {
    sVec4 c = sMulPointMat4x4(p, view.MVP);
    sF32 w = std::fabs(c.w) < 1e-6f ? 1e-6f : c.w;
    return sVec3((c.x / w + 1) / 2 * sF32(view.TargetSizeX) - sF32(view.Window.x0),
                 (0.5f - c.y / (2 * w)) * sF32(view.TargetSizeY) - sF32(view.Window.y0), 0);
  };
  for(sInt n = 0; n < Count; n++)
  {
    const Particle &pt = Particles[n];
    sVec3 p0 = pt.Position - pt.Velocity, p1 = pt.Position + pt.Velocity;
    sVec3 d = toPixels(p1) - toPixels(p0);
    d.Unit();
    sVec3 side = (ci * -d.y + cj * -d.x) * pt.Life;
    sVec3 along = (ci * d.x - cj * d.y) * pt.Life;
    sVec3 centre = p0 - along;
    sF32 v = 0;
    for(sInt r = 0; r <= last; r++)
    {
      if(r == 1)
      {
        centre = p0;
        v = 0.5f;
      }
      else if(r == last - 1) centre = p1;
      else if(r == last)
      {
        centre = p1 + along;
        v = 1.0f;
      }
      for(sInt k = 0; k < 3; k++)
      {
        sVec3 pos = centre + side * sF32(k - 1);
        *dest++ = {pos.x, pos.y, pos.z, 1.0f, 0, 0, 0.5f * sF32(k), v};
      }
    }
  }
}

void ParticleForm::Draw(sViewport *view)
{
  if(Age >= 10000 || !Geometry || Count == 0) return;
  if(!(Kind & OWNERFILLS) && !SharedGeometry)
  {
    void *p = nullptr;
    Geometry->BeginLoadVB(TotalVertices, sGD_FRAME, &p);
    WriteVertices(static_cast<FormVertexPNU *>(p), *view);
    Geometry->EndLoadVB();
  }
  if(!HasVertices(Geometry)) return;
  if(Geometry->IndexPart.Buffer) DrawFormBatches(Geometry, Count, VerticesPerParticle(), IndicesPerParticle());
  else Geometry->Draw();
}

/****************************************************************************/
/***   InstanceForm                                                       ***/
/****************************************************************************/

InstanceForm::InstanceForm(sInt materialIndex) : Form(materialIndex)
{
  Count = 0;
  InnerSize = Bevel = 0.0f;
  Format = nullptr;
  UScale = VScale = 1.0f;
  Instances = nullptr;
  InstanceWords = nullptr;
}

InstanceForm::~InstanceForm()
{
  if(Instances) sMemFree(Instances);
  if(InstanceWords) sMemFree(InstanceWords);
  Instances = nullptr;
  InstanceWords = nullptr;
}

void InstanceForm::Init(sInt count, sF32 innerSize, sF32 bevel)
{
  sVERIFY(count >= 0);
  Count = count;
  InnerSize = innerSize;
  Bevel = bevel;
  if(Instances) sMemFree(Instances);
  if(InstanceWords) sMemFree(InstanceWords);
  Instances = AllocArray<sMat3x4>(count);
  for(sInt i = 0; i < count; i++) new(&Instances[i]) sMat3x4();
  InstanceWords = AllocArray<sF32>(2 * count);
  for(sInt i = 0; i < 2 * count; i++) InstanceWords[i] = 0.0f;
  BuildShape();
}

void InstanceForm::BuildShape()
{
  const sU32 inst = sVF_STREAM1 | sVF_F4 | sVertexFormatInstanceFlag;
  const sU32 codes[] = {sVF_POSITION,   sVF_NORMAL,     sVF_UV0,        sVF_UV1 | inst,
                        sVF_UV2 | inst, sVF_UV3 | inst, sVF_UV4 | inst, 0};
  Format = sCreateVertexFormat(codes);
  ReplaceFormGeometry(this, 0x40000 | TriList16, Format);
  void *p = nullptr;
  Geometry->BeginLoadVB(SHAPE_VERTICES, sGD_STATIC, &p);
  WriteShape(static_cast<FormVertexPNU *>(p));
  Geometry->EndLoadVB();
  LoadIndices(Geometry, SHAPE_INDICES, [](sU16 *i) { WriteIndices(i); });
}

void InstanceForm::WriteShape(FormVertexPNU *dest) const
{
  static const sF32 FaceDir[6][3] = {{0, 0, 1}, {1, 0, 0}, {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  static const sS8 Corner[6][4][3] = {
      {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},     {{1, 1, 1}, {1, 1, -1}, {1, -1, -1}, {1, -1, 1}},
      {{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}}, {{-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}},
      {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}},     {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}},
  };
  static const sU8 Edge[12][4] = {{1, 4, 7, 2},     {5, 8, 11, 6},    {9, 12, 15, 10},  {13, 0, 3, 14},
                                  {19, 18, 1, 0},   {18, 17, 5, 4},   {17, 16, 9, 8},   {16, 19, 13, 12},
                                  {3, 2, 21, 20},   {7, 6, 22, 21},   {11, 10, 23, 22}, {15, 14, 20, 23}};
  static const sS8 EdgeDir[12][3] = {{1, 0, 1},  {1, 0, -1},  {-1, 0, -1}, {-1, 0, 1}, {0, 1, 1},   {1, 1, 0},
                                     {0, 1, -1}, {-1, 1, 0},  {0, -1, 1},  {1, -1, 0}, {0, -1, -1}, {-1, -1, 0}};
  static const sU8 CornerOf[8][3] = {{18, 4, 1},  {17, 8, 5},  {16, 12, 9},  {19, 0, 13},
                                     {2, 7, 21},  {6, 11, 22}, {10, 15, 23}, {14, 3, 20}};
  static const sS8 CornerDir[8][3] = {{1, 1, 1},  {1, 1, -1},  {-1, 1, -1}, {-1, 1, 1},
                                      {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}, {-1, -1, 1}};
  static const sF32 A[4] = {0, 1, 1, 0}, B[4] = {0, 0, 1, 1};
  for(sInt f = 0; f < 6; f++)
    for(sInt k = 0; k < 4; k++)
    {
      const sF32 *d = FaceDir[f];
      const sS8 *c = Corner[f][k];
      dest[4 * f + k] = {InnerSize * c[0] + Bevel * d[0], InnerSize * c[1] + Bevel * d[1],
                         InnerSize * c[2] + Bevel * d[2], d[0], d[1], d[2], (1 - A[k]) * UScale, B[k] * VScale};
    }
  auto copy = [&](sInt to, sInt from, const sS8 *dir) {
    sVec3 n(dir[0], dir[1], dir[2]);
    n.Unit();
    dest[to] = {dest[from].x, dest[from].y, dest[from].z, n.x, n.y, n.z, 0, 0};
  };
  for(sInt e = 0; e < 12; e++)
    for(sInt m = 0; m < 4; m++) copy(24 + 4 * e + m, Edge[e][m], EdgeDir[e]);
  for(sInt c = 0; c < 8; c++)
    for(sInt m = 0; m < 3; m++) copy(72 + 3 * c + m, CornerOf[c][m], CornerDir[c]);
}

void InstanceForm::WriteIndices(sU16 *dest)
{
  for(sInt q = 0; q < 18; q++)
  {
    sU16 b = sU16(4 * q);
    const sU16 t[6] = {b, sU16(b + 1), sU16(b + 2), b, sU16(b + 2), sU16(b + 3)};
    std::memcpy(dest + 6 * q, t, sizeof(t));
  }
  for(sInt c = 0; c < 8; c++)
    for(sInt m = 0; m < 3; m++) dest[108 + 3 * c + m] = sU16(72 + 3 * c + m);
}

void InstanceForm::WriteInstances(sF32 *dest) const
{
  for(sInt n = 0; n < Count; n++)
  {
    const sMat3x4 &m = Instances[n];
    const sF32 rows[16] = {m.i.x, m.j.x, m.k.x, m.l.x, m.i.y, m.j.y, m.k.y, m.l.y,
                           m.i.z, m.j.z, m.k.z, m.l.z, InstanceWords[2 * n], InstanceWords[2 * n + 1], 0.0f, 1.0f};
    std::memcpy(dest + 16 * n, rows, sizeof(rows));
  }
}

void InstanceForm::Draw(sViewport *)
{
  if(Count == 0 || !HasVertices(Geometry)) return;
  void *p = nullptr;
  Geometry->BeginLoadVB(Count, sGD_STREAM, &p, 1);
  WriteInstances(static_cast<sF32 *>(p));
  Geometry->EndLoadVB(-1, 1);
  Geometry->DrawRanges(nullptr, 0, Count);
}

/****************************************************************************/
/***   SplinePath                                                         ***/
/****************************************************************************/

namespace
{
// Hermite curve between p0 and p1 with tangents m0 and m1, count components each.
void Hermite(sF32 *out, const sF32 *p0, const sF32 *m0, const sF32 *p1, const sF32 *m1, sInt count, sF32 f)
{
  sVERIFY(count<=9);
  sF32 f2 = f * f, f3 = f2 * f;
  sF32 h00 = 2 * f3 - 3 * f2 + 1, h10 = f3 - 2 * f2 + f, h01 = -2 * f3 + 3 * f2, h11 = f3 - f2;
  for(sInt c = 0; c < count; c++) out[c] = h00 * p0[c] + h10 * m0[c] + h01 * p1[c] + h11 * m1[c];
}
}   // namespace

void SplinePath::Evaluate(sF32 time)
{
  sVERIFY(Count>=4);
  sVERIFY(Count <= 32);
  sF32 last = sF32(Keys[Count - 1].Time);
  if(time < 0) time = 0;
  if(time > last) time = last;
  sInt i = 0;
  while(i < Count - 1 && !(sF32(Keys[i].Time) <= time && time <= sF32(Keys[i + 1].Time))) i++;
  if(i >= Count - 1) return;
  sVERIFY(i<Count-1);

  auto pos = [&](sInt n, sF32 *out) {
    out[0] = Keys[n].x;
    out[1] = Keys[n].y;
    out[2] = Keys[n].z;
  };
  sF32 p[4][3];   // keys i-1, i, i+1, i+2
  sF32 t[4];
  pos(i, p[1]);
  pos(i + 1, p[2]);
  t[1] = sF32(Keys[i].Time);
  t[2] = sF32(Keys[i + 1].Time);
  // a missing neighbour is the mirror of the other one, so the end tangent is the chord
  if(i > 0)
  {
    pos(i - 1, p[0]);
    t[0] = sF32(Keys[i - 1].Time);
  }
  else
  {
    for(sInt c = 0; c < 3; c++) p[0][c] = 2 * p[1][c] - p[2][c];
    t[0] = 2 * t[1] - t[2];
  }
  if(i + 2 < Count)
  {
    pos(i + 2, p[3]);
    t[3] = sF32(Keys[i + 2].Time);
  }
  else
  {
    for(sInt c = 0; c < 3; c++) p[3][c] = 2 * p[2][c] - p[1][c];
    t[3] = 2 * t[2] - t[1];
  }
  sF32 span = t[2] - t[1];
  sF32 s0 = 2 * span / (t[2] - t[0]), s1 = 2 * span / (t[3] - t[1]);
  sF32 m0[3], m1[3];
  for(sInt c = 0; c < 3; c++)
  {
    m0[c] = (0.5f * (p[1][c] - p[0][c]) + 0.5f * (p[2][c] - p[1][c])) * s0;
    m1[c] = (0.5f * (p[2][c] - p[1][c]) + 0.5f * (p[3][c] - p[2][c])) * s1;
  }
  sF32 f = span > 0 ? (time - t[1]) / span : 0.0f;
  sF32 out[3];
  Hermite(out, p[1], m0, p[2], m1, 3, f);
  Position.Init(out[0], out[1], out[2]);
}

/****************************************************************************/
/***   Screen quad                                                        ***/
/****************************************************************************/

void Scene::DrawQuad(sGeometry *geometry, sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 colour, const sF32 *uvRect)
{
  static const sF32 Unit[4] = {0, 0, 1, 1};
  const sF32 *uv = uvRect ? uvRect : Unit;
  geometry->Init(sGF_QUADLIST, sVertexFormatPosColUV);
  struct Vertex
  {
    sF32 x, y, z;
    sU32 c;
    sF32 u, v;
  };
  void *p = nullptr;
  geometry->BeginLoadVB(4, sGD_STREAM, &p);
  Vertex *v = static_cast<Vertex *>(p);
  v[0] = {x0, y0, 1.0f, colour, uv[0], uv[1]};
  v[1] = {x1, y0, 1.0f, colour, uv[2], uv[1]};
  v[2] = {x1, y1, 1.0f, colour, uv[2], uv[3]};
  v[3] = {x0, y1, 1.0f, colour, uv[0], uv[3]};
  geometry->EndLoadVB();
  geometry->Draw();
}
