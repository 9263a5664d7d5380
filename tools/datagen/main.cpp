// The generator's entry: datagen <folder> writes the whole stand-in tree into the folder.
// The framework's memory, files and 2D layer run around it as in the program, so the
// files are written by the same code that reads them.
#include "datagen.hpp"

#include "base/file.hpp"
#include "base/gdi.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "platform/files/files.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
  if(argc != 2)
  {
    fprintf(stderr, "usage: datagen <folder>\n");
    return 2;
  }
  std::string root = argv[1];
  std::string error;
  if(!plat::PathExists(root.c_str()) && !plat::MakeDir(root.c_str(), &error))
  {
    fprintf(stderr, "datagen: can't make %s: %s\n", root.c_str(), error.c_str());
    return 1;
  }
  if(!plat::ChangeDir(root.c_str(), &error))
  {
    fprintf(stderr, "datagen: can't enter %s: %s\n", root.c_str(), error.c_str());
    return 1;
  }

  // the framework logs every file it opens; a build log wants only the areas
  sParseCommandLine(u"-log datagen", 0);
  sInitMemorySystem();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  sInitGDI();
  {
    // the build reruns the tool while the manifest is missing or older than the tool,
    // so a run that stops half-way must not leave the last one behind
    sDeleteFile(u"manifest.txt");

    std::vector<datagen::Area> areas = datagen::GetAreas();
    std::stable_sort(areas.begin(), areas.end(),
                     [](const datagen::Area &a, const datagen::Area &b) { return a.Order < b.Order; });
    datagen::Tree tree;
    for(const datagen::Area &area : areas)
    {
      printf("datagen: %s\n", area.Name);
      fflush(stdout);
      area.Generate(tree);
    }
    tree.WriteManifest(u"manifest.txt");
    printf("datagen: %d files in %s\n", int(tree.GetFiles().size()), root.c_str());
  }
  sExitGDI();
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return 0;
}
