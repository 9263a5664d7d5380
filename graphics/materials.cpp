// The framework's own materials and the standard view constants.

#include "graphics/materials.hpp"

#include "graphics/programs.hpp"

#include <cstring>

/****************************************************************************/
/***   View constants                                                     ***/
/****************************************************************************/

void sSetViewConstants(sViewConstants *vc, const sViewport &vp)
{
  static_assert(sizeof(sViewConstants) == sVIEWCONSTANTS_REGS * 16, "twelve registers");
  sF32 regs[sVIEWCONSTANTS_REGS * 4];

  for(sInt r = 0; r < 4; r++)
    for(sInt c = 0; c < 4; c++) regs[r * 4 + c] = vp.MVP.m[r][c];

  sTransposedMat3x4 mv = sTransposeMat3x4(vp.ModelView);
  sTransposedMat3x4 model = sTransposeMat3x4(vp.Model);
  for(sInt r = 0; r < 3; r++)
  {
    const sVec4 &a = mv.Row[r];
    const sVec4 &b = model.Row[r];
    sF32 *ra = regs + (4 + r) * 4;
    sF32 *rb = regs + (7 + r) * 4;
    ra[0] = a.x; ra[1] = a.y; ra[2] = a.z; ra[3] = a.w;
    rb[0] = b.x; rb[1] = b.y; rb[2] = b.z; rb[3] = b.w;
  }

  const sMat4x4 &p = vp.Proj;
  sF32 *proj = regs + 10 * 4;
  proj[0] = p.m[0][0];
  proj[1] = p.m[1][1];
  proj[2] = p.m[2][2];
  proj[3] = p.m[3][0];
  proj[4] = p.m[3][2];
  proj[5] = p.m[3][1];
  proj[6] = p.m[2][0];
  proj[7] = p.m[2][1];

  std::memcpy(static_cast<void *>(vc), regs, sizeof(regs));
}

/****************************************************************************/
/***   Program selection                                                  ***/
/****************************************************************************/

sShader *sprograms::MakeShader(sU32 type, const shadercode::Code *codes, sInt count, sInt i)
{
  sVERIFY(i >= 0 && i < count);
  sVERIFYAS(codes[i].Data && codes[i].Size != 0, u"codes[i]");
  return sCreateShader(type, reinterpret_cast<const sU8 *>(codes[i].Data), sInt(codes[i].Size));
}

sBool sprograms::SlotUsed(const sMaterial *m, sInt slot)
{
  return m->Texture[slot] != nullptr || (m->S.TextureFlags[slot] & sMTF_EXTERN) != 0;
}

using namespace sprograms;

sInt sSimpleMaterialVSVariant(sU32 kindMask, sU32 renderFlags)
{
  sInt v = 0;
  if(kindMask & (1u << sVF_COLOR0)) v |= 1;
  if(kindMask & (1u << sVF_UV0)) v |= 2;
  if(kindMask & (1u << sVF_UV1)) v |= 4;
  if((kindMask & (1u << sVF_NORMAL)) && (renderFlags & sMTRL_LIGHTING)) v |= 8;
  return v;
}

sInt sSimpleMaterialPSVariant(sBool tex0, sBool tex1, sU32 option)
{
  sInt t = tex0 ? 1 : 0;
  if(tex1) t += option ? 4 : 2;
  return t;
}

/****************************************************************************/
/***   sSimpleMaterial                                                    ***/
/****************************************************************************/

sSimpleMaterial::sSimpleMaterial() : Option(0) {}

void sSimpleMaterial::SelectShaders(sVertexFormat *format)
{
  sVERIFY(format);
  sInt vs = sSimpleMaterialVSVariant(format->AvailMask, S.Flags);
  sInt ps = sSimpleMaterialPSVariant(SlotUsed(this, 0), SlotUsed(this, 1), Option);
  VertexShader = MakeShader(VSType, shadercode::SimpleVS, shadercode::SimpleVSCount, vs);
  PixelShader = MakeShader(PSType, shadercode::SimplePS, shadercode::SimplePSCount, ps);
}

/****************************************************************************/
/***   sPainterMaterial                                                   ***/
/****************************************************************************/

void sPainterMaterial::SelectShaders(sVertexFormat *)
{
  VertexShader = MakeShader(VSType, shadercode::PainterVS, shadercode::PainterVSCount, 0);
  PixelShader = MakeShader(PSType, shadercode::PainterPS, shadercode::PainterPSCount, 0);
}

/****************************************************************************/
/***   sYuvMaterial                                                       ***/
/****************************************************************************/

void sYuvMaterial::SelectShaders(sVertexFormat *format)
{
  sVERIFY(format);
  sInt vs = format->Has(sVF_COLOR0) ? 1 : 0;
  sInt ps = Texture[3] ? 1 : 0;
  VertexShader = MakeShader(VSType, shadercode::YuvVS, shadercode::YuvVSCount, vs);
  PixelShader = MakeShader(PSType, shadercode::YuvPS, shadercode::YuvPSCount, ps);
}
