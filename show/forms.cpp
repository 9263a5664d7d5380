// Array forms and super shapes: grid vertices written straight into the locked geometry
// buffer, the static index lists, and the superformula the super-shape material draws.

#include "show/forms.hpp"

#include <cmath>
#include <cstring>

namespace
{
constexpr sF32 Pi = 3.14159265358979f;

sF32 Param(sInt i, sInt n) { return sF32(i) / sF32(n - 1); }

sVec3 SpherePoint(const sF32 *range0, sF32 theta, sF32 phi)
{
  return sVec3(std::cos(phi) * std::sin(theta) * range0[0], std::cos(theta) * range0[2],
               std::sin(phi) * std::sin(theta) * range0[1]);
}

sVec3 UnitOf(sVec3 v)
{
  v.Unit();
  return v;
}
}   // namespace

/****************************************************************************/
/***   Vertex records and batches                                         ***/
/****************************************************************************/

MeshVertex::MeshVertex()
    : Pos(0, 0, 0), Color(0xffffffff), Normal(0, 1, 0), Tangent(0, 0, 1), U0(0), V0(0), U1(0), V1(0)
{
}

void MeshVertex::Set(sF32 x, sF32 y, sF32 z, sF32 u, sF32 v)
{
  *this = MeshVertex();
  Pos.Init(x, y, z);
  U0 = u;
  V0 = v;
}

MeshVertex *NewMeshVertices(sInt count)
{
  sVERIFY(count >= 0);
  sSetAllocSource(__FILE__, __LINE__);
  MeshVertex *v = static_cast<MeshVertex *>(sMemAlloc(sDInt(count > 0 ? count : 1) * sizeof(MeshVertex), 16, 0));
  for(sInt i = 0; i < count; i++) new(&v[i]) MeshVertex();
  return v;
}

void ReplaceFormGeometry(Form *form, sU32 flags, sVertexFormat *format)
{
  DropFormGeometry(form);
  sSetAllocSource(__FILE__, __LINE__);
  form->Geometry = sNEW sGeometry(flags, format);
  form->SharedGeometry = 0;
}

// More vertices than 16-bit indices address would draw with wrapped indices: such a form
// is refused with a log line and draws nothing.
sBool FormVerticesFit(const sChar *form, sS64 vertices)
{
  if(vertices <= sFORM_MAXVERTICES) return 1;
  sLogF(u"gfx", u"%s: %d vertices do not fit 16-bit indices (at most %d), nothing is built\n", form, sInt(vertices),
        sInt(sFORM_MAXVERTICES));
  return 0;
}

void DrawFormBatches(sGeometry *geo, sInt items, sInt vertsPerItem, sInt indicesPerItem)
{
  if(!geo || items <= 0 || !geo->VertexPart[0].Buffer) return;
  sInt per = FormItemsPerBatch(vertsPerItem);
  for(sInt first = 0; first < items; first += per)
  {
    sInt n = items - first < per ? items - first : per;
    sGeometryRange range{first * indicesPerItem, (first + n) * indicesPerItem};
    sInt offsets[4] = {first * vertsPerItem, 0, 0, 0};
    geo->DrawRanges(&range, 1, 0, first ? offsets : nullptr);
  }
}

/****************************************************************************/
/***   ArrayForm                                                          ***/
/****************************************************************************/

ArrayForm::ArrayForm(sInt materialIndex, sGeometry *geometry) : Form(materialIndex, geometry, nullptr)
{
  Shape = 0;
  FormatSel = 0;
  DurationSel = 0;
  PoleFix = 0;
  USegments = VSegments = 0;
  VertexPtr = nullptr;
  FlipWinding = 0;
  for(sInt i = 0; i < 4; i++) Range0[i] = Range1[i] = Range2[i] = 0.0f;
  Vertices = nullptr;
}

ArrayForm::~ArrayForm()
{
  if(Vertices) sMemFree(Vertices);
  Vertices = nullptr;
}

sVertexFormat *ArrayForm::GetFormat() const
{
  return FormatSel == 1 ? sVertexFormatPosNormUV : FormatSel == 3 ? sVertexFormatPosColUV2 : sVertexFormatTangent;
}

sInt ArrayForm::GetVertexCount() const
{
  if(Shape == QUADS) return 4 * USegments;
  if(Shape < 0 || Shape > QUADS) return 0;   // an unknown shape gets no vertices rather than unwritten ones
  return USegments * VSegments;
}

sInt ArrayForm::GetIndexCount() const
{
  if(Shape == QUADS) return 6 * USegments;
  if(Shape < 0 || Shape > QUADS || USegments < 2 || VSegments < 2) return 0;
  return 6 * (USegments - 1) * (VSegments - 1);
}

void ArrayForm::Init(sInt shape, sInt durationSel, sInt formatSel, sInt uSegments, sInt vSegments, const sF32 *range0,
                     const sF32 *range1, const sF32 *range2)
{
  // the generated shapes divide by the segment counts less one
  if(shape >= PLANE && shape <= SPHERE)
  {
    if(uSegments < 2) uSegments = 2;
    if(vSegments < 2) vSegments = 2;
  }
  Shape = shape;
  DurationSel = durationSel;
  FormatSel = formatSel;
  USegments = uSegments;
  VSegments = vSegments;
  PoleFix = 0;

  static const sF32 SphereRange0[4] = {1, 1, 1, 0};
  static const sF32 FlatRange0[4] = {2.0f, 2.0f, -1.0f, -1.0f};
  static const sF32 UnitRange[4] = {1, 1, 0, 0};
  static const sF32 SphereRange2[4] = {Pi, 2 * Pi, 0, 0};
  std::memcpy(Range0, range0 ? range0 : shape == SPHERE ? SphereRange0 : FlatRange0, sizeof(Range0));
  std::memcpy(Range1, range1 ? range1 : UnitRange, sizeof(Range1));
  if(range2) std::memcpy(Range2, range2, sizeof(Range2));
  else if(shape == SPHERE)
  {
    std::memcpy(Range2, SphereRange2, sizeof(Range2));
    PoleFix = 1;
  }
  else std::memcpy(Range2, UnitRange, sizeof(Range2));

  if(!FormVerticesFit(u"ArrayForm", sS64(GetVertexCount()))) return;

  // one geometry for the static generated shapes of equal parameters, not one per form:
  // equal forms held equal copies (memory: see the README's bench figures)
  if(durationSel == 1 && shape >= PLANE && shape <= SPHERE)
  {
    struct
    {
      sInt Shape, FormatSel, U, V, PoleFix, FlipWinding;
      sF32 Range0[4], Range1[4], Range2[4];
    } key;
    std::memset(&key, 0, sizeof(key));
    key.Shape = Shape, key.FormatSel = FormatSel, key.U = USegments, key.V = VSegments;
    key.PoleFix = PoleFix, key.FlipWinding = FlipWinding;
    std::memcpy(key.Range0, Range0, sizeof(Range0));
    std::memcpy(key.Range1, Range1, sizeof(Range1));
    std::memcpy(key.Range2, Range2, sizeof(Range2));
    TakePooledGeometry(this, &key, sizeof(key), [this] { MakeGeometry(); });
    return;
  }
  MakeGeometry();
}

void ArrayForm::MakeGeometry()
{
  ReplaceFormGeometry(this, sGF_TRILIST | sGF_INDEX16, GetFormat());
  Build();
  sInt ic = GetIndexCount();
  if(ic > 0)
  {
    void *p = nullptr;
    Geometry->BeginLoadIB(ic, sGD_STATIC, &p);
    WriteIndices(static_cast<sU16 *>(p));
    Geometry->EndLoadIB();
  }
}

void ArrayForm::Build()
{
  // never into a geometry other forms draw
  if(SharedGeometry == FORM_GEOMETRY_POOLED)
  {
    MakeGeometry();
    return;
  }
  sInt n = GetVertexCount();
  if(!Geometry || n <= 0 || n > sFORM_MAXVERTICES) return;
  void *p = nullptr;
  Geometry->BeginLoadVB(n, DurationSel == 1 ? sGD_STATIC : sGD_FRAME, &p);
  WriteVertices(p);
  Geometry->EndLoadVB();
}

void ArrayForm::WriteVertices(void *dest)
{
  VertexPtr = static_cast<sU8 *>(dest);
  sInt u = USegments, v = VSegments;
  const sVec3 up(0, 0, 1), side(1, 0, 0);
  switch(Shape)
  {
  case PLANE:
  case DISC:
  case CYLINDER:
    for(sInt r = 0; r < v; r++)
      for(sInt c = 0; c < u; c++)
      {
        sF32 s = Param(c, u), t = Param(r, v);
        sVec3 pos;
        if(Shape == PLANE) pos.Init(s * Range0[0] + Range0[2], t * Range0[1] + Range0[3], 0);
        else if(Shape == DISC)
        {
          sF32 a = s * Range0[0] + Range0[2], d = t * Range0[1] + Range0[3];
          pos.Init(std::cos(a) * d, std::sin(a) * d, 0);
        }
        else
        {
          sF32 a = s * 2 * Pi + Range0[2];
          pos.Init(std::cos(a) * Range0[0], t * Range0[1] + Range0[3], std::sin(a) * Range0[0]);
        }
        PutVertex(r * u + c, pos, 0xffffffff, Shape == CYLINDER ? side : up, side, s, t, s, t);
      }
    break;
  case SPHERE:
    for(sInt r = 0; r < v; r++)
      for(sInt c = 0; c < u; c++)
      {
        sF32 s = Param(c, u), t = Param(r, v);
        sF32 theta = s * Range2[0] + Range2[2], phi = t * Range2[1] + Range2[3];
        sVec3 p = SpherePoint(Range0, theta, phi);
        sVec3 tan = UnitOf(SpherePoint(Range0, Param(c + 1, u) * Range2[0] + Range2[2], phi) - p);
        sVec3 bin = UnitOf(SpherePoint(Range0, theta, Param(r + 1, v) * Range2[1] + Range2[3]) - p);
        sVec3 nrm;
        nrm.Cross(tan, bin);
        nrm.Unit();
        if(PoleFix && (c == 0 || c == u - 1))
        {
          nrm.Init(0, c == 0 ? -1.0f : 1.0f, 0);
          tan.Init(1, 0, 0);
        }
        PutVertex(r * u + c, p, 0xffffffff, nrm, tan, t, s, t, s);
      }
    break;
  case GRID:
  case QUADS:
  {
    const MeshVertex *Array = Vertices;
    sVERIFY(Array);
    sInt n = GetVertexCount();
    for(sInt i = 0; i < n; i++)
    {
      const MeshVertex &m = Array[i];
      PutVertex(i, m.Pos, m.Color, m.Normal, m.Tangent, m.U0, m.V0, m.U1, m.V1);
    }
    break;
  }
  default:
    break;
  }
  VertexPtr = nullptr;
}

void ArrayForm::PutVertex(sInt index, const sVec3 &pos, sU32 colour, const sVec3 &normal, const sVec3 &tangent,
                          sF32 u0, sF32 v0, sF32 u1, sF32 v1)
{
  sVERIFY(VertexPtr);
  sF32 mu = u0 * Range1[0] - Range1[2], mv = v0 * Range1[1] - Range1[3];
  if(FormatSel == 1)
  {
    FormVertexPNU &o = reinterpret_cast<FormVertexPNU *>(VertexPtr)[index];
    o = {pos.x, pos.y, pos.z, normal.x, normal.y, normal.z, mu, mv};
  }
  else if(FormatSel == 3)
  {
    FormVertexPCUU &o = reinterpret_cast<FormVertexPCUU *>(VertexPtr)[index];
    o = {pos.x, pos.y, pos.z, colour, mu, mv, u1 * Range2[0] - Range2[2], v1 * Range2[1] - Range2[3]};
  }
  else
  {
    FormVertexTangent &o = reinterpret_cast<FormVertexTangent *>(VertexPtr)[index];
    o = {pos.x,     pos.y,     pos.z, normal.x, normal.y, normal.z, tangent.x, tangent.y,
         tangent.z, 0.0f,      colour, mu,      mv,       mu,       mv};
  }
}

void ArrayForm::WriteIndices(sU16 *dest) const
{
  sInt u = USegments;
  if(Shape == QUADS)
  {
    for(sInt q = 0; q < USegments; q++)
    {
      sU16 b = sU16(4 * q);
      const sU16 flat[6] = {sU16(b + 2), sU16(b + 3), sU16(b + 1), sU16(b + 2), sU16(b + 1), b};
      const sU16 flip[6] = {b, sU16(b + 1), sU16(b + 3), b, sU16(b + 3), sU16(b + 2)};
      std::memcpy(dest + 6 * q, FlipWinding ? flip : flat, sizeof(flat));
    }
    return;
  }
  if(GetIndexCount() == 0) return;
  for(sInt r = 0; r < VSegments - 1; r++)
    for(sInt c = 0; c < u - 1; c++)
    {
      sU16 a = sU16(r * u + c);
      const sU16 flat[6] = {sU16(a + 1), sU16(a + u + 1), sU16(a + u), sU16(a + 1), sU16(a + u), a};
      const sU16 flip[6] = {a, sU16(a + u), sU16(a + u + 1), a, sU16(a + u + 1), sU16(a + 1)};
      std::memcpy(dest, FlipWinding ? flip : flat, sizeof(flat));
      dest += 6;
    }
}

void ArrayForm::SetQuad(sInt quad, const sMat3x4 &matrix, sF32 halfSize, sU32 colour)
{
  // the quad's four records must lie among the vertices the form was made with
  sVERIFY(Vertices && quad >= 0 && sS64(quad) * 4 + 4 <= GetVertexCount());
  for(sInt k = 0; k < 4; k++)
  {
    sF32 bx = sF32(k & 1), by = sF32((k >> 1) & 1);
    MeshVertex &v = Vertices[4 * quad + k];
    v.Pos = sMulPointMat3x4(sVec3((k & 1) ? halfSize : -halfSize, (k & 2) ? halfSize : -halfSize, 0), matrix);
    v.Color = colour;
    v.Normal.Init(0, 0, 1);
    v.Tangent.Init(0, 1, 0);
    v.U0 = v.U1 = bx;
    v.V0 = v.V1 = by;
  }
}

void ArrayForm::Draw(sViewport *)
{
  if(Geometry && Geometry->VertexPart[0].Buffer) Geometry->Draw();
}

/****************************************************************************/
/***   Super shapes                                                       ***/
/****************************************************************************/

void SuperShapePreset(sInt preset, sF32 *a, sF32 *b)
{
  static const sF32 Table[4][8] = {
      {6, 60, 55, 1000, 6, 250, 100, 100},
      {6, 1, 1, 1, 3, 1, 1, 1},
      {5, 0.1f, 1.7f, 1.7f, 1, 0.3f, 0.5f, 0.5f},
      {1, 1, 1, 1, 1, 1, 1, 1},
  };
  const sF32 *row = Table[(preset >= 0 && preset < 3) ? preset : 3];
  std::memcpy(a, row, 4 * sizeof(sF32));
  std::memcpy(b, row + 4, 4 * sizeof(sF32));
}

SuperShapeForm::SuperShapeForm(sInt materialIndex) : ArrayForm(materialIndex, nullptr)
{
  LightSetIndex = 0;
}

void SuperShapeForm::SetPreset(sInt preset) { SuperShapePreset(preset, ShapeParams.ShapeA, ShapeParams.ShapeB); }

namespace
{
// r(a) = (|cos(m a / 4)|^n2 + |sin(m a / 4)|^n3)^(-1 / n1)
sF32 SuperRadius(const sF32 *shape, sF32 a)
{
  sF32 x = shape[0] * a * 0.25f;
  return std::pow(std::pow(std::fabs(std::cos(x)), shape[2]) + std::pow(std::fabs(std::sin(x)), shape[3]),
                  -1.0f / shape[1]);
}
}   // namespace

sVec3 EvalSuperShape(const SuperShapeParams &p, sF32 theta, sF32 phi)
{
  sF32 ra = SuperRadius(p.ShapeA, theta), rb = SuperRadius(p.ShapeB, phi);
  return sVec3(p.Scale[0] * ra * std::cos(theta) * rb * std::cos(phi),
               p.Scale[1] * ra * std::sin(theta) * rb * std::cos(phi), p.Scale[2] * rb * std::sin(phi));
}
