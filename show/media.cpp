// Media helpers: file kinds, pictures, folder trees, texture copies.
#include "show/media.hpp"

#include "base/arrays.hpp"
#include "base/file.hpp"
#include "base/log.hpp"
#include "graphics/graphics.hpp"
#include "graphics/image.hpp"
#include "graphics/materials.hpp"
#include "graphics/painter.hpp"
#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"
#include "util/movieplayer.hpp"

#include <string>
#include <vector>

namespace
{
sBool HasExtension(const sChar *name, const sChar *const *list)
{
  const sChar *ext = sFindFileExtension(name);
  if(!ext || !*ext) return 0;
  for(; *list; list++)
    if(sCompareStringNoCase(ext, *list) == 0) return 1;
  return 0;
}

// A folder to copy into: made now or there already as a real folder, never a link.
sBool MakeTargetFolder(const sChar *path)
{
  std::string p = plat::ToUtf8(path);
  plat::MakeDir(p.c_str());
  plat::DirEntry info;
  return plat::GetFileInfo(p.c_str(), &info) && info.Directory && !info.SymbolicLink;
}

struct TreeRecord
{
  sInt Level;
  sU32 Flags;
  sPathString Source;
  sPathString Dest;
};

// Lists a folder tree level by level: the entries of the folder itself at level 0, the
// entries of each level's folders at the next level. Links are listed, never followed.
void ListTree(std::vector<TreeRecord> &records, const sChar *source, const sChar *dest)
{
  auto listFolder = [&](sInt level, const sChar *src, const sChar *dst) {
    sDynamicArray<sDirEntry> entries;
    if(!sLoadDir(entries, src)) return;
    for(const sDirEntry &e : entries)
    {
      TreeRecord r;
      r.Level = level;
      r.Flags = e.Flags;
      // a name that would not fit is left out
      if(!JoinPath(r.Source, src, e.Name) || (dst && !JoinPath(r.Dest, dst, e.Name))) continue;
      records.push_back(r);
    }
  };
  listFolder(0, source, dest);
  for(sInt level = 1;; level++)
  {
    size_t before = records.size();
    for(size_t i = 0; i < before; i++)
    {
      if(records[i].Level != level - 1 || !sIsRealFolder(records[i].Flags)) continue;
      TreeRecord parent = records[i];
      listFolder(level, parent.Source.Get(), dest ? parent.Dest.Get() : nullptr);
    }
    if(records.size() == before) break;
  }
}
}

sBool IsImageFile(const sChar *name)
{
  static const sChar *const exts[] = {u"pic", u"tga", u"bmp", u"jpg", u"tif", u"gif", u"png", nullptr};
  return HasExtension(name, exts);
}

sBool IsMovieFile(const sChar *name)
{
  static const sChar *const exts[] = {u"avi", u"mov", u"mp4", u"mkv", nullptr};
  return HasExtension(name, exts);
}

sImage *LoadPicture(const sChar *name)
{
  const sInt refusals = sPictureRefusals();
  if(sImage *img = sLoadImageGdiPlus(name)) return img;
  // not read again after a refusal for its size: the program's readers would refuse it with lines of their own
  if(sPictureRefusals() != refusals) return nullptr;
  sImage *img = sNEW sImage;
  if(img->Load(name))
  {
    if(img->SizeX > 0 && img->SizeY > 0) return img;
    // the program's readers take a picture of no pixels, of which no texture can be made
    sLogF(u"gfx", u"picture %s refused: it has no pixels\n", name);
  }
  sDELETE(img);
  return nullptr;
}

sBool JoinPath(const sStringRef &dest, const sChar *folder, const sChar *name)
{
  if(!folder) folder = u"";
  if(!name) name = u"";
  while(*name == '/' || *name == '\\') name++;
  const sInt n = sGetStringLen(folder);
  const sBool slash = n > 0 && folder[n - 1] != '/' && folder[n - 1] != '\\';
  if(n + (slash ? 1 : 0) + sGetStringLen(name) >= dest.Size)
  {
    if(dest.Size > 0) dest.Buffer[0] = 0;
    return 0;
  }
  sCopyString(dest.Buffer, folder, dest.Size);
  if(slash) sAppendString(dest.Buffer, u"/", dest.Size);
  sAppendString(dest.Buffer, name, dest.Size);
  return 1;
}

sInt CopyDirectoryTree(const sChar *source, const sChar *destination, sInt copyReadOnly)
{
  std::vector<TreeRecord> records;
  ListTree(records, source, destination);
  // Folders that are no place to write in (a link, a file, a folder that could not be
  // made): nothing is copied below them, so a link in the destination never sends files
  // to where it points.
  std::vector<std::u16string> refused;
  auto below = [&refused](const sChar *path) {
    for(const std::u16string &r : refused)
    {
      sInt n = sInt(r.size());
      if(sCompareStringN(path, r.c_str(), n) == 0 && (path[n] == 0 || path[n] == '/')) return true;
    }
    return false;
  };
  sInt ok = 1;
  if(!MakeTargetFolder(destination))
  {
    sLogF(u"file", u"copy refused: <%s> is no folder to copy into\n", destination);
    return 0;
  }
  for(const TreeRecord &r : records)
    if(sIsRealFolder(r.Flags) && !below(r.Dest.Get()) && !MakeTargetFolder(r.Dest.Get()))
    {
      sLogF(u"file", u"copy refused: <%s> is no folder to copy into\n", r.Dest.Get());
      refused.push_back(r.Dest.Get());
      ok = 0;
    }
  // an existing name is never written over, as with a single file
  for(const TreeRecord &r : records)
  {
    if(r.Flags & (sDEF_DIR | sDEF_LINK)) continue;
    if(below(r.Dest.Get()) || ((r.Flags & sDEF_READONLY) && !copyReadOnly)) continue;
    if(!sCopyFile(r.Source.Get(), r.Dest.Get(), 1)) ok = 0;
  }
  return ok;
}

sInt DeleteDirectoryTree(const sChar *folder)
{
  std::vector<TreeRecord> records;
  ListTree(records, folder, nullptr);
  for(size_t i = records.size(); i-- > 0;)
  {
    if(sIsRealFolder(records[i].Flags))
      sDeleteDir(records[i].Source.Get());
    else
      sDeleteFile(records[i].Source.Get());   // a link is removed itself, never what it points at
  }
  return sDeleteDir(folder);
}

namespace
{
// Draws the quad (x0, y0) - (x1, y1) of the unit orthographic view at z 0.01, white, with
// the UV rectangle (left, top, right, bottom), through the material.
void DrawUnitQuad(sMaterial *mtrl, sF32 x0, sF32 y0, sF32 x1, sF32 y1, const sF32 *uv)
{
  sViewport view;
  view.Orthogonal = sVO_UNIT;
  view.SetTarget();
  view.Prepare(15);
  sCBuffer cb(sCBUFFER_VS + 0, 0, sVIEWCONSTANTS_REGS);
  sSetViewConstants(static_cast<sViewConstants *>(cb.Data), view);
  cb.Modify();
  sCBufferBase *cbs = &cb;
  mtrl->Set(&cbs, 1, 0);

  sGeometry geo(sGF_TRILIST | sGF_INDEX16, sVertexFormatPosColUV);
  void *vp = nullptr, *ip = nullptr;
  geo.BeginLoad(sVertexFormatPosColUV, sGF_TRILIST | sGF_INDEX16, sGD_STREAM, 4, 6, &vp, &ip);
  sPainterVertex *v = static_cast<sPainterVertex *>(vp);
  v[0].Init(x0, y0, 0.01f, 0xffffffff, uv[0], uv[1]);
  v[1].Init(x1, y0, 0.01f, 0xffffffff, uv[2], uv[1]);
  v[2].Init(x0, y1, 0.01f, 0xffffffff, uv[0], uv[3]);
  v[3].Init(x1, y1, 0.01f, 0xffffffff, uv[2], uv[3]);
  static const sU16 quad[6] = {0, 1, 2, 3, 2, 1};
  sU16 *idx = static_cast<sU16 *>(ip);
  for(sInt i = 0; i < 6; i++) idx[i] = quad[i];
  geo.EndLoad();
  geo.Draw();
}

void BindScreenAgain(sInt screen)
{
  sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, sGetScreenColorBuffer(screen), sGetScreenDepthBuffer()));
}
}

void DrawTextureToTarget(sTexture2D *texture, sTexture2D *target, sInt screen)
{
  sSimpleMaterial *mtrl = sNEW sSimpleMaterial;
  mtrl->Texture[0] = texture;
  // no depth test, culling or wrap: with them the screen's depth would cut the copy and its edges take the far side
  mtrl->S.TextureFlags[0] = sMTF_CLAMP << sMTF_U_SHIFT | sMTF_CLAMP << sMTF_V_SHIFT;
  mtrl->S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
  mtrl->Prepare(sVertexFormatPosColUV);
  sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, target, sGetScreenDepthBuffer()));
  static const sF32 whole[4] = {0, 0, 1, 1};
  DrawUnitQuad(mtrl, 0, 0, 1, 1, whole);
  BindScreenAgain(screen);
  sDELETE(mtrl);
}

sTexture2D *CreateMovieTarget(sMoviePlayer *player)
{
  sVERIFYAS(player, u"mp");
  sMovieInfo info;
  player->GetInfo(info);
  if(info.Width == 0 && info.Height == 0)
  {
    // the player learns its size at the first frame it is asked for after the open, and
    // callers ask for frames only once they have a target: ask here, so it comes at all
    sF32 uv[4];
    player->GetFrame(uv);
    player->GetInfo(info);
  }
  if(info.Width < 1 || info.Height < 1) return nullptr;
  sTexture2D *tex = sNEW sTexture2D(info.Width, info.Height, 0x201201, 0);
  sVERIFYAS(tex, u"tex");
  return tex;
}

void RenderMovieFrame(sMoviePlayer *player, sTexture2D *target, sF32 *aspect, sInt screen)
{
  sVERIFYAS(player, u"mp");
  sVERIFYAS(target, u"tex");
  sMovieInfo info;
  player->GetInfo(info);
  sF32 uv[4];
  sMaterial *mtrl = player->GetFrame(uv);
  if(mtrl && info.Width > 0 && info.Height > 0)
  {
    sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, target, nullptr));
    // half a texel to the upper left, so that movie texels land on target pixels
    const sF32 ex = 0.5f / sF32(info.Width), ey = 0.5f / sF32(info.Height);
    DrawUnitQuad(mtrl, -ex, -ey, 1 - ex, 1 - ey, uv);
    BindScreenAgain(screen);
  }
  if(aspect) *aspect = info.Aspect;
}

void CopyScreenToTexture(sTexture2D *texture, sInt screen)
{
  sCopyTexture(sCopyTextureSpec(1, texture, sGetScreenColorBuffer(screen)));
}
