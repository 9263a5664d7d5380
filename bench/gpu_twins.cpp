// The gpu device against raw OpenGL 3.3 doing the same work, in one process, in turns:
//   fill   full-screen textured passes at 1920 x 1080 into an off-screen target, additive
//   draws  small textured quads, each after a change of blend, pixel constant and texture
//   still  the same quads with nothing changed between them
// Both sides use the same vertex data, textures, targets and programs (the raw side's GLSL
// is what the device's translated programs compute, constants in a uniform block too).
// Every round runs both sides, the order swapping each round so that neither always goes
// first; the figures are medians over the rounds of the time per pass or draw and of the
// ratio device / raw. Two clocks: the processor time of the whole process (the software
// rasteriser's threads included), which other programs on a shared machine disturb little,
// and the wall clock. The software rasteriser's own threads make the small draws vary from
// one process to the next (by where each side's memory and threads land); LP_NUM_THREADS=0
// keeps it on the calling thread and the figures steady.
//   bench_gpu_twins [rounds] [passes] [draws]

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <SDL2/SDL.h>

#ifndef GL_TEXTURE_SRGB_DECODE_EXT
#define GL_TEXTURE_SRGB_DECODE_EXT 0x8A48
#define GL_SKIP_DECODE_EXT 0x8A4A
#endif

#include "gpu_common.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <malloc.h>
#include <vector>

using namespace gpubench;

namespace
{
constexpr uint32_t W = 1920, H = 1080;
constexpr int QUAD = 8;       // edge of a small quad in pixels
constexpr int TEXTURES = 4;   // textures the draw loop cycles through

const char *RawVS = R"(#version 330 core
layout(location = 0) in vec4 pos;
layout(location = 1) in vec4 uv;
out vec4 var_uv;
void main() {
  var_uv = uv;
  gl_Position = pos;
  gl_Position.y = -pos.y;  // rows stored top first, as the device stores them: the same memory
  gl_Position.z = 2.0 * pos.z - pos.w;
}
)";
const char *RawPS = R"(#version 330 core
layout(std140) uniform PSConstants { vec4 ps_c[224]; ivec4 ps_i[16]; ivec4 ps_b[16]; };
uniform sampler2D ps_s0;
in vec4 var_uv;
layout(location = 0) out vec4 color;
void main() {
  vec4 r0 = texture(ps_s0, var_uv.xy);
  color = r0 * ps_c[0];
}
)";

// One full-screen quad, then one small quad per draw on a grid over the target.
std::vector<Vertex> Geometry(int draws)
{
  std::vector<Vertex> v(std::begin(FullScreenQuad), std::end(FullScreenQuad));
  int columns = int(W) / QUAD, rows = int(H) / QUAD;
  for (int i = 0; i < draws; i++)
  {
    int cell = i % (columns * rows);
    float x0 = float(cell % columns * QUAD) / W * 2 - 1, y0 = 1 - float(cell / columns * QUAD) / H * 2;
    float x1 = x0 + 2.0f * QUAD / W, y1 = y0 - 2.0f * QUAD / H;
    for (Vertex q : {Vertex{x0, y0, 0.5f, 1, 0, 0}, Vertex{x1, y0, 0.5f, 1, 1, 0}, Vertex{x0, y1, 0.5f, 1, 0, 1},
                     Vertex{x0, y1, 0.5f, 1, 0, 1}, Vertex{x1, y0, 0.5f, 1, 1, 0}, Vertex{x1, y1, 0.5f, 1, 1, 1}})
      v.push_back(q);
  }
  return v;
}

void Colour(int i, float *c)
{
  c[0] = 0.25f + 0.5f * float(i % 7) / 7;
  c[1] = 0.25f + 0.5f * float(i % 5) / 5;
  c[2] = 0.25f + 0.5f * float(i % 3) / 3;
  c[3] = 0.02f;
}

// The work as the device does it.
struct Layer
{
  Object *Obj = nullptr;
  Device *Dev = nullptr;
  VertexShader *V = nullptr;
  PixelShader *P = nullptr;
  VertexDeclaration *Decl = nullptr;
  VertexBuffer *VB = nullptr;
  Texture *Big = nullptr, *Small[TEXTURES] = {}, *Target = nullptr;
  Surface *RT = nullptr;
  Query *Done = nullptr;

  bool Init(int draws)
  {
    if (!OpenDevice(Obj, Dev, V, P))
      return false;
    const VertexElement elements[] = {{0, 0, DECLTYPE_FLOAT4, 0, DECLUSAGE_POSITION, 0},
                                      {0, 16, DECLTYPE_FLOAT2, 0, DECLUSAGE_TEXCOORD, 0}, DECL_END};
    Dev->CreateVertexDeclaration(elements, &Decl);
    std::vector<Vertex> geometry = Geometry(draws);
    if (!Check(Dev->CreateVertexBuffer(uint32_t(geometry.size() * sizeof(Vertex)), 0, POOL_MANAGED, &VB), "buffer"))
      return false;
    void *data = nullptr;
    VB->Lock(0, 0, &data, 0);
    std::memcpy(data, geometry.data(), geometry.size() * sizeof(Vertex));
    VB->Unlock();
    if (!Fill(Big, 512, 0) || !Check(Dev->CreateTexture(W, H, 1, USAGE_RENDERTARGET, FMT_A8R8G8B8, POOL_DEFAULT, &Target), "target"))
      return false;
    for (int t = 0; t < TEXTURES; t++)
      if (!Fill(Small[t], 64, t))
        return false;
    Target->GetSurfaceLevel(0, &RT);
    Dev->CreateQuery(QUERY_EVENT, &Done);
    Dev->SetRenderTarget(0, RT);
    Dev->SetVertexShader(V);
    Dev->SetPixelShader(P);
    Dev->SetVertexDeclaration(Decl);
    Dev->SetStreamSource(0, VB, 0, sizeof(Vertex));
    Dev->SetSamplerState(0, SAMP_MINFILTER, TEXF_LINEAR);
    Dev->SetSamplerState(0, SAMP_MAGFILTER, TEXF_LINEAR);
    Dev->SetSamplerState(0, SAMP_MIPFILTER, TEXF_LINEAR);
    Dev->SetRenderState(RS_CULLMODE, CULL_NONE);
    Dev->SetRenderState(RS_ALPHABLENDENABLE, 1);
    Dev->Clear(0, nullptr, CLEAR_TARGET, 0, 1.0f, 0);
    return true;
  }

  bool Fill(Texture *&tex, uint32_t edge, int pattern) { return PatternTexture(Dev, tex, edge, pattern); }

  // waits without spinning, so that the wait costs no processor time
  void Finish()
  {
    Done->Issue(ISSUE_END);  // makes the device's context current
    glFinish();
    if (Done->GetData(nullptr, 0, GETDATA_FLUSH) != RES_OK)
      std::fprintf(stderr, "device not finished after glFinish\n");
  }

  void Passes(int n)
  {
    Dev->SetTexture(0, Big);
    Dev->SetRenderState(RS_SRCBLEND, BLEND_ONE);
    Dev->SetRenderState(RS_DESTBLEND, BLEND_ONE);
    const float c0[4] = {0.01f, 0.01f, 0.01f, 0.01f};
    Dev->SetPixelShaderConstantF(0, c0, 1);
    for (int i = 0; i < n; i++)
      Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2);
  }

  void Draws(int n, bool change)
  {
    Dev->SetRenderState(RS_SRCBLEND, BLEND_SRCALPHA);
    Dev->SetRenderState(RS_DESTBLEND, BLEND_ONE);
    Dev->SetTexture(0, Small[0]);
    float c[4];
    Colour(0, c);
    Dev->SetPixelShaderConstantF(0, c, 1);
    for (int i = 0; i < n; i++)
    {
      if (change)
      {
        Dev->SetRenderState(RS_DESTBLEND, i & 1 ? BLEND_ONE : BLEND_INVSRCALPHA);
        Colour(i, c);
        Dev->SetPixelShaderConstantF(0, c, 1);
        Dev->SetTexture(0, Small[i % TEXTURES]);
      }
      Dev->DrawPrimitive(PT_TRIANGLELIST, 6 + 6 * uint32_t(i), 2);
    }
  }

  ~Layer()
  {
    for (Unknown *u : std::initializer_list<Unknown *>{Done, RT, Target, Big, VB, Decl, V, P})
      if (u)
        u->Release();
    for (Texture *t : Small)
      if (t)
        t->Release();
    if (Dev)
      Dev->Release();
    if (Obj)
      Obj->Release();
  }
};

// The same work written directly against GL 3.3 in a context of its own.
struct Raw
{
  SDL_Window *Win = nullptr;
  SDL_GLContext Ctx = nullptr;
  GLuint Program = 0, VAO = 0, VB = 0, UBO = 0, Sampler = 0, FBO = 0, Target = 0, Big = 0, Small[TEXTURES] = {};

  static GLuint Compile(GLenum stage, const char *text)
  {
    GLuint s = glCreateShader(stage);
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok)
    {
      char log[1024] = {};
      glGetShaderInfoLog(s, sizeof(log) - 1, nullptr, log);
      std::fprintf(stderr, "raw shader: %s\n", log);
    }
    return s;
  }

  GLenum Internal = GL_RGBA8;

  GLuint MakeTexture(GLsizei edge, int pattern) const
  {
    GLenum internal = Internal;
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    std::vector<uint32_t> texels;
    int level = 0;
    for (GLsizei e = edge; e >= 1; e /= 2, level++)
    {
      texels.resize(size_t(e) * e);
      for (GLsizei y = 0; y < e; y++)
        for (GLsizei x = 0; x < e; x++)
          texels[size_t(y) * e + x] = Texel(pattern, uint32_t(x), uint32_t(y));
      glTexImage2D(GL_TEXTURE_2D, level, internal, e, e, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, level - 1);
    if (internal == GL_SRGB8_ALPHA8)
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SRGB_DECODE_EXT, GL_SKIP_DECODE_EXT);
    return t;
  }

  bool Init(int draws)
  {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    Win = SDL_CreateWindow("raw", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    Ctx = Win ? SDL_GL_CreateContext(Win) : nullptr;
    if (!Ctx)
    {
      std::fprintf(stderr, "raw context: %s\n", SDL_GetError());
      return false;
    }
    Current();
    GLuint v = Compile(GL_VERTEX_SHADER, RawVS), p = Compile(GL_FRAGMENT_SHADER, RawPS);
    Program = glCreateProgram();
    glAttachShader(Program, v);
    glAttachShader(Program, p);
    glLinkProgram(Program);
    GLint ok = 0;
    glGetProgramiv(Program, GL_LINK_STATUS, &ok);
    if (!ok)
      return false;
    glUniformBlockBinding(Program, glGetUniformBlockIndex(Program, "PSConstants"), 1);
    glUseProgram(Program);
    glUniform1i(glGetUniformLocation(Program, "ps_s0"), 0);
    glGenBuffers(1, &UBO);
    glBindBuffer(GL_UNIFORM_BUFFER, UBO);
    glBufferData(GL_UNIFORM_BUFFER, 224 * 16 + 512, nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, UBO);
    std::vector<Vertex> geometry = Geometry(draws);
    glGenVertexArrays(1, &VAO);
    glBindVertexArray(VAO);
    glGenBuffers(1, &VB);
    glBindBuffer(GL_ARRAY_BUFFER, VB);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(geometry.size() * sizeof(Vertex)), geometry.data(), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<const void *>(16));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    // the device keeps colour textures in sRGB storage that each sampler reads raw or
    // decoded: the same storage here, read raw
    GLint extensions = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    for (GLint i = 0; i < extensions; i++)
      if (std::strcmp(reinterpret_cast<const char *>(glGetStringi(GL_EXTENSIONS, GLuint(i))), "GL_EXT_texture_sRGB_decode") == 0)
        Internal = GL_SRGB8_ALPHA8;
    Big = MakeTexture(512, 0);
    for (int t = 0; t < TEXTURES; t++)
      Small[t] = MakeTexture(64, t);
    glGenSamplers(1, &Sampler);
    glSamplerParameteri(Sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glSamplerParameteri(Sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    if (Internal == GL_SRGB8_ALPHA8)
      glSamplerParameteri(Sampler, GL_TEXTURE_SRGB_DECODE_EXT, GL_SKIP_DECODE_EXT);
    glBindSampler(0, Sampler);
    glGenTextures(1, &Target);
    glBindTexture(GL_TEXTURE_2D, Target);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, W, H, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glGenFramebuffers(1, &FBO);
    glBindFramebuffer(GL_FRAMEBUFFER, FBO);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, Target, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
      return false;
    glViewport(0, 0, W, H);
    glEnable(GL_BLEND);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    return glGetError() == GL_NO_ERROR;
  }

  // as the device does: making a context current again costs a trip to the display server
  void Current()
  {
    if (SDL_GL_GetCurrentContext() != Ctx)
      SDL_GL_MakeCurrent(Win, Ctx);
  }

  void Finish()
  {
    Current();
    glFinish();
  }

  void Passes(int n)
  {
    glBindTexture(GL_TEXTURE_2D, Big);
    glBlendFunc(GL_ONE, GL_ONE);
    const float c0[4] = {0.01f, 0.01f, 0.01f, 0.01f};
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(c0), c0);
    for (int i = 0; i < n; i++)
      glDrawArrays(GL_TRIANGLES, 0, 6);
  }

  void Draws(int n, bool change)
  {
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, Small[0]);
    float c[4];
    Colour(0, c);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(c), c);
    for (int i = 0; i < n; i++)
    {
      if (change)
      {
        glBlendFunc(GL_SRC_ALPHA, i & 1 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
        Colour(i, c);
        glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(c), c);
        glBindTexture(GL_TEXTURE_2D, Small[i % TEXTURES]);
      }
      glDrawArrays(GL_TRIANGLES, 6 + 6 * i, 6);
    }
  }

  ~Raw()
  {
    if (!Ctx)
      return;
    Current();
    glDeleteProgram(Program);
    glDeleteVertexArrays(1, &VAO);
    GLuint buffers[] = {VB, UBO};
    glDeleteBuffers(2, buffers);
    glDeleteSamplers(1, &Sampler);
    glDeleteFramebuffers(1, &FBO);
    glDeleteTextures(1, &Target);
    glDeleteTextures(1, &Big);
    glDeleteTextures(TEXTURES, Small);
    SDL_GL_MakeCurrent(Win, nullptr);
    SDL_GL_DeleteContext(Ctx);
    SDL_DestroyWindow(Win);
  }
};

struct Times { double Cpu, Wall; };

double CpuSeconds()
{
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

Times Measure(const std::function<void()> &work, const std::function<void()> &finish)
{
  finish();  // starts from an idle device, with the right context current
  double cpu = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  work();
  finish();
  return {CpuSeconds() - cpu, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

double Median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
}

int main(int argc, char **argv)
{
  // The software rasteriser allocates large blocks for every batch of draws; the allocator
  // would hand them back to the system and fault them in afresh, a cost that lands on
  // whichever side happens to allocate and dwarfs the draws: keep them.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, -1);
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
  int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  int draws = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2000;
  Layer layer;
  if (!layer.Init(draws))
    return 1;
  Raw raw;
  if (!raw.Init(draws))
  {
    std::fprintf(stderr, "raw GL setup failed\n");
    return 1;
  }
  struct Bench
  {
    const char *Name, *Unit;
    int Count;
    std::function<void()> Layer, Raw;
    std::vector<double> LayerCpu, RawCpu, CpuRatios, LayerWall, RawWall, WallRatios;
  };
  std::vector<Bench> benches;
  benches.push_back({"fill", "pass", passes, [&] { layer.Passes(passes); }, [&] { raw.Passes(passes); }, {}, {}, {}, {}, {}, {}});
  benches.push_back({"draws", "draw", draws, [&] { layer.Draws(draws, true); }, [&] { raw.Draws(draws, true); }, {}, {}, {}, {}, {}, {}});
  benches.push_back({"still", "draw", draws, [&] { layer.Draws(draws, false); }, [&] { raw.Draws(draws, false); }, {}, {}, {}, {}, {}, {}});
  auto layerFinish = [&] { layer.Finish(); };
  auto rawFinish = [&] { raw.Finish(); };
  // one untimed round: program links, first uploads, caches
  for (Bench &b : benches)
  {
    Measure(b.Layer, layerFinish);
    Measure(b.Raw, rawFinish);
  }
  for (int r = 0; r < rounds; r++)
    for (Bench &b : benches)
    {
      Times l, w;
      if (r % 2)
      {
        w = Measure(b.Raw, rawFinish);
        l = Measure(b.Layer, layerFinish);
      }
      else
      {
        l = Measure(b.Layer, layerFinish);
        w = Measure(b.Raw, rawFinish);
      }
      b.LayerCpu.push_back(l.Cpu / b.Count);
      b.RawCpu.push_back(w.Cpu / b.Count);
      b.CpuRatios.push_back(l.Cpu / w.Cpu);
      b.LayerWall.push_back(l.Wall / b.Count);
      b.RawWall.push_back(w.Wall / b.Count);
      b.WallRatios.push_back(l.Wall / w.Wall);
    }
  AdapterIdentifier id;
  layer.Obj->GetAdapterIdentifier(0, id);
  std::printf("gpu device against raw GL on %s, %d rounds (medians)\n", id.Description, rounds);
  for (Bench &b : benches)
    std::printf("  %-5s (%4d a round) processor: device %8.2f us per %s, raw %8.2f, ratio device/raw per %s %.3f"
                " | wall: device %8.2f, raw %8.2f, ratio %.3f\n",
                b.Name, b.Count, Median(b.LayerCpu) * 1e6, b.Unit, Median(b.RawCpu) * 1e6, b.Unit, Median(b.CpuRatios),
                Median(b.LayerWall) * 1e6, Median(b.RawWall) * 1e6, Median(b.WallRatios));
  return 0;
}
