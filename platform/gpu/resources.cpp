// Resources of the device: surfaces, textures, buffers, shaders and queries.

#include "platform/gpu/internal.hpp"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

namespace plat::gpu
{
uint32_t Unknown::Release()
{
  uint32_t left = --Refs;
  if (left == 0)
    delete this;
  return left;
}

Resource::Resource(Device *dev, bool defaultPool) : Dev(dev), DefaultPool(defaultPool)
{
  Dev->I->Live.insert(this);
  if (DefaultPool)
    Dev->I->DefaultCount++;
}

Resource::~Resource()
{
  if (Dev)
  {
    Dev->I->Live.erase(this);
    if (DefaultPool)
      Dev->I->DefaultCount--;
  }
}

// ---------------------------------------------------------------------------------------
// Surfaces

Surface::Surface(Device *dev, SurfaceImpl *impl, bool defaultPool) : Resource(dev, defaultPool), I(impl) {}

Surface::~Surface()
{
  FreeGL();
  if (I->Parent)
    I->Parent->Release();
  delete I;
}

void Surface::FreeGL()
{
  if (!I->OwnsGL || !Dev)
    return;
  MakeCurrent(Dev);
  if (I->Tex)
    glDeleteTextures(1, &I->Tex);
  if (I->Renderbuffer)
    glDeleteRenderbuffers(1, &I->Renderbuffer);
  I->Tex = 0;
  I->Renderbuffer = 0;
}

Result Surface::GetDesc(SurfaceDesc &desc) const
{
  desc.Fmt = I->Fmt;
  desc.Type = RTYPE_SURFACE;
  desc.Usage = I->Usage;
  desc.Pl = I->Pl;
  desc.MultiSample = I->MultiSample;
  desc.MultiSampleQuality = I->Quality;
  desc.Width = I->Width;
  desc.Height = I->Height;
  return RES_OK;
}

Result Surface::LockRect(LockedRect &locked, const Rect *rect, uint32_t flags)
{
  if (!Dev)
    return ERR_INVALIDCALL;
  if (I->Kind == SurfaceKind::TextureLevel)
    return I->Parent->LockFace(I->Face, uint32_t(I->Level), locked, rect, flags);
  if (I->Kind != SurfaceKind::SystemMemory || I->Locked)
    return ERR_INVALIDCALL;
  int pitch = FormatPitch(I->Fmt, int(I->Width));
  size_t offset = 0;
  if (rect)
  {
    if (rect->Left < 0 || rect->Top < 0 || rect->Right > int(I->Width) || rect->Bottom > int(I->Height) ||
        rect->Left >= rect->Right || rect->Top >= rect->Bottom)
      return ERR_INVALIDCALL;
    int bpp = FormatBytesPerPixel(I->Fmt);
    if (bpp == 0)  // block format: whole blocks only
    {
      if ((rect->Left | rect->Top) & 3)
        return ERR_INVALIDCALL;
      offset = size_t(rect->Top / 4) * pitch + size_t(rect->Left / 4) * FormatBlockBytes(I->Fmt);
    }
    else
      offset = size_t(rect->Top) * pitch + size_t(rect->Left) * bpp;
  }
  I->Locked = true;
  locked.Pitch = pitch;
  locked.Bits = I->Cpu.data() + offset;
  (void)flags;
  return RES_OK;
}

Result Surface::UnlockRect()
{
  if (!Dev)
    return ERR_INVALIDCALL;
  if (I->Kind == SurfaceKind::TextureLevel)
    return I->Parent->UnlockFace(I->Face, uint32_t(I->Level));
  if (!I->Locked)
    return ERR_INVALIDCALL;
  I->Locked = false;
  return RES_OK;
}

// ---------------------------------------------------------------------------------------
// Textures

BaseTexture::BaseTexture(Device *dev, TextureImpl *impl, bool defaultPool) : Resource(dev, defaultPool), I(impl) {}

BaseTexture::~BaseTexture()
{
  FreeGL();
  delete I;
}

void BaseTexture::FreeGL()
{
  if (!Dev || !I->Name)
    return;
  MakeCurrent(Dev);
  for (int u = 0; u < SAMPLER_UNITS; u++)
    if (Dev->I->BoundTex[u] == I->Name)
      UnitTouched(Dev->I, u);
  glDeleteTextures(1, &I->Name);
  I->Name = 0;
}

ResourceType BaseTexture::GetType() const { return I->Type; }
uint32_t BaseTexture::GetLevelCount() const { return I->Levels; }

Result BaseTexture::GetLevelDesc(uint32_t level, SurfaceDesc &desc) const
{
  if (level >= I->Levels)
    return ERR_INVALIDCALL;
  desc.Fmt = I->Fmt;
  desc.Type = RTYPE_SURFACE;
  desc.Usage = I->Usage;
  desc.Pl = I->Pl;
  desc.MultiSample = MULTISAMPLE_NONE;
  desc.MultiSampleQuality = 0;
  desc.Width = I->LevelWidth(level);
  desc.Height = I->LevelHeight(level);
  return RES_OK;
}

void BaseTexture::GenerateMipSubLevels()
{
  if (!Dev || !I->Name || !(I->Usage & USAGE_AUTOGENMIPMAP))
    return;
  MakeCurrent(Dev);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(I->Target, I->Name);
  MakeMips(Dev->I, I);
  UnitTouched(Dev->I, 0);
}

Result BaseTexture::SetAutoGenFilterType(uint32_t filter)
{
  if (filter != TEXF_POINT && filter != TEXF_LINEAR && filter != TEXF_ANISOTROPIC)
    return ERR_INVALIDCALL;
  I->PointMips = filter == TEXF_POINT;
  if (I->Usage & USAGE_AUTOGENMIPMAP)
    I->MipsDirty = true;
  return RES_OK;
}

uint32_t BaseTexture::GetAutoGenFilterType() const { return I->PointMips ? TEXF_POINT : TEXF_LINEAR; }

Result BaseTexture::GetFaceSurface(uint32_t face, uint32_t level, Surface **out)
{
  *out = nullptr;
  if (!Dev || level >= I->Levels || (I->Type == RTYPE_TEXTURE ? face != 0 : face > 5))
    return ERR_INVALIDCALL;
  auto *s = new SurfaceImpl;
  s->Kind = SurfaceKind::TextureLevel;
  s->Fmt = I->Fmt;
  s->Info = I->Info;
  s->Width = I->LevelWidth(level);
  s->Height = I->LevelHeight(level);
  s->Usage = I->Usage;
  s->Pl = I->Pl;
  s->Tex = I->Name;
  s->TexTarget = I->Type == RTYPE_CUBETEXTURE ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
  s->Level = GLint(level);
  s->Face = face;
  s->OwnsGL = false;
  s->Parent = this;
  AddRef();
  *out = new Surface(Dev, s, false);
  return RES_OK;
}

namespace
{
// Binds the texture on unit 0 for a copy of one level of a face between the driver and
// memory, rows packed tight (pack: from the driver into memory, else the other way); the
// face's target.
GLenum BindForCopy(DeviceImpl *dev, const TextureImpl *t, uint32_t face, bool pack)
{
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(t->Target, t->Name);
  UnitTouched(dev, 0);
  glPixelStorei(pack ? GL_PACK_ALIGNMENT : GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(pack ? GL_PACK_ROW_LENGTH : GL_UNPACK_ROW_LENGTH, 0);
  return t->Type == RTYPE_CUBETEXTURE ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
}
}

Result BaseTexture::LockFace(uint32_t face, uint32_t level, LockedRect &locked, const Rect *rect, uint32_t flags)
{
  if (!Dev || level >= I->Levels || I->LockedLevel >= 0)
    return ERR_INVALIDCALL;
  if (I->Usage & (USAGE_RENDERTARGET | USAGE_DEPTHSTENCIL))
    return ERR_INVALIDCALL;
  uint32_t faces = I->Type == RTYPE_CUBETEXTURE ? 6 : 1;
  if (face >= faces)
    return ERR_INVALIDCALL;
  int w = int(I->LevelWidth(level)), h = int(I->LevelHeight(level));
  int pitch = FormatPitch(I->Fmt, w);
  Rect r = {0, 0, w, h};
  if (rect)
  {
    r = *rect;
    if (r.Left < 0 || r.Top < 0 || r.Right > w || r.Bottom > h || r.Left >= r.Right || r.Top >= r.Bottom)
      return ERR_INVALIDCALL;
    if (I->Info->BlockBytes && ((r.Left | r.Top) & 3))
      return ERR_INVALIDCALL;
  }
  if (I->Shadow.empty())
  {
    I->Shadow.resize(size_t(faces) * I->Levels);
    I->ShadowDropped.assign(size_t(faces) * I->Levels, false);
  }
  const size_t slot = size_t(face) * I->Levels + level;
  std::vector<uint8_t> &shadow = I->Shadow[slot];
  shadow.resize(size_t(pitch) * FormatRows(I->Fmt, h));
  if (I->ShadowDropped[slot])
  {
    // locked again after its copy went: the level comes back from the driver as uploaded
    MakeCurrent(Dev);
    const GLenum target = BindForCopy(Dev->I, I, face, true);
    if (I->Info->BlockBytes)
      glGetCompressedTexImage(target, GLint(level), shadow.data());
    else
      glGetTexImage(target, GLint(level), I->Info->PixFormat, I->Info->PixType, shadow.data());
    I->ShadowDropped[slot] = false;
    I->KeepShadow = true;
  }
  size_t offset = I->Info->BlockBytes
                    ? size_t(r.Top / 4) * pitch + size_t(r.Left / 4) * I->Info->BlockBytes
                    : size_t(r.Top) * pitch + size_t(r.Left) * I->Info->Bytes;
  I->LockedFace = int(face);
  I->LockedLevel = int(level);
  I->LockedRect = r;
  I->LockFlags = flags;
  locked.Pitch = pitch;
  locked.Bits = shadow.data() + offset;
  return RES_OK;
}

Result BaseTexture::UnlockFace(uint32_t face, uint32_t level)
{
  if (!Dev || I->LockedLevel != int(level) || I->LockedFace != int(face))
    return ERR_INVALIDCALL;
  I->LockedLevel = -1;
  I->LockedFace = -1;
  if (I->LockFlags & LOCK_READONLY)
    return RES_OK;
  MakeCurrent(Dev);
  const std::vector<uint8_t> &shadow = I->Shadow[face * I->Levels + level];
  int w = int(I->LevelWidth(level)), h = int(I->LevelHeight(level));
  const GLenum target = BindForCopy(Dev->I, I, face, false);
  const FormatInfo *fi = I->Info;
  if (fi->BlockBytes && !I->Decoded)
    glCompressedTexSubImage2D(target, GLint(level), 0, 0, w, h, I->Internal, GLsizei(shadow.size()), shadow.data());
  else if (fi->BlockBytes)
  {
    std::vector<uint32_t> argb(size_t(w) * h);
    DecodeBlocks(I->Fmt, shadow.data(), w, h, argb.data());
    glTexSubImage2D(target, GLint(level), 0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, argb.data());
  }
  else if (fi->Expand)
  {
    std::vector<uint8_t> rg;
    ExpandA4L4(shadow.data(), w, h, FormatPitch(I->Fmt, w), rg);
    glTexSubImage2D(target, GLint(level), 0, 0, w, h, fi->PixFormat, fi->PixType, rg.data());
  }
  else
    glTexSubImage2D(target, GLint(level), 0, 0, w, h, fi->PixFormat, fi->PixType, shadow.data());
  if (level == 0 && (I->Usage & USAGE_AUTOGENMIPMAP))
    I->MipsDirty = true;
  if (glGetError() == GL_OUT_OF_MEMORY)
    return ERR_OUTOFVIDEOMEMORY;
  // the driver holds the level now; a copy the driver's cannot replace stays
  if (!I->KeepShadow && !fi->Expand && !(fi->BlockBytes && I->Decoded))
  {
    std::vector<uint8_t>().swap(I->Shadow[face * I->Levels + level]);
    I->ShadowDropped[face * I->Levels + level] = true;
  }
  return RES_OK;
}

// ---------------------------------------------------------------------------------------
// Buffers

Buffer::Buffer(Device *dev, bool index, uint32_t size, uint32_t usage, Format fmt, Pool pool)
    : Resource(dev, pool == POOL_DEFAULT), Index(index), Usage(usage), Fmt(fmt), Size(size)
{
  MakeCurrent(dev);
  glGenBuffers(1, &Name);
  glBindBuffer(GL_COPY_WRITE_BUFFER, Name);
  glBufferData(GL_COPY_WRITE_BUFFER, size, nullptr, (usage & USAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW);
}

Buffer::~Buffer() { FreeGL(); }

void Buffer::FreeGL()
{
  if (!Dev || !Name)
    return;
  MakeCurrent(Dev);
  // the name may come back for another buffer: the draw path must not take it as bound
  if (Dev->I->BoundIndices == Name)
    Dev->I->BoundIndices = 0;
  Dev->I->InputsDirty = true;
  glDeleteBuffers(1, &Name);  // unmaps a locked buffer too
  Name = 0;
}

Result Buffer::Lock(uint32_t offset, uint32_t size, void **data, uint32_t flags)
{
  *data = nullptr;
  if (!Dev || Locked || offset > Size)
    return ERR_INVALIDCALL;
  if (size == 0)
    size = Size - offset;
  if (size > Size - offset || size == 0)
    return ERR_INVALIDCALL;
  MakeCurrent(Dev);
  GLbitfield access;
  if (flags & LOCK_READONLY)
    access = GL_MAP_READ_BIT;
  else if (flags & LOCK_DISCARD)
    access = GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT;
  else if (flags & LOCK_NOOVERWRITE)
    access = GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT;
  else
    access = GL_MAP_WRITE_BIT | GL_MAP_READ_BIT;
  glBindBuffer(GL_COPY_WRITE_BUFFER, Name);
  void *p = glMapBufferRange(GL_COPY_WRITE_BUFFER, offset, size, access);
  if (!p)
    return glGetError() == GL_OUT_OF_MEMORY ? ERR_OUTOFVIDEOMEMORY : ERR_INVALIDCALL;
  Locked = true;
  *data = p;
  return RES_OK;
}

Result Buffer::Unlock()
{
  if (!Dev || !Locked)
    return ERR_INVALIDCALL;
  MakeCurrent(Dev);
  Locked = false;
  glBindBuffer(GL_COPY_WRITE_BUFFER, Name);
  // a store the system took away while mapped has lost its content
  return glUnmapBuffer(GL_COPY_WRITE_BUFFER) ? RES_OK : ERR_DRIVERINTERNALERROR;
}

// ---------------------------------------------------------------------------------------
// Shaders

Shader::Shader(Device *dev, ShaderImpl *impl) : Resource(dev, false), I(impl) {}

Shader::~Shader()
{
  FreeGL();
  delete I;
}

void Shader::FreeGL()
{
  if (!Dev)
    return;
  MakeCurrent(Dev);
  DeviceImpl *d = Dev->I;
  d->Current = nullptr;
  for (auto it = d->Programs.begin(); it != d->Programs.end();)
  {
    if (it->first.Vertex == I->Id || it->first.Pixel == I->Id)
    {
      if (it->second.Name == d->UsedProgram)
        d->UsedProgram = 0;
      if (it->second.Name)
        glDeleteProgram(it->second.Name);
      it = d->Programs.erase(it);
    }
    else
      ++it;
  }
  for (GLuint &object : I->PixelObject)
  {
    if (object)
      glDeleteShader(object);
    object = 0;
  }
}

bool Shader::IsPixel() const { return I->Pixel; }
const std::vector<uint32_t> &Shader::Tokens() const { return I->Tokens; }

// ---------------------------------------------------------------------------------------
// Queries

Query::Query(Device *dev, QueryType type) : Resource(dev, false), Type(type)
{
  MakeCurrent(dev);
  if (type == QUERY_OCCLUSION)
    glGenQueries(1, &Name);
}

Query::~Query() { FreeGL(); }

void Query::FreeGL()
{
  if (!Dev)
    return;
  MakeCurrent(Dev);
  if (Name)
    glDeleteQueries(1, &Name);
  if (Sync)
    glDeleteSync(GLsync(Sync));
  Name = 0;
  Sync = nullptr;
}

Result Query::Issue(uint32_t flags)
{
  if (!Dev)
    return ERR_INVALIDCALL;
  MakeCurrent(Dev);
  if (Type == QUERY_EVENT)
  {
    if (!(flags & ISSUE_END))
      return ERR_INVALIDCALL;
    if (Sync)
      glDeleteSync(GLsync(Sync));
    Sync = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    Issued = true;
    return RES_OK;
  }
  if (flags & ISSUE_BEGIN)
  {
    glBeginQuery(GL_SAMPLES_PASSED, Name);
    Issued = false;
  }
  else if (flags & ISSUE_END)
  {
    glEndQuery(GL_SAMPLES_PASSED);
    Issued = true;
  }
  else
    return ERR_INVALIDCALL;
  return RES_OK;
}

Result Query::GetData(void *data, uint32_t size, uint32_t flags)
{
  if (!Dev || !Issued)
    return ERR_INVALIDCALL;
  MakeCurrent(Dev);
  if (Type == QUERY_EVENT)
  {
    GLenum r = glClientWaitSync(GLsync(Sync), (flags & GETDATA_FLUSH) ? GL_SYNC_FLUSH_COMMANDS_BIT : 0, 0);
    if (r != GL_ALREADY_SIGNALED && r != GL_CONDITION_SATISFIED)
      return RES_FALSE;
    if (data && size >= 4)
    {
      int32_t yes = 1;
      std::memcpy(data, &yes, 4);
    }
    return RES_OK;
  }
  if (flags & GETDATA_FLUSH)
    glFlush();
  GLuint available = 0;
  glGetQueryObjectuiv(Name, GL_QUERY_RESULT_AVAILABLE, &available);
  if (!available)
    return RES_FALSE;
  GLuint samples = 0;
  glGetQueryObjectuiv(Name, GL_QUERY_RESULT, &samples);
  if (data && size >= 4)
    std::memcpy(data, &samples, 4);
  return RES_OK;
}

// ---------------------------------------------------------------------------------------
// Swap chain

Result SwapChain::GetBackBuffer(uint32_t index, Surface **out) { return Dev->GetBackBuffer(Screen, index, out); }
Result SwapChain::Present() { return Dev->Present(); }
}
