// The form base and the plain records the form kinds hand to the renderer.

#include "show/form.hpp"

#include "graphics/graphics.hpp"

#include <string>
#include <unordered_map>

namespace
{
struct PoolEntry
{
  sGeometry *Geometry;
  sInt Users;
};
std::unordered_map<std::string, PoolEntry> PoolByKey;
std::unordered_map<const sGeometry *, std::string> PoolKeyOf;
}   // namespace

sGeometry *AcquirePooledGeometry(const void *key, sInt keyBytes)
{
  auto it = PoolByKey.find(std::string(static_cast<const char *>(key), size_t(keyBytes)));
  if(it == PoolByKey.end()) return nullptr;
  it->second.Users++;
  return it->second.Geometry;
}

void AddPooledGeometry(const void *key, sInt keyBytes, sGeometry *geometry)
{
  std::string k(static_cast<const char *>(key), size_t(keyBytes));
  sVERIFY(geometry && !PoolByKey.count(k) && !PoolKeyOf.count(geometry));
  PoolByKey[k] = {geometry, 1};
  PoolKeyOf[geometry] = k;
}

void ReleasePooledGeometry(sGeometry *geometry)
{
  auto at = PoolKeyOf.find(geometry);
  sVERIFY(at != PoolKeyOf.end());
  auto it = PoolByKey.find(at->second);
  if(--it->second.Users > 0) return;
  PoolByKey.erase(it);
  PoolKeyOf.erase(at);
  sDELETE(geometry);
}

sInt PooledGeometryUsers(const sGeometry *geometry)
{
  auto at = PoolKeyOf.find(geometry);
  return at == PoolKeyOf.end() ? 0 : PoolByKey.find(at->second)->second.Users;
}

void DropFormGeometry(Form *form)
{
  if(form->SharedGeometry == FORM_GEOMETRY_POOLED) ReleasePooledGeometry(form->Geometry);
  else if(!form->SharedGeometry) sDELETE(form->Geometry);
}

void ShadowSetup::Reset()
{
  LightCount = 3;
  LightSetIndex = 0;
  Strength = 0.23f;
  Depth = 45000.0f;
  FarClip = 50000.0f;
  Distance = 1500.0f;
  for(sVec3 &p : LightPositions) p.Init(0, 0, 0);
  for(sTexture2D *&t : Targets) t = nullptr;
}

SuperShapeParams::SuperShapeParams()
{
  // a unit superformula (a circle) until the owner picks a preset
  for(sInt i = 0; i < 4; i++) ShapeA[i] = ShapeB[i] = 1.0f;
  for(sF32 &s : Scale) s = 1.0f;
  SuperWordA = 1.0f;
  SuperWordB = 0.5f;
  SuperWordC = 0.002f;
  SuperWordD = 0.0f;
}

StripWords::StripWords()
{
  for(sF32 &m : Marker) m = 0.0f;
  Words[Speed] = 0.0f;
  ResetWords();
}

void StripWords::ResetWords()
{
  static const sF32 defaults[Speed] = {0, 0, 0, 0, 1.0f, 0, 0, 3.0f, 200000.0f, 100000.0f, 0,
                                       1.0f, 1.0f, 0.3f, 1.0f, 0.2f, 28.0f};
  for(sInt i = 0; i < Speed; i++) Words[i] = defaults[i];
}

Form::Form(sInt materialIndex, sGeometry *geometry, sMat3x4 *auxMatrix)
  : Geometry(geometry), MaterialIndex(materialIndex), AuxMatrix(auxMatrix), Colour(0xffffffff), MaterialParam(0),
    LightSetIndex(0), ViewIndex(0), LayerMask(1), SharedGeometry(geometry ? 1 : 0), PassFlags(4), ShadowSwitch(0),
    Shadow(nullptr), ShadowCasterMask(0), ShadowRecord(nullptr), MaterialOption(0)
{
}

Form::~Form()
{
  DropFormGeometry(this);
  Geometry = nullptr;
  sDELETE(Shadow);
  sDELETE(ShadowRecord);
}

void Form::Idle()
{
}

void Form::Draw(sViewport *)
{
  if(Geometry) Geometry->Draw();
}

SuperShapeParams *Form::GetSuperShapeParams() { return nullptr; }
StripWords *Form::GetStripWords() { return nullptr; }
PointWords *Form::GetPointWords() { return nullptr; }
GradeWords *Form::GetGradeWords() { return nullptr; }
