// Model import against model cache load: a Collada file of about 200,000 triangles
// (four grids with normals and texture coordinates) is imported, which writes its cache,
// and the cache is then loaded; the cache must load at least ten times faster.
//   bench_model_import [triangles per mesh]

#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/system.hpp"
#include "base/textbuffer.hpp"
#include "platform/text/utf.hpp"
#include "show/model.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{
void Quiet(const sChar *, void *) {}

// A grid of (w+1) x (h+1) vertices as one geometry g<n> of 2 w h triangles.
void AppendGrid(std::string &out, int n, int w, int h)
{
  std::string id = "g" + std::to_string(n);
  int verts = (w + 1) * (h + 1);
  std::string pos, nrm, uv, p;
  char buf[96];
  for(int y = 0; y <= h; y++)
    for(int x = 0; x <= w; x++)
    {
      snprintf(buf, sizeof buf, "%g %g %g ", x * 0.5, y * 0.25, (x * y % 7) * 0.125);
      pos += buf;
      nrm += "0 0.6 0.8 ";
      snprintf(buf, sizeof buf, "%g %g ", x / double(w), y / double(h));
      uv += buf;
    }
  for(int y = 0; y < h; y++)
    for(int x = 0; x < w; x++)
    {
      int a = y * (w + 1) + x, b = a + 1, c = a + w + 1, d = c + 1;
      for(int v : {a, b, d, a, d, c})
      {
        snprintf(buf, sizeof buf, "%d %d %d ", v, v, v);
        p += buf;
      }
    }
  auto array = [&](const char *suffix, int count, const std::string &values) {
    out += "<source><float_array id=\"" + id + suffix + "\" count=\"" + std::to_string(count) + "\">" + values +
           "</float_array></source>\n";
  };
  out += "<geometry id=\"" + id + "\"><mesh>\n";
  array("-Pos-array", 3 * verts, pos);
  array("-XSINormal-array", 3 * verts, nrm);
  array("-Texture_Projection-array", 2 * verts, uv);
  out += "<vertices id=\"" + id + "-v\"/><triangles count=\"" + std::to_string(2 * w * h) + "\">"
         "<input semantic=\"VERTEX\" offset=\"0\"/><input semantic=\"NORMAL\" offset=\"1\"/>"
         "<input semantic=\"TEXCOORD\" offset=\"2\" set=\"0\"/><p>" + p + "</p></triangles></mesh></geometry>\n";
}

double Millis(std::chrono::steady_clock::time_point from)
{
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}
}  // namespace

int main(int argc, char **argv)
{
  int perMesh = argc > 1 ? std::atoi(argv[1]) : 50000;
  int h = 200, w = perMesh / (2 * h) > 0 ? perMesh / (2 * h) : 1;
  sInitMemorySystem();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  sSetDebugOutputCapture(&Quiet, nullptr);

  std::string text = "<?xml version=\"1.0\"?><COLLADA><asset><contributor><authoring_tool>Autodesk Softimage"
                     "</authoring_tool></contributor></asset><library_geometries>\n";
  for(int n = 0; n < 4; n++) AppendGrid(text, n, w, h);
  text += "</library_geometries></COLLADA>\n";

  std::string dir = (std::filesystem::temp_directory_path() / "bench_model_import").string();
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/grid.dae", std::ios::binary) << text;
  std::u16string folder = plat::ToUtf16(dir + "/");

  auto t0 = std::chrono::steady_clock::now();
  Model *imported = sNEW Model(nullptr);
  pImportObject(imported, u"grid.dae", folder.c_str(), 1, 0, 0);
  double importMs = Millis(t0);
  int triangles = 0;
  for(sInt i = 0; i < imported->MeshCount; i++) triangles += imported->Meshes[i]->TriangleCount;

  auto t1 = std::chrono::steady_clock::now();
  Model *cached = sNEW Model(nullptr);
  pImportObject(cached, u"grid.dae", folder.c_str(), 0, 0, 0);
  double loadMs = Millis(t1);
  bool same = cached->MeshCount == imported->MeshCount && cached->MeshCount == 4;

  double ratio = loadMs > 0 ? importMs / loadMs : 0;
  printf("Collada import: %d triangles, %.1f MB of text, %.1f ms\n", triangles, text.size() / 1e6, importMs);
  printf("cache load:     %d meshes, %.1f ms\n", cached->MeshCount, loadMs);
  printf("ratio import / load: %.1f (%s)\n", ratio, same && ratio >= 10 ? "at least 10: ok" : "BELOW TARGET");

  sDELETE(imported);
  sDELETE(cached);
  std::filesystem::remove_all(dir);
  sSetDebugOutputCapture(nullptr, nullptr);
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return same && ratio >= 10 ? 0 : 1;
}
