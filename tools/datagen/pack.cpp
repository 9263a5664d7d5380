// The pack file the compiled-in start-up record opens, "Tarnwhistles.dat", and its
// definition "Tarnwhistles.txt", made the way the program makes them: a recording run's
// logger notes every packed file as it is opened, its definition is written, and the
// pack builder packs the files the definition names. Runs after every other area.
#include "datagen.hpp"

#include "base/file.hpp"
#include "util/packfile.hpp"

namespace datagen
{
namespace
{

const sChar *const PackName = u"Tarnwhistles.dat";
const sChar *const DefinitionName = u"Tarnwhistles.txt";

void Generate(Tree &tree)
{
  {
    sPackfileLogger logger(DefinitionName);
    for(const TreeFile &f : tree.GetFiles())
    {
      if(!(f.Flags & kPacked)) continue;
      // the logger only notes the name; the operating system's handler opens the file
      logger.Create(f.Name.c_str(), sFA_READ);
      sFile *file = sOpenFile(f.Name.c_str(), sFA_READ);
      if(!file)
        sFatalF(u"datagen: packed file '%s' is gone\n", f.Name.c_str());
      sDELETE(file);
    }
    if(!logger.Write())
      sFatalF(u"datagen: can't write '%s'\n", DefinitionName);
  }
  tree.Note(DefinitionName);
  if(!sCreatePackfile(PackName, DefinitionName))
    sFatalF(u"datagen: can't build '%s'\n", PackName);
  tree.Note(PackName);
}

}   // namespace

DATAGEN_AREA("pack", 900, Generate);

}   // namespace datagen
