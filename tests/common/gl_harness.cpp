#include "common/gl_harness.hpp"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

namespace shtest {

namespace {

SDL_Window *Window = nullptr;
SDL_GLContext Context = nullptr;

bool TryCreate() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  Window = SDL_CreateWindow("shader tests", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (Window) Context = SDL_GL_CreateContext(Window);
  if (Context && SDL_GL_MakeCurrent(Window, Context) == 0) return true;
  if (Context) SDL_GL_DeleteContext(Context);
  if (Window) SDL_DestroyWindow(Window);
  Context = nullptr;
  Window = nullptr;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return false;
}

GLuint Compile(GLenum type, const std::string &src, std::string &err) {
  GLuint s = glCreateShader(type);
  const char *p = src.c_str();
  glShaderSource(s, 1, &p, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[4096] = {};
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    err = std::string(type == GL_VERTEX_SHADER ? "vertex" : "pixel") + " compile: " + log + "\n" + src;
    glDeleteShader(s);
    return 0;
  }
  return s;
}

GLuint MakeBlock(const std::vector<float> &f, const std::vector<int32_t> &i, const std::vector<int32_t> &b) {
  std::vector<uint8_t> data(f.size() * 4 + i.size() * 4 + b.size() * 4);
  std::memcpy(data.data(), f.data(), f.size() * 4);
  std::memcpy(data.data() + f.size() * 4, i.data(), i.size() * 4);
  std::memcpy(data.data() + f.size() * 4 + i.size() * 4, b.data(), b.size() * 4);
  GLuint buf;
  glGenBuffers(1, &buf);
  glBindBuffer(GL_UNIFORM_BUFFER, buf);
  glBufferData(GL_UNIFORM_BUFFER, GLsizeiptr(data.size()), data.data(), GL_STATIC_DRAW);
  return buf;
}

GLuint MakeTexture(const Texture &t) {
  GLuint tex;
  glGenTextures(1, &tex);
  glActiveTexture(GLenum(GL_TEXTURE0 + t.Unit));
  GLenum target = t.Type == Texture::Cube ? GL_TEXTURE_CUBE_MAP : t.Type == Texture::Volume ? GL_TEXTURE_3D : GL_TEXTURE_2D;
  glBindTexture(target, tex);
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, t.Mipmaps ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
  if (t.Type == Texture::Tex2D) {
    int w = t.Width, h = t.Height, level = 0;
    size_t off = 0;
    for (;;) {
      glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA32F, w, h, 0, GL_RGBA, GL_FLOAT, t.Texels.data() + off);
      off += size_t(w) * h * 4;
      if (!t.Mipmaps || (w == 1 && h == 1)) break;
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
      level++;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, level);
  } else if (t.Type == Texture::Cube) {
    size_t face = size_t(t.Width) * t.Height * 4;
    for (int f = 0; f < 6; f++)
      glTexImage2D(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f), 0, GL_RGBA32F, t.Width, t.Height, 0, GL_RGBA,
                   GL_FLOAT, t.Texels.data() + face * f);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, 0);
  } else {
    glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA32F, t.Width, t.Height, t.Depth, 0, GL_RGBA, GL_FLOAT, t.Texels.data());
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAX_LEVEL, 0);
  }
  return tex;
}

}  // namespace

bool HaveGL() {
  static int state = -1;
  if (state < 0) {
    bool ok = TryCreate();
    if (!ok && !std::getenv("SDL_VIDEODRIVER")) {
      // no X display: SDL's offscreen driver gives a context through EGL
      setenv("SDL_VIDEODRIVER", "offscreen", 1);
      ok = TryCreate();
    }
    state = ok ? 1 : 0;
  }
  return state == 1;
}

bool CompileOnly(bool vertex, const std::string &glsl, std::string &log) {
  if (!HaveGL()) {
    log = "no OpenGL 3.3 context";
    return false;
  }
  GLuint s = Compile(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, glsl, log);
  if (!s) return false;
  glDeleteShader(s);
  return true;
}

DrawResult Draw(const std::vector<uint32_t> &vs, const std::vector<uint32_t> &ps, const DrawSetup &setup) {
  using namespace plat::shader;
  DrawResult res;
  res.W = setup.Width;
  res.H = setup.Height;
  if (!HaveGL()) {
    res.Error = "no OpenGL 3.3 context";
    return res;
  }
  ShaderInfo vi, pi;
  std::string err;
  if (!Parse(vs.data(), vs.size(), vi, err)) {
    res.Error = "vertex parse: " + err;
    return res;
  }
  if (!Parse(ps.data(), ps.size(), pi, err)) {
    res.Error = "pixel parse: " + err;
    return res;
  }
  std::vector<Semantic> paired;
  for (const InputReg &r : pi.Inputs) paired.push_back(r.Sem);
  res.VSText = Translate(vs.data(), vs.size(), vi, &paired);
  res.PSText = Translate(ps.data(), ps.size(), pi, nullptr);
  if (res.VSText.empty() || res.PSText.empty()) {
    res.Error = "translation gave no source";
    return res;
  }
  GLuint v = Compile(GL_VERTEX_SHADER, res.VSText, res.Error);
  if (!v) return res;
  GLuint f = Compile(GL_FRAGMENT_SHADER, res.PSText, res.Error);
  if (!f) {
    glDeleteShader(v);
    return res;
  }
  GLuint prog = glCreateProgram();
  glAttachShader(prog, v);
  glAttachShader(prog, f);
  glLinkProgram(prog);
  glDeleteShader(v);
  glDeleteShader(f);
  GLint ok = 0;
  glGetProgramiv(prog, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[4096] = {};
    glGetProgramInfoLog(prog, sizeof log, nullptr, log);
    res.Error = std::string("link: ") + log + "\n" + res.VSText + "\n" + res.PSText;
    glDeleteProgram(prog);
    return res;
  }
  glUseProgram(prog);
  GLuint vsBlock = glGetUniformBlockIndex(prog, "VSConstants");
  GLuint psBlock = glGetUniformBlockIndex(prog, "PSConstants");
  if (vsBlock != GL_INVALID_INDEX) glUniformBlockBinding(prog, vsBlock, 0);
  if (psBlock != GL_INVALID_INDEX) glUniformBlockBinding(prog, psBlock, 1);
  GLuint vbuf = MakeBlock(setup.VSConst, setup.VSInt, setup.VSBool);
  GLuint pbuf = MakeBlock(setup.PSConst, setup.PSInt, setup.PSBool);
  glBindBufferBase(GL_UNIFORM_BUFFER, 0, vbuf);
  glBindBufferBase(GL_UNIFORM_BUFFER, 1, pbuf);
  for (int i = 0; i < 16; i++) {
    GLint l = glGetUniformLocation(prog, ("ps_s" + std::to_string(i)).c_str());
    if (l >= 0) glUniform1i(l, i);
    l = glGetUniformLocation(prog, ("vs_s" + std::to_string(i)).c_str());
    if (l >= 0) glUniform1i(l, 16 + i);
  }
  GLint l = glGetUniformLocation(prog, "gpu_PosFixup");
  // pixel centres: geometry moves half a pixel right and down (rows grow downwards), then
  // the picture is flipped so that row 0 is the top row
  if (l >= 0) glUniform4f(l, 0.0f, -1.0f, 1.0f / float(setup.Width), -1.0f / float(setup.Height));
  l = glGetUniformLocation(prog, "gpu_AlphaFunc");
  if (l >= 0) glUniform1i(l, setup.AlphaFunc);
  l = glGetUniformLocation(prog, "gpu_AlphaRef");
  if (l >= 0) glUniform1f(l, setup.AlphaRef);

  std::vector<GLuint> textures;
  for (const Texture &t : setup.Textures) textures.push_back(MakeTexture(t));

  // render targets
  GLuint fbo;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  std::vector<GLuint> targets(size_t(setup.Targets));
  std::vector<GLenum> bufs;
  glGenTextures(setup.Targets, targets.data());
  glActiveTexture(GL_TEXTURE31);
  for (int i = 0; i < setup.Targets; i++) {
    glBindTexture(GL_TEXTURE_2D, targets[size_t(i)]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, setup.Width, setup.Height, 0, GL_RGBA, GL_FLOAT, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GLenum(GL_COLOR_ATTACHMENT0 + i), GL_TEXTURE_2D, targets[size_t(i)], 0);
    bufs.push_back(GLenum(GL_COLOR_ATTACHMENT0 + i));
  }
  GLuint depth = 0;
  if (setup.Depth) {
    glGenTextures(1, &depth);
    glBindTexture(GL_TEXTURE_2D, depth);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT32F, setup.Width, setup.Height, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
  }
  glDrawBuffers(GLsizei(bufs.size()), bufs.data());
  glViewport(0, 0, setup.Width, setup.Height);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  for (int i = 0; i < setup.Targets; i++) glClearBufferfv(GL_COLOR, i, setup.Clear);
  if (setup.Depth) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDepthMask(GL_TRUE);
    float one = 1.0f;
    glClearBufferfv(GL_DEPTH, 0, &one);
  } else {
    glDisable(GL_DEPTH_TEST);
  }

  // vertex attributes by semantic, as the device binds them
  GLuint vao;
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  std::vector<Attribute> attrs = setup.Attributes;
  bool havePos = false;
  for (const Attribute &a : attrs) havePos |= a.Sem.Usage == 0 && a.Sem.UsageIndex == 0;
  if (!havePos) attrs.push_back({{0, 0}, {-1, 1, 0.5f, 1, 1, 1, 0.5f, 1, -1, -1, 0.5f, 1, 1, -1, 0.5f, 1}});
  std::vector<GLuint> vbos;
  for (const InputReg &in : vi.Inputs) {
    const Attribute *found = nullptr;
    for (const Attribute &a : attrs)
      if (a.Sem.Usage == in.Sem.Usage && a.Sem.UsageIndex == in.Sem.UsageIndex) found = &a;
    if (!found) {
      glVertexAttrib4f(GLuint(in.Reg), 0, 0, 0, 1);
      continue;
    }
    GLuint vb;
    glGenBuffers(1, &vb);
    vbos.push_back(vb);
    glBindBuffer(GL_ARRAY_BUFFER, vb);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(found->Values.size() * 4), found->Values.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(GLuint(in.Reg));
    glVertexAttribPointer(GLuint(in.Reg), 4, GL_FLOAT, GL_FALSE, 16, nullptr);
  }
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

  res.Colors.resize(size_t(setup.Targets));
  for (int i = 0; i < setup.Targets; i++) {
    res.Colors[size_t(i)].resize(size_t(setup.Width) * setup.Height * 4);
    glReadBuffer(GLenum(GL_COLOR_ATTACHMENT0 + i));
    glReadPixels(0, 0, setup.Width, setup.Height, GL_RGBA, GL_FLOAT, res.Colors[size_t(i)].data());
  }
  if (setup.Depth) {
    res.Depth.resize(size_t(setup.Width) * setup.Height);
    glReadPixels(0, 0, setup.Width, setup.Height, GL_DEPTH_COMPONENT, GL_FLOAT, res.Depth.data());
  }
  GLenum glErr = glGetError();

  glBindVertexArray(0);
  glDeleteVertexArrays(1, &vao);
  for (GLuint b : vbos) glDeleteBuffers(1, &b);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo);
  glDeleteTextures(GLsizei(targets.size()), targets.data());
  if (depth) glDeleteTextures(1, &depth);
  for (GLuint t : textures) glDeleteTextures(1, &t);
  glDeleteBuffers(1, &vbuf);
  glDeleteBuffers(1, &pbuf);
  glUseProgram(0);
  glDeleteProgram(prog);
  if (glErr != GL_NO_ERROR) {
    res.Error = "GL error " + std::to_string(glErr);
    return res;
  }
  res.Ok = true;
  return res;
}

}  // namespace shtest
