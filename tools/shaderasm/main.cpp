// shaderasm: assembles shader sources into Direct3D 9 token streams.
//
//   shaderasm [-DNAME=VALUE ...] source [-o out.bin]
//       one program; writes the little-endian token words (or nothing with no -o)
//   shaderasm --manifest tables.txt --out-dir dir [--quiet]
//       every table of the manifest; writes dir/shadercode.hpp and dir/shadercode.cpp and
//       prints the number of distinct programs per table
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/shaderasm/asm.hpp"

namespace {

bool WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

int Usage() {
  std::fprintf(stderr,
               "usage: shaderasm [-DNAME=VALUE ...] source [-o out.bin]\n"
               "       shaderasm --manifest tables.txt --out-dir dir [--quiet]\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<shaderasm::Define> defines;
  std::string source, output, manifest, outDir;
  bool quiet = false;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (a.rfind("-D", 0) == 0 && a.size() > 2) {
      std::string d = a.substr(2);
      size_t eq = d.find('=');
      defines.push_back({d.substr(0, eq), eq == std::string::npos ? "1" : d.substr(eq + 1)});
    } else if (a == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (a == "--manifest" && i + 1 < argc) {
      manifest = argv[++i];
    } else if (a == "--out-dir" && i + 1 < argc) {
      outDir = argv[++i];
    } else if (a == "--quiet") {
      quiet = true;
    } else if (!a.empty() && a[0] != '-' && source.empty()) {
      source = a;
    } else {
      return Usage();
    }
  }

  if (!manifest.empty()) {
    if (outDir.empty() || !source.empty()) return Usage();
    std::vector<shaderasm::TableSpec> specs;
    std::string error;
    shaderasm::Build build;
    if (!shaderasm::ReadManifest(manifest, specs, error) || !shaderasm::BuildTables(specs, build, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    if (!WriteFile(outDir + "/shadercode.hpp", shaderasm::EmitHeader(build)) ||
        !WriteFile(outDir + "/shadercode.cpp", shaderasm::EmitSource(build, "shadercode.hpp"))) {
      std::fprintf(stderr, "%s: error: cannot write the generated files\n", outDir.c_str());
      return 1;
    }
    if (!quiet) {
      for (const auto &t : build.Tables)
        std::printf("shaderasm: %-24s %4d entries %3d programs\n", t.Spec.Name.c_str(), t.Spec.Count, t.Distinct);
      std::printf("shaderasm: %zu distinct programs in all\n", build.Programs.size());
    }
    return 0;
  }

  if (source.empty()) return Usage();
  shaderasm::Result r = shaderasm::AssembleFile(source, defines);
  if (!r.Ok) {
    std::fprintf(stderr, "%s\n", r.Error.c_str());
    return 1;
  }
  if (r.Unreachable) {
    std::fprintf(stderr, "%s: this variant is marked unreachable\n", source.c_str());
    return 0;
  }
  if (!output.empty()) {
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    for (uint32_t w : r.Code) {
      unsigned char b[4] = {static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8),
                            static_cast<unsigned char>(w >> 16), static_cast<unsigned char>(w >> 24)};
      out.write(reinterpret_cast<const char *>(b), 4);
    }
    if (!out) {
      std::fprintf(stderr, "%s: error: cannot write\n", output.c_str());
      return 1;
    }
  }
  return 0;
}
