// The tree's writer: files under the root, the list of what was written, the manifest.
#include "datagen.hpp"

#include "base/file.hpp"
#include "base/textbuffer.hpp"
#include "graphics/image.hpp"
#include "picfiles.hpp"

#include <stb/stb_image_write.h>

namespace datagen
{

std::vector<Area> &GetAreas()
{
  static std::vector<Area> areas;
  return areas;
}

sRandomLcg NamedRandom(const char *name)
{
  return sRandomLcg(sChecksumCRC32(name, sGetStringLen8(name)));
}

void Tree::MakeFolders(const sChar *name)
{
  // every prefix up to a '/' is a folder; making one that exists does no harm
  sPathString path;
  for(sInt i = 0; name[i]; i++)
  {
    if(name[i] == '/' && i > 0)
      sMakeDir(path.Get());
    path[i] = name[i];
    path[i + 1] = 0;
  }
}

void Tree::Note(const sChar *name, sU32 flags)
{
  for(const TreeFile &f : Files)
    if(sCmpStringEqual(f.Name.c_str(), name))
      sFatalF(u"datagen: '%s' written twice\n", name);
  Files.push_back(TreeFile{name, flags});
}

void Tree::WriteData(const sChar *name, const void *data, sDInt size, sU32 flags)
{
  MakeFolders(name);
  if(!sSaveFileData(name, data, size))
    sFatalF(u"datagen: can't write '%s'\n", name);
  Note(name, flags);
}

void Tree::WriteText(const sChar *name, const sChar *text, sU32 flags)
{
  MakeFolders(name);
  if(!sSaveTextFile(name, text))
    sFatalF(u"datagen: can't write '%s'\n", name);
  Note(name, flags);
}

namespace
{
bool ExtensionIs(const sChar *name, const sChar *ext)
{
  const sChar *e = sFindFileExtension(name);
  return e && sCompareStringNoCase(e, ext) == 0;
}

void AppendBytes(void *context, void *data, int size)
{
  auto *out = static_cast<std::vector<sU8> *>(context);
  const sU8 *p = static_cast<const sU8 *>(data);
  out->insert(out->end(), p, p + size);
}
}   // namespace

void Tree::WriteImage(const sChar *name, const sImage &img, sU32 flags)
{
  // textures are mipped and block-compressed: whole 4 x 4 blocks at every size we write
  sVERIFY(img.SizeX > 0 && img.SizeY > 0 && img.SizeX % 4 == 0 && img.SizeY % 4 == 0);
  if(ExtensionIs(name, u"png") || ExtensionIs(name, u"jpg"))
  {
    bool jpg = ExtensionIs(name, u"jpg");
    bool alpha = false;
    sInt count = img.SizeX * img.SizeY;
    for(sInt i = 0; i < count && !alpha; i++)
      alpha = (img.Data[i] >> 24) != 0xff;
    int comps = alpha && !jpg ? 4 : 3;
    std::vector<sU8> rgba(size_t(count) * comps);
    for(sInt i = 0; i < count; i++)
    {
      sU32 c = img.Data[i];
      sU8 *p = &rgba[size_t(i) * comps];
      p[0] = sU8(c >> 16);
      p[1] = sU8(c >> 8);
      p[2] = sU8(c);
      if(comps == 4) p[3] = sU8(c >> 24);
    }
    std::vector<sU8> file;
    int ok = jpg ? stbi_write_jpg_to_func(AppendBytes, &file, img.SizeX, img.SizeY, comps, rgba.data(), 92)
                 : stbi_write_png_to_func(AppendBytes, &file, img.SizeX, img.SizeY, comps, rgba.data(),
                                          img.SizeX * comps);
    if(!ok)
      sFatalF(u"datagen: can't encode '%s'\n", name);
    WriteData(name, file.data(), sDInt(file.size()), flags);
    return;
  }
  if(ExtensionIs(name, u"gif") || ExtensionIs(name, u"tif"))
  {
    std::vector<uint8_t> file = ExtensionIs(name, u"gif") ? EncodeGif(img) : EncodeTiff(img);
    WriteData(name, file.data(), sDInt(file.size()), flags);
    return;
  }
  MakeFolders(name);
  if(!img.Save(name))
    sFatalF(u"datagen: can't write '%s'\n", name);
  Note(name, flags);
}

void Tree::WriteImagePair(const sChar *area, const std::u16string &name, const sChar *unpackedExt,
                          const sChar *packedExt, const sImage &img)
{
  const std::u16string folder(area);
  WriteImage((folder + u"/unpacked/" + name + unpackedExt).c_str(), img);
  WriteImage((folder + u"/packed/" + name + packedExt).c_str(), img, kPacked);
}

void Tree::WriteManifest(const sChar *name)
{
  sTextBuffer text;
  text.Print(u"# stand-in data tree: file, bytes, CRC-32\n");
  for(const TreeFile &f : Files)
  {
    sDInt size = 0;
    sU8 *data = sLoadFileData(f.Name.c_str(), &size);
    if(!data)
      sFatalF(u"datagen: '%s' is gone\n", f.Name.c_str());
    text.PrintF(u"%s %d %08x\n", f.Name.c_str(), sS64(size), sChecksumCRC32(data, size));
    sMemFree(data);
  }
  MakeFolders(name);
  if(!sSaveTextFile(name, text.Get()))
    sFatalF(u"datagen: can't write '%s'\n", name);
}

}   // namespace datagen
