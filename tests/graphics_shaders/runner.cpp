#include "runner.hpp"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/shader/shader.hpp"

namespace shaderrun {

namespace {

SDL_Window *Window = nullptr;
SDL_GLContext Context = nullptr;

bool Create() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  Window = SDL_CreateWindow("material programs", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (Window) Context = SDL_GL_CreateContext(Window);
  if (Context && SDL_GL_MakeCurrent(Window, Context) == 0) return true;
  if (Context) SDL_GL_DeleteContext(Context);
  if (Window) SDL_DestroyWindow(Window);
  Window = nullptr;
  Context = nullptr;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return false;
}

GLuint CompileStage(GLenum type, const std::string &src, std::string &err) {
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

GLuint Block(const std::vector<float> &f) {
  // floats, then 16 ivec4 integers and 16 ivec4 booleans (all zero)
  std::vector<uint8_t> data(f.size() * 4 + 2 * 16 * 16, 0);
  std::memcpy(data.data(), f.data(), f.size() * 4);
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
  GLenum target = t.Cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
  glBindTexture(target, tex);
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
  if (t.Cube) {
    size_t face = size_t(t.Width) * t.Height;
    for (int f = 0; f < 6; f++)
      glTexImage2D(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f), 0, GL_RGBA32F, t.Width, t.Height, 0, GL_RGBA, GL_FLOAT,
                   t.Texels.data() + face * f);
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, t.Width, t.Height, 0, GL_RGBA, GL_FLOAT, t.Texels.data());
  }
  return tex;
}

}  // namespace

bool HaveGL() {
  static int state = -1;
  if (state < 0) {
    bool ok = Create();
    if (!ok && !std::getenv("SDL_VIDEODRIVER")) {
      setenv("SDL_VIDEODRIVER", "offscreen", 1);
      ok = Create();
    }
    state = ok ? 1 : 0;
  }
  return state == 1;
}

Result Draw(const uint32_t *vs, size_t vsWords, const uint32_t *ps, size_t psWords, const Setup &setup) {
  using namespace plat::shader;
  Result res;
  if (!HaveGL()) {
    res.Error = "no OpenGL 3.3 context";
    return res;
  }
  ShaderInfo vi, pi;
  std::string err;
  if (!Parse(vs, vsWords, vi, err) || !Parse(ps, psWords, pi, err)) {
    res.Error = "parse: " + err;
    return res;
  }
  std::vector<Semantic> paired;
  for (const InputReg &r : pi.Inputs) paired.push_back(r.Sem);
  std::string vsText = Translate(vs, vsWords, vi, &paired);
  std::string psText = Translate(ps, psWords, pi, nullptr);
  if (vsText.empty() || psText.empty()) {
    res.Error = "translation failed";
    return res;
  }
  GLuint v = CompileStage(GL_VERTEX_SHADER, vsText, res.Error);
  if (!v) return res;
  GLuint f = CompileStage(GL_FRAGMENT_SHADER, psText, res.Error);
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
    res.Error = std::string("link: ") + log;
    glDeleteProgram(prog);
    return res;
  }
  glUseProgram(prog);
  GLuint vsBlock = glGetUniformBlockIndex(prog, "VSConstants");
  GLuint psBlock = glGetUniformBlockIndex(prog, "PSConstants");
  if (vsBlock != GL_INVALID_INDEX) glUniformBlockBinding(prog, vsBlock, 0);
  if (psBlock != GL_INVALID_INDEX) glUniformBlockBinding(prog, psBlock, 1);
  GLuint vbuf = Block(setup.VSConst), pbuf = Block(setup.PSConst);
  glBindBufferBase(GL_UNIFORM_BUFFER, 0, vbuf);
  glBindBufferBase(GL_UNIFORM_BUFFER, 1, pbuf);
  for (int i = 0; i < 16; i++) {
    GLint l = glGetUniformLocation(prog, ("ps_s" + std::to_string(i)).c_str());
    if (l >= 0) glUniform1i(l, i);
  }
  // Direct3D samples pixel (i, j) at x = 2i/W - 1, y = 1 - 2j/H: the geometry moves half a
  // pixel, and the picture is flipped so that row 0 is the top row
  GLint l = glGetUniformLocation(prog, "gpu_PosFixup");
  if (l >= 0) glUniform4f(l, 0.0f, -1.0f, 1.0f / float(setup.Width), -1.0f / float(setup.Height));
  l = glGetUniformLocation(prog, "gpu_AlphaFunc");
  if (l >= 0) glUniform1i(l, 8);

  std::vector<GLuint> textures;
  for (const Texture &t : setup.Textures) textures.push_back(MakeTexture(t));

  GLuint fbo, target;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glGenTextures(1, &target);
  glActiveTexture(GL_TEXTURE31);
  glBindTexture(GL_TEXTURE_2D, target);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, setup.Width, setup.Height, 0, GL_RGBA, GL_FLOAT, nullptr);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
  GLenum buf0 = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &buf0);
  glViewport(0, 0, setup.Width, setup.Height);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  float clear[4] = {-9, -9, -9, -9};
  glClearBufferfv(GL_COLOR, 0, clear);

  GLuint vao;
  glGenVertexArrays(1, &vao);
  glBindVertexArray(vao);
  std::vector<GLuint> vbos;
  for (const InputReg &in : vi.Inputs) {
    auto it = setup.Attributes.find({in.Sem.Usage, in.Sem.UsageIndex});
    if (it == setup.Attributes.end()) {
      glVertexAttrib4f(GLuint(in.Reg), 0, 0, 0, 1);
      continue;
    }
    GLuint vb;
    glGenBuffers(1, &vb);
    vbos.push_back(vb);
    glBindBuffer(GL_ARRAY_BUFFER, vb);
    glBufferData(GL_ARRAY_BUFFER, sizeof(it->second), it->second.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(GLuint(in.Reg));
    glVertexAttribPointer(GLuint(in.Reg), 4, GL_FLOAT, GL_FALSE, 16, nullptr);
  }
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  res.Pixels.resize(size_t(setup.Width) * setup.Height);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glReadPixels(0, 0, setup.Width, setup.Height, GL_RGBA, GL_FLOAT, res.Pixels.data());
  GLenum glErr = glGetError();

  glBindVertexArray(0);
  glDeleteVertexArrays(1, &vao);
  for (GLuint b : vbos) glDeleteBuffers(1, &b);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo);
  glDeleteTextures(1, &target);
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

}  // namespace shaderrun
