// Shaders, constants, vertex streams and draws.

#include "platform/gpu/internal.hpp"

#include <algorithm>
#include <cstring>

namespace plat::gpu
{
bool BindTargets(Device *dev);
void ApplyStates(Device *dev);
void ApplyTextures(Device *dev);

namespace
{
GLuint Compile(GLenum stage, const std::string &source, std::string &error)
{
  GLuint s = glCreateShader(stage);
  const char *text = source.c_str();
  glShaderSource(s, 1, &text, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok)
  {
    char log[2048] = {};
    glGetShaderInfoLog(s, sizeof(log) - 1, nullptr, log);
    error = std::string(stage == GL_VERTEX_SHADER ? "vertex" : "pixel") + " shader does not compile: " + log;
    glDeleteShader(s);
    return 0;
  }
  return s;
}

Result CreateShader(Device *dev, bool pixel, const uint32_t *tokens, size_t count, Shader **out)
{
  *out = nullptr;
  DeviceImpl *d = dev->Impl();
  d->ShaderError.clear();
  if (!tokens || count < 2)
  {
    d->ShaderError = "shader token stream is empty";
    return ERR_INVALIDCALL;
  }
  uint32_t kind = tokens[0] & 0xFFFF0000u;
  if (kind != (pixel ? 0xFFFF0000u : 0xFFFE0000u))
  {
    d->ShaderError = pixel ? "not a pixel shader" : "not a vertex shader";
    return ERR_INVALIDCALL;
  }
  auto *impl = new ShaderImpl;
  impl->Pixel = pixel;
  impl->Tokens.assign(tokens, tokens + count);
  std::string error;
  if (!plat::shader::Parse(tokens, count, impl->Info, error))
  {
    d->ShaderError = error;
    delete impl;
    return ERR_INVALIDCALL;
  }
  impl->Id = d->NextShaderId++;
  if (pixel)
  {
    // the pixel stage does not depend on its partner: compile it now to report faults early
    // (the variant without the alpha test, which most draws use)
    MakeCurrent(dev);
    std::string source = plat::shader::Translate(tokens, count, impl->Info, nullptr, false);
    impl->PixelObject[0] = source.empty() ? 0 : Compile(GL_FRAGMENT_SHADER, source, d->ShaderError);
    if (!impl->PixelObject[0])
    {
      if (d->ShaderError.empty())
        d->ShaderError = "pixel shader does not translate";
      delete impl;
      return ERR_INVALIDCALL;
    }
  }
  *out = new Shader(dev, impl);
  return RES_OK;
}

Program *GetProgram(Device *dev, bool alphaTest)
{
  DeviceImpl *d = dev->Impl();
  ShaderImpl *vs = d->VS->Impl(), *ps = d->PS->Impl();
  ProgramKey key{vs->Id, ps->Id, alphaTest};
  auto found = d->Programs.find(key);
  if (found != d->Programs.end())
    return found->second.Name ? &found->second : nullptr;
  Program &p = d->Programs[key];  // a failed link is remembered as 0
  GLuint &pixel = ps->PixelObject[alphaTest ? 1 : 0];
  if (!pixel)
  {
    std::string text = plat::shader::Translate(ps->Tokens.data(), ps->Tokens.size(), ps->Info, nullptr, alphaTest);
    pixel = text.empty() ? 0 : Compile(GL_FRAGMENT_SHADER, text, d->ShaderError);
    if (!pixel)
    {
      if (text.empty())
        d->ShaderError = "pixel shader does not translate";
      return nullptr;
    }
  }
  std::vector<plat::shader::Semantic> paired;
  for (const plat::shader::InputReg &in : ps->Info.Inputs)
    paired.push_back(in.Sem);
  std::string source = plat::shader::Translate(vs->Tokens.data(), vs->Tokens.size(), vs->Info, &paired);
  if (source.empty())
  {
    d->ShaderError = "vertex shader does not translate";
    return nullptr;
  }
  GLuint v = Compile(GL_VERTEX_SHADER, source, d->ShaderError);
  if (!v)
    return nullptr;
  GLuint prog = glCreateProgram();
  glAttachShader(prog, v);
  glAttachShader(prog, pixel);
  glLinkProgram(prog);
  glDetachShader(prog, v);
  glDetachShader(prog, pixel);
  glDeleteShader(v);
  GLint ok = 0;
  glGetProgramiv(prog, GL_LINK_STATUS, &ok);
  if (!ok)
  {
    char log[2048] = {};
    glGetProgramInfoLog(prog, sizeof(log) - 1, nullptr, log);
    d->ShaderError = std::string("shaders do not link: ") + log;
    glDeleteProgram(prog);
    return nullptr;
  }
  GLuint block = glGetUniformBlockIndex(prog, "VSConstants");
  if (block != GL_INVALID_INDEX)
    glUniformBlockBinding(prog, block, 0);
  block = glGetUniformBlockIndex(prog, "PSConstants");
  if (block != GL_INVALID_INDEX)
    glUniformBlockBinding(prog, block, 1);
  glUseProgram(prog);
  d->UsedProgram = prog;
  char name[16];
  for (int n = 0; n < 16; n++)
  {
    std::snprintf(name, sizeof(name), "ps_s%d", n);
    GLint loc = glGetUniformLocation(prog, name);
    if (loc >= 0)
      glUniform1i(loc, n);
    std::snprintf(name, sizeof(name), "vs_s%d", n);
    loc = glGetUniformLocation(prog, name);
    if (loc >= 0 && n < VERTEX_SAMPLERS)
      glUniform1i(loc, PIXEL_SAMPLERS + n);
  }
  p.Name = prog;
  p.Fixup = glGetUniformLocation(prog, "gpu_PosFixup");
  p.AlphaFunc = glGetUniformLocation(prog, "gpu_AlphaFunc");
  p.AlphaRef = glGetUniformLocation(prog, "gpu_AlphaRef");
  p.Inputs = vs->Info.Inputs;
  return &p;
}

struct AttribFormat { GLint Size; GLenum Type; GLboolean Normalized; };
AttribFormat FormatOf(uint8_t type)
{
  switch (type)
  {
  case DECLTYPE_FLOAT1: return {1, GL_FLOAT, GL_FALSE};
  case DECLTYPE_FLOAT2: return {2, GL_FLOAT, GL_FALSE};
  case DECLTYPE_FLOAT3: return {3, GL_FLOAT, GL_FALSE};
  case DECLTYPE_FLOAT4: return {4, GL_FLOAT, GL_FALSE};
  case DECLTYPE_D3DCOLOR: return {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE};
  case DECLTYPE_UBYTE4: return {4, GL_UNSIGNED_BYTE, GL_FALSE};
  case DECLTYPE_SHORT2: return {2, GL_SHORT, GL_FALSE};
  case DECLTYPE_SHORT4: return {4, GL_SHORT, GL_FALSE};
  case DECLTYPE_UBYTE4N: return {4, GL_UNSIGNED_BYTE, GL_TRUE};
  case DECLTYPE_SHORT2N: return {2, GL_SHORT, GL_TRUE};
  case DECLTYPE_SHORT4N: return {4, GL_SHORT, GL_TRUE};
  case DECLTYPE_USHORT2N: return {2, GL_UNSIGNED_SHORT, GL_TRUE};
  case DECLTYPE_USHORT4N: return {4, GL_UNSIGNED_SHORT, GL_TRUE};
  case DECLTYPE_UDEC3: return {4, GL_UNSIGNED_INT_2_10_10_10_REV, GL_FALSE};
  case DECLTYPE_DEC3N: return {4, GL_INT_2_10_10_10_REV, GL_TRUE};
  case DECLTYPE_FLOAT16_2: return {2, GL_HALF_FLOAT, GL_FALSE};
  default: return {4, GL_HALF_FLOAT, GL_FALSE};
  }
}

uint32_t ElementSize(uint8_t type)
{
  static const uint8_t sizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
  return type < sizeof(sizes) ? sizes[type] : 0;
}

// GL_POINTS is 0, the same number as GL_NONE: an unknown primitive type is told apart by
// this value instead.
constexpr GLenum kNoPrimitive = ~GLenum(0);

GLenum PrimitiveMode(PrimitiveType type, uint32_t prims, uint32_t &vertices)
{
  switch (type)
  {
  case PT_POINTLIST: vertices = prims; return GL_POINTS;
  case PT_LINELIST: vertices = prims * 2; return GL_LINES;
  case PT_LINESTRIP: vertices = prims + 1; return GL_LINE_STRIP;
  case PT_TRIANGLELIST: vertices = prims * 3; return GL_TRIANGLES;
  case PT_TRIANGLESTRIP: vertices = prims + 2; return GL_TRIANGLE_STRIP;
  case PT_TRIANGLEFAN: vertices = prims + 2; return GL_TRIANGLE_FAN;
  default: vertices = 0; return kNoPrimitive;
  }
}

Result SetConstants(Device *dev, bool pixel, size_t offset, size_t stride, uint32_t limit, uint32_t start,
                    const void *data, uint32_t count, bool boolean)
{
  DeviceImpl *d = dev->Impl();
  if (!data || uint64_t(start) + count > limit)
    return ERR_INVALIDCALL;
  std::vector<uint8_t> &block = pixel ? d->PSBlock : d->VSBlock;
  for (uint32_t i = 0; i < count; i++)
  {
    uint8_t *reg = block.data() + offset + (start + i) * 16;
    if (boolean)
    {
      int32_t v = static_cast<const int32_t *>(data)[i] != 0;
      std::memcpy(reg, &v, 4);
    }
    else
      std::memcpy(reg, static_cast<const uint8_t *>(data) + i * stride, stride);
  }
  bool &dirty = pixel ? d->PSDirty : d->VSDirty;
  size_t lo = offset + start * 16, hi = offset + (start + count) * 16;
  int stage = pixel ? 1 : 0;
  if (!dirty)
  {
    d->DirtyLo[stage] = lo;
    d->DirtyHi[stage] = hi;
  }
  else
  {
    d->DirtyLo[stage] = std::min(d->DirtyLo[stage], lo);
    d->DirtyHi[stage] = std::max(d->DirtyHi[stage], hi);
  }
  dirty = true;
  return RES_OK;
}
}

Result Device::CreateVertexShader(const uint32_t *tokens, size_t count, VertexShader **out)
{
  return CreateShader(this, false, tokens, count, out);
}

Result Device::CreatePixelShader(const uint32_t *tokens, size_t count, PixelShader **out)
{
  return CreateShader(this, true, tokens, count, out);
}

Result Device::SetVertexShader(VertexShader *vs)
{
  if (vs && (vs->GetDevice() != this || vs->IsPixel()))
    return ERR_INVALIDCALL;
  if (I->VS != vs)
    I->Current = nullptr;
  Rebind(I->VS, vs);
  return RES_OK;
}

Result Device::SetPixelShader(PixelShader *ps)
{
  if (ps && (ps->GetDevice() != this || !ps->IsPixel()))
    return ERR_INVALIDCALL;
  if (I->PS != ps)
    I->Current = nullptr;
  Rebind(I->PS, ps);
  return RES_OK;
}

Result Device::SetVertexShaderConstantF(uint32_t start, const float *data, uint32_t count)
{
  return SetConstants(this, false, 0, 16, VS_FLOATS, start, data, count, false);
}
Result Device::SetVertexShaderConstantI(uint32_t start, const int32_t *data, uint32_t count)
{
  return SetConstants(this, false, VS_FLOATS * 16, 16, 16, start, data, count, false);
}
Result Device::SetVertexShaderConstantB(uint32_t start, const int32_t *data, uint32_t count)
{
  return SetConstants(this, false, VS_FLOATS * 16 + 256, 4, 16, start, data, count, true);
}
Result Device::SetPixelShaderConstantF(uint32_t start, const float *data, uint32_t count)
{
  return SetConstants(this, true, 0, 16, PS_FLOATS, start, data, count, false);
}
Result Device::SetPixelShaderConstantI(uint32_t start, const int32_t *data, uint32_t count)
{
  return SetConstants(this, true, PS_FLOATS * 16, 16, 16, start, data, count, false);
}
Result Device::SetPixelShaderConstantB(uint32_t start, const int32_t *data, uint32_t count)
{
  return SetConstants(this, true, PS_FLOATS * 16 + 256, 4, 16, start, data, count, true);
}

Result Device::GetVertexShaderConstantF(uint32_t start, float *data, uint32_t count) const
{
  if (uint64_t(start) + count > VS_FLOATS)
    return ERR_INVALIDCALL;
  std::memcpy(data, I->VSBlock.data() + start * 16, count * 16);
  return RES_OK;
}

Result Device::GetPixelShaderConstantF(uint32_t start, float *data, uint32_t count) const
{
  if (uint64_t(start) + count > PS_FLOATS)
    return ERR_INVALIDCALL;
  std::memcpy(data, I->PSBlock.data() + start * 16, count * 16);
  return RES_OK;
}

Result Device::SetVertexDeclaration(VertexDeclaration *decl)
{
  if (decl && decl->GetDevice() != this)
    return ERR_INVALIDCALL;
  if (I->Decl != decl)
    I->InputsDirty = true;
  Rebind(I->Decl, decl);
  return RES_OK;
}

Result Device::SetStreamSource(uint32_t stream, VertexBuffer *vb, uint32_t offset, uint32_t stride)
{
  if (stream >= MAX_STREAMS || (vb && (vb->GetDevice() != this || vb->Index)))
    return ERR_INVALIDCALL;
  if (I->Streams[stream] != vb || I->StreamOffset[stream] != offset || I->StreamStride[stream] != stride)
    I->InputsDirty = true;
  Rebind(I->Streams[stream], vb);
  I->StreamOffset[stream] = offset;
  I->StreamStride[stream] = stride;
  return RES_OK;
}

Result Device::SetStreamSourceFreq(uint32_t stream, uint32_t setting)
{
  if (stream >= MAX_STREAMS)
    return ERR_INVALIDCALL;
  if ((setting & STREAMSOURCE_INDEXEDDATA) && (setting & STREAMSOURCE_INSTANCEDATA))
    return ERR_INVALIDCALL;
  if ((setting & STREAMSOURCE_INSTANCEDATA) && stream == 0)
    return ERR_INVALIDCALL;
  if (I->StreamFreq[stream] != setting)
    I->InputsDirty = true;
  I->StreamFreq[stream] = setting;
  return RES_OK;
}

Result Device::SetIndices(IndexBuffer *ib)
{
  if (ib && (ib->GetDevice() != this || !ib->Index))
    return ERR_INVALIDCALL;
  Rebind(I->Indices, ib);
  return RES_OK;
}

// Points the vertex inputs of program p at the bound streams. Only needed when the
// declaration, the streams or the vertex shader changed: the vertex array keeps it.
static void SetupInputs(DeviceImpl *d, const Program *p, bool instanced)
{
  uint32_t enabled = 0;
  d->AttribCount = 0;
  for (const plat::shader::InputReg &in : p->Inputs)
  {
    if (in.Reg < 0 || in.Reg >= 16)
      continue;
    GLuint loc = GLuint(in.Reg);
    const VertexElement *found = nullptr;
    for (const VertexElement &e : d->Decl->Elements())
      if (e.Usage == in.Sem.Usage && e.UsageIndex == in.Sem.UsageIndex)
        found = &e;
    Buffer *vb = found ? d->Streams[found->Stream] : nullptr;
    if (!vb)
    {
      glDisableVertexAttribArray(loc);
      glVertexAttrib4f(loc, 0.0f, 0.0f, 0.0f, 1.0f);
      continue;
    }
    AttribFormat f = FormatOf(found->Type);
    uint32_t stride = d->StreamStride[found->Stream];
    uintptr_t offset = d->StreamOffset[found->Stream] + found->Offset;
    uint32_t freq = d->StreamFreq[found->Stream];
    bool perInstance = instanced && (freq & STREAMSOURCE_INSTANCEDATA);
    uint32_t divisor = perInstance ? std::max<uint32_t>(1, freq & 0x3FFFFFFFu) : 0;
    d->Attribs[d->AttribCount++] = {found->Stream, offset, stride, ElementSize(found->Type), divisor};
    glBindBuffer(GL_ARRAY_BUFFER, vb->GLName());
    glVertexAttribPointer(loc, f.Size, f.Type, f.Normalized, GLsizei(stride), reinterpret_cast<const void *>(offset));
    // stride 0 repeats one element for every vertex; GL would read it as tightly packed
    glVertexAttribDivisor(loc, stride == 0 ? 0x7FFFFFFF : divisor);
    glEnableVertexAttribArray(loc);
    enabled |= 1u << loc;
  }
  for (GLuint loc = 0; loc < 16; loc++)
    if ((d->EnabledAttribs & (1u << loc)) && !(enabled & (1u << loc)))
    {
      glDisableVertexAttribArray(loc);
      glVertexAttribDivisor(loc, 0);
    }
  d->EnabledAttribs = enabled;
  d->Instanced = instanced;
  d->InputsShader = d->VS->Impl()->Id;
  d->InputsDirty = false;
}

// Everything a draw needs; false when the device state cannot draw. Only what changed since
// the last draw goes to GL: a scene draws thousands of forms a frame.
static Result PrepareDraw(Device *dev, uint32_t firstVertex, uint32_t vertexCount, uint32_t &instances)
{
  DeviceImpl *d = dev->Impl();
  if (!d->VS || !d->PS || !d->Decl)
    return ERR_INVALIDCALL;
  MakeCurrent(dev);
  // the alpha test is compiled into a program only while it can refuse a pixel
  const uint32_t *rs = d->RS;
  bool alphaTest = rs[RS_ALPHATESTENABLE] && rs[RS_ALPHAFUNC] >= CMP_NEVER && rs[RS_ALPHAFUNC] < CMP_ALWAYS;
  if (!d->Current || d->CurrentAlphaTest != alphaTest)
  {
    d->Current = GetProgram(dev, alphaTest);
    d->CurrentAlphaTest = alphaTest;
    if (!d->Current)
      return ERR_INVALIDCALL;
  }
  Program *p = d->Current;
  if (!BindTargets(dev))
    return ERR_INVALIDCALL;
  if (d->UsedProgram != p->Name)
  {
    glUseProgram(p->Name);
    d->UsedProgram = p->Name;
  }
  if (d->StatesDirty)
    ApplyStates(dev);
  if (d->SamplerDirty | d->TextureDirty | d->AutoMipUnits)
    ApplyTextures(dev);
  // only the registers written since the last draw go to the device
  for (int stage = 0; stage < 2; stage++)
  {
    bool &dirty = stage ? d->PSDirty : d->VSDirty;
    if (!dirty)
      continue;
    const std::vector<uint8_t> &block = stage ? d->PSBlock : d->VSBlock;
    if (d->BoundUBO != d->UBO[stage])
    {
      glBindBuffer(GL_UNIFORM_BUFFER, d->UBO[stage]);
      d->BoundUBO = d->UBO[stage];
    }
    glBufferSubData(GL_UNIFORM_BUFFER, GLintptr(d->DirtyLo[stage]), GLsizeiptr(d->DirtyHi[stage] - d->DirtyLo[stage]),
                    block.data() + d->DirtyLo[stage]);
    dirty = false;
  }
  // Direct3D samples a pixel at its integer corner, GL at its centre: geometry moves half a
  // pixel right and down on the stored picture so that the same pixels are covered. y is
  // flipped (row 0 at the top), so the y shift is added before the flip with a negative sign.
  if (p->Fixup >= 0 && (p->FixupWidth != d->VP.Width || p->FixupHeight != d->VP.Height))
  {
    glUniform4f(p->Fixup, 0.0f, -1.0f, 1.0f / float(d->VP.Width), -1.0f / float(d->VP.Height));
    p->FixupWidth = d->VP.Width;
    p->FixupHeight = d->VP.Height;
  }
  if (alphaTest)
  {
    GLint func = GLint(rs[RS_ALPHAFUNC]);
    uint32_t ref = rs[RS_ALPHAREF] & 255;
    if (p->AlphaFunc >= 0 && p->SentFunc != func)
      glUniform1i(p->AlphaFunc, func);
    if (p->AlphaRef >= 0 && p->SentRef != ref)
      glUniform1f(p->AlphaRef, float(ref) / 255.0f);
    p->SentFunc = func;
    p->SentRef = ref;
  }
  // instancing: stream 0 counts the instances, instance streams step once per instance
  instances = 1;
  bool instanced = (d->StreamFreq[0] & STREAMSOURCE_INDEXEDDATA) != 0;
  if (instanced)
    instances = std::max<uint32_t>(1, d->StreamFreq[0] & 0x3FFFFFFFu);
  if (d->InputsDirty || d->InputsShader != d->VS->Impl()->Id || d->Instanced != instanced)
    SetupInputs(d, p, instanced);
  // every element the draw reads must lie inside its buffer, and no buffer may be locked:
  // the device cannot read a buffer the program is writing
  for (int i = 0; i < d->AttribCount; i++)
  {
    const AttribUse &a = d->Attribs[i];
    Buffer *vb = d->Streams[a.Stream];
    uint64_t last = a.Stride == 0 ? 0 : a.Divisor ? (instances - 1) / a.Divisor : uint64_t(firstVertex) + vertexCount - 1;
    if (vertexCount && a.Offset + last * a.Stride + a.Size > vb->GetSize())
      return ERR_INVALIDCALL;
    if (vb->IsLocked())
      return ERR_INVALIDCALL;
  }
  for (Surface *rt : d->RT)
    if (rt)
      Touch(rt->Impl());
  return RES_OK;
}

void CountQueued(DeviceImpl *d, uint64_t primitives)
{
  if (!d->QueueBound)
    return;
  d->Queued += primitives;
  if (d->Queued < d->QueueBound)
    return;
  d->Queued = 0;
  GLsync end = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  glFlush();
  if (d->QueueFence)
  {
    glClientWaitSync(d->QueueFence, 0, GL_TIMEOUT_IGNORED);
    glDeleteSync(d->QueueFence);
  }
  d->QueueFence = end;
}

Result Device::DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount)
{
  uint32_t vertices = 0;
  GLenum mode = PrimitiveMode(type, primitiveCount, vertices);
  if (mode == kNoPrimitive)
    return ERR_INVALIDCALL;
  if (I->Lost || primitiveCount == 0)
    return RES_OK;
  uint32_t instances = 1;
  Result r = PrepareDraw(this, startVertex, vertices, instances);
  if (Failed(r))
    return r;
  glDrawArraysInstanced(mode, GLint(startVertex), GLsizei(vertices), GLsizei(instances));
  CountQueued(I, uint64_t(primitiveCount) * instances);
  return RES_OK;
}

Result Device::DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minIndex, uint32_t numVertices,
                                    uint32_t startIndex, uint32_t primitiveCount)
{
  uint32_t indices = 0;
  GLenum mode = PrimitiveMode(type, primitiveCount, indices);
  if (mode == kNoPrimitive || !I->Indices)
    return ERR_INVALIDCALL;
  uint32_t size = I->Indices->Fmt == FMT_INDEX32 ? 4 : 2;
  if ((uint64_t(startIndex) + indices) * size > I->Indices->GetSize() || I->Indices->IsLocked())
    return ERR_INVALIDCALL;
  if (I->Lost || primitiveCount == 0)
    return RES_OK;
  // the vertices the indices may reach, as the caller states them
  if (int64_t(baseVertex) + minIndex < 0)
    return ERR_INVALIDCALL;
  uint32_t instances = 1;
  Result r = PrepareDraw(this, uint32_t(baseVertex + int32_t(minIndex)), numVertices, instances);
  if (Failed(r))
    return r;
  if (I->BoundIndices != I->Indices->GLName())
  {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, I->Indices->GLName());
    I->BoundIndices = I->Indices->GLName();
  }
  glDrawElementsInstancedBaseVertex(mode, GLsizei(indices), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                    reinterpret_cast<const void *>(uintptr_t(startIndex) * size), GLsizei(instances),
                                    baseVertex);
  CountQueued(I, uint64_t(primitiveCount) * instances);
  return RES_OK;
}
}
