// Texture and material sets: loading the texture rows, making the material rows, and
// the default light sets.

#include "show/tmdata.hpp"

#include "graphics/graphics.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "graphics/shader.hpp"
#include "show/packedpicture.hpp"
#include "show/scene.hpp"

#include <vector>

namespace
{
// Block-compressed storage of the rows that ask for it: the format code with the flag
// that makes the program's own block packer do the packing.
constexpr sU32 DXT1Format = 0x80100D;
constexpr sU32 DXT5Format = 0x801010;

// Rows whose texture is made from block-packed levels.
bool PackedRow(const TextureEntry &e)
{
  return (e.LoadOption & (sTMD_DXT1 | sTMD_DXT5)) && !(e.LoadOption & sTMD_IMAGEONLY);
}

// Alpha test that passes above the reference (compare "greater").
void AlphaTest(sMaterial *m, sU8 ref)
{
  m->S.AlphaFunc = sCMP_GREATER;
  m->S.AlphaRef = ref;
}
}  // namespace

sVertexFormat *StandardVertexFormat(sInt index)
{
  switch(index)
  {
  case 0: return sVertexFormatPosCol;
  case 1: return sVertexFormatPosNormUV;
  case 2: return sVertexFormatPosColUV;
  case 3: return sVertexFormatPosColUV2;
  case 4: return sVertexFormatTangent3;
  case 5: return sVertexFormatTangent;
  case 6: return sVertexFormatTangentUV3;
  case 7: return sVertexFormatSkinned;
  case 8: return sVertexFormatInstance3;
  case 9: return sVertexFormatInstance4;
  default: return nullptr;
  }
}

void LightSet::Reset()
{
  Ambient = 0xff333333;
  Colors[0] = 0xffa6afa6;
  Colors[1] = 0xff8f8fbf;
  Colors[2] = 0xffff0000;
  Directions[0].Init(0.57735027f, 0.57735027f, 0.57735027f);
  Directions[1].Init(0.44721360f, -0.89442719f, 0.0f);
  Directions[2].Init(-0.40824829f, -0.81649658f, -0.40824829f);
  for(sVec3 &p : Positions) p.Init(0, 0, 0);
}

TMData::TMData()
  : TextureCount(0), MaterialCount(0), MaterialTable(nullptr), TextureTable(nullptr), Textures(nullptr),
    Images(nullptr), Materials(nullptr)
{
  for(LightSet *&l : LightSets) l = nullptr;
}

TMData::~TMData()
{
  if(Textures)
    for(sInt i = 0; i < TextureCount; i++) sDELETE(Textures[i]);
  sMemFree(Textures);
  Textures = nullptr;
  if(Materials)
    for(sInt i = 0; i < MaterialCount; i++) sDELETE(Materials[i]);
  sMemFree(Materials);
  Materials = nullptr;
  for(LightSet *&l : LightSets) sDELETE(l);
  if(Images)
    for(sInt i = 0; i < TextureCount; i++) sDELETE(Images[i]);
  sMemFree(Images);
  Images = nullptr;
}

sInt TMData::GetKind(sInt row) const
{
  // the row that ends the table (Kind 16) names the forms that draw themselves
  sVERIFY(row>=0 && row<=MaterialCount);
  return MaterialTable ? MaterialTable[row].Kind : sTMD_ENDKIND;
}

void TMData::Build(const TextureEntry *textures, const MaterialEntry *materials, sInt flags)
{
  TextureTable = textures;
  MaterialTable = materials;
  TextureCount = 0;
  while(textures && textures[TextureCount].UnpackedPath) TextureCount++;
  MaterialCount = 0;
  while(materials && materials[MaterialCount].Kind != sTMD_ENDKIND)
  {
    // a row past the kinds is refused when it is made, in table order
    if(materials[MaterialCount].Kind > sTMD_ENDKIND) break;
    MaterialCount++;
  }

  sSetAllocSource(__FILE__, __LINE__);
  Textures = static_cast<sTexture2D **>(sMemAlloc(sDInt(sizeof(sTexture2D *)) * (TextureCount + 1), 16, 0));
  sSetAllocSource(__FILE__, __LINE__);
  Images = static_cast<sImage **>(sMemAlloc(sDInt(sizeof(sImage *)) * (TextureCount + 1), 16, 0));
  // The block-packed rows are loaded and packed on the batch's threads, not on this one
  // (a first start spent a quarter of its main thread packing); each row still takes its
  // texture, and refreshes the loader screen, in its turn.
  PackedPictureBatch batch;
  std::vector<sInt> packing(size_t(TextureCount), -1);
  for(sInt i = 0; i < TextureCount; i++)
  {
    const TextureEntry &e = textures[i];
    const sChar *path = (flags & sTMD_PACKED) ? e.PackedPath : e.UnpackedPath;
    if(path && PackedRow(e))
      packing[size_t(i)] = batch.Add(path, sInt((e.LoadOption & sTMD_DXT1) ? DXT1Format : DXT5Format),
                                     (e.LoadOption & sTMD_HEIGHTTONORMAL) != 0);
  }
  for(sInt i = 0; i < TextureCount; i++)
  {
    Textures[i] = nullptr;
    Images[i] = nullptr;
    LoadTexture(i, flags, batch, packing[size_t(i)]);
    if(flags & sTMD_REFRESH) RefreshLoadingScreen();
  }

  for(LightSet *&l : LightSets)
  {
    l = sNEW LightSet;
    l->Reset();
  }

  if(materials && materials[MaterialCount].Kind > sTMD_ENDKIND) sFatal(u"TMData: unknown material kind!\n");
  sSetAllocSource(__FILE__, __LINE__);
  Materials = static_cast<sMaterial **>(sMemAlloc(sDInt(sizeof(sMaterial *)) * (MaterialCount + 1), 16, 0));
  for(sInt i = 0; i < MaterialCount; i++) Materials[i] = nullptr;
  for(sInt i = 0; i < MaterialCount; i++) Materials[i] = MakeMaterial(materials[i]);
}

void TMData::LoadTexture(sInt row, sInt flags, PackedPictureBatch &batch, sInt packing)
{
  const TextureEntry &e = TextureTable[row];
  const sChar *path = (flags & sTMD_PACKED) ? e.PackedPath : e.UnpackedPath;
  if(!path) return;
  if(e.LoadOption == 0)
  {
    Textures[row] = sLoadTexture2DFile(path, e.TextureFlags);
    return;
  }

  if(PackedRow(e))
  {
    // the batch has packed the row's levels (or is packing them) on its threads
    sImageData *data = nullptr;
    sImage *small = nullptr;
    sBool packed = batch.Take(packing, &data, &small);
    sBool loaded = packed || small;
    if(packed)
    {
      Textures[row] = data->CreateTexture();
      sDELETE(data);
    }
    else if(small)
    {
      // smaller than one block: no level can be packed, so the picture is kept
      // uncompressed rather than lost
      Textures[row] = sLoadTexture2D(small, e.TextureFlags);
      sDELETE(small);
    }
    if(loaded && (e.LoadOption & sTMD_HEIGHTTONORMAL) && (flags & sTMD_REFRESH)) RefreshLoadingScreen();
    return;
  }

  sImage *img = sNEW sImage;
  // a file that cannot be read leaves the row empty whatever it asked for: the
  // conversions below need a picture
  if(!img->Load(path) || img->SizeX < 1 || img->SizeY < 1)
  {
    sDELETE(img);
    return;
  }
  if(e.LoadOption & sTMD_IMAGEONLY)
  {
    Images[row] = img;
    return;
  }
  if(e.LoadOption & sTMD_HEIGHTTONORMAL)
  {
    sImage *normals = sNEW sImage;
    normals->HeightToNormal(img, 1.0f);
    sDELETE(img);
    img = normals;
    if(flags & sTMD_REFRESH) RefreshLoadingScreen();
  }
  Textures[row] = sLoadTexture2D(img, e.TextureFlags);
  sDELETE(img);
}

sTexture2D *TMData::TextureOf(const MaterialEntry &e, sInt slot) const
{
  sInt t = e.TextureIndex[slot];
  // a table naming a texture row it does not have is a fault of the table
  sVERIFY(t>=0 && t<TextureCount);
  return Textures[t];
}

sMaterial *TMData::MakeMaterial(const MaterialEntry &e)
{
  sVERIFY(e.TextureCount>=0 && e.TextureCount<=4);
  sInt k = e.Kind;
  if(k < 0 || k > 15) sFatal(u"TMData: unknown material kind!\n");

  // the vertex format each kind accepts
  sBool formatOk;
  switch(k)
  {
  case 0: case 1: case 2: case 3: formatOk = e.VertexFormat == 1 || e.VertexFormat == 3; break;
  case 9: case 10: case 11: case 12: formatOk = e.VertexFormat == 3; break;
  case 13: formatOk = e.VertexFormat == 5; break;
  default: formatOk = e.VertexFormat == 1; break;
  }
  if(!formatOk) sFatal(u"TMData: vertex format for this material not supported!\n");

  sMaterial *m = nullptr;
  ShaderMaterial1 *m1 = nullptr;
  ShaderMaterial3 *m3 = nullptr;
  ShaderMaterial4 *m4 = nullptr;
  ShaderMaterial6 *m6 = nullptr;
  ShaderMaterial13 *m13 = nullptr;
  switch(k)
  {
  case 0: case 1: case 2: case 3: m = m1 = sNEW ShaderMaterial1; break;
  case 4: m = sNEW ShaderMaterial2; break;
  case 5: m = m3 = sNEW ShaderMaterial3; break;
  case 6: m = sNEW ShaderMaterial5; break;
  case 7: case 8: m = m4 = sNEW ShaderMaterial4; break;
  case 9: case 10: case 11: m = m6 = sNEW ShaderMaterial6; break;
  case 12: m = sNEW ShaderMaterial8; break;
  case 13: m = m13 = sNEW ShaderMaterial13; break;
  case 14: m = sNEW ShaderMaterial7; break;
  default: m = sNEW ShaderMaterial15; break;
  }

  m->S.Flags = e.StateFlags;
  m->S.BlendColor = e.BlendWord;
  m->S.TextureFlags[0] = e.SamplerFlags[0];
  for(sInt i = 0; i < e.TextureCount; i++) m->S.LodBias[i] = -0.3f;

  switch(k)
  {
  case 0: case 1: case 2: case 3:
    m->Texture[0] = TextureOf(e, 0);
    if(e.VertexFormat == 3) m1->Options[ShaderMaterial1::VertexColor] = 1;
    if(k == 1) m1->Options[ShaderMaterial1::AlphaFromColor] = 1;
    if(k >= 2) m->Texture[1] = TextureOf(e, 1);
    if(k == 3) m1->Options[ShaderMaterial1::SecondAlpha] = 1;
    break;
  case 4:
  case 5:
    for(sInt n = 0; n < e.TextureCount; n++) m->Texture[n] = TextureOf(e, n);
    break;
  case 6:
    m->Texture[0] = TextureOf(e, 0);
    if(e.StateFlags == 3) AlphaTest(m, 128);
    break;
  case 7:
    m->Texture[0] = TextureOf(e, 0);
    m4->HeightGradientOption = 0;
    break;
  case 8:
    m->Texture[0] = TextureOf(e, 0);
    m4->HeightGradientOption = 1;
    m4->Gradient.y = 0.002f;
    m4->Gradient.z = 0.5f;
    m4->GlowScale = 0.0f;
    AlphaTest(m, 96);
    break;
  case 9: case 10: case 11:
    m->Texture[0] = TextureOf(e, 0);
    AlphaTest(m, 4);
    if(k == 10) m6->DepthOption = 1;
    if(k == 11)
    {
      m6->SoftOption = 1;
      m->Texture[1] = TextureOf(e, 1);
    }
    break;
  case 12:
    for(sInt n = 0; n < 4; n++)
    {
      m->Texture[n] = TextureOf(e, n);
      m->S.TextureFlags[n] = e.SamplerFlags[n];
    }
    break;
  case 13:
    for(sInt n = 0; n < e.TextureCount; n++)
    {
      m->Texture[n] = TextureOf(e, n);
      m->S.TextureFlags[n] = e.SamplerFlags[n];
    }
    AlphaTest(m, 128);
    for(sInt i = 0; i < 3; i++) m13->ShadowMatrix[i] = &ShadowMatrix;
    break;
  default:
    m->Texture[0] = TextureOf(e, 0);
    break;
  }

  if(k == 5)
  {
    // variant 0 as the row asks; variant 1 culls the other faces, for the mirrored pass
    m->InitVariants(2);
    m->SetVariant(0);
    if(e.StateFlags & sMTRL_CULLON) m->S.Flags = 0x23;
    m->SetVariant(1);
    m->S.Flags = e.StateFlags;
  }
  (void)m3;
  m->Prepare(StandardVertexFormat(e.VertexFormat));
  return m;
}
