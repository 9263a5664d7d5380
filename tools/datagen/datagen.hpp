#pragma once
// The stand-in data tree's generator. The show reads a tree of pictures, music and control
// files that does not come with the program; this tool draws and synthesises all of it.
//
// Every area of the tree (the IPP machine's pictures, the loader, the music, the control
// files, the pack file; later each scene and the GUI) is one source file that registers
// one function with DATAGEN_AREA. The functions run in ascending order on one Tree, which
// writes their files under the tree's root (the current directory while the tool runs),
// keeps the list of what was written, and at the end writes the manifest: every file with
// its size and CRC-32, read back from the disk.
//
// Everything is deterministic: an area draws its random numbers from a generator seeded
// with its own name, and no clock or machine state enters a file (the pictures with text
// depend on the font the machine has).

#include "base/numbers.hpp"
#include "base/types.hpp"

#include <string>
#include <vector>

class sImage;

namespace datagen
{

// Flags of a written file.
enum : sU32
{
  kPacked = 1,   // goes into the pack file (the "packed" variants the show opens)
};

struct TreeFile
{
  std::u16string Name;   // relative to the root, '/' separated
  sU32 Flags;
};

class Tree
{
public:
  // The bytes as the named file; folders are made as needed. A file that cannot be
  // written stops the tool.
  void WriteData(const sChar *name, const void *data, sDInt size, sU32 flags = 0);
  // Text as the program writes its text files: 8-bit with CR LF line ends.
  void WriteText(const sChar *name, const sChar *text, sU32 flags = 0);
  // A picture in the format of the name's extension: "bmp", "pic" and "tga" through the
  // framework's writers, "png" (with alpha only when the picture has some) and "jpg"
  // through stb_image_write. Sizes must be multiples of 4 (block compression).
  void WriteImage(const sChar *name, const sImage &img, sU32 flags = 0);
  // One picture in both folders of an area: "<area>/unpacked/<name><unpackedExt>" and, for
  // the pack file, "<area>/packed/<name><packedExt>" (the extensions with their dot).
  void WriteImagePair(const sChar *area, const std::u16string &name, const sChar *unpackedExt,
                      const sChar *packedExt, const sImage &img);
  // A file that something else wrote (the pack builder) joins the list.
  void Note(const sChar *name, sU32 flags = 0);

  const std::vector<TreeFile> &GetFiles() const { return Files; }
  // The manifest: a comment line, then one line per file: name, bytes, CRC-32 (hex).
  void WriteManifest(const sChar *name);

private:
  void MakeFolders(const sChar *name);
  std::vector<TreeFile> Files;
};

// One area of the tree. Areas run in ascending Order; the pack runs last because it packs
// what the others wrote.
struct Area
{
  const char *Name;
  sInt Order;
  void (*Generate)(Tree &tree);
};

std::vector<Area> &GetAreas();

struct AreaRegistration
{
  AreaRegistration(const char *name, sInt order, void (*generate)(Tree &tree))
  {
    GetAreas().push_back(Area{name, order, generate});
  }
};

#define DATAGEN_AREA(name, order, function) \
  static const datagen::AreaRegistration DatagenArea_##function(name, order, function)

// A generator seeded with a name: every area gets its own sequence, so a new area does
// not change what the others draw.
sRandomLcg NamedRandom(const char *name);

}   // namespace datagen
