// The Collada importer: reads the meshes, images, effects and materials of a .dae file
// into a Model.
//
// The text is walked tag by tag. Between tags the walk looks for the next '<' itself, so
// element text (comments, tool names, quotes) never upsets the tokens; a tag and the
// number lists inside float_array and p elements are read with the framework's scanner.
// Libraries may come in any order: names are resolved after the whole file is read. (A
// walk of every token with counts taken section by section mistook text for tokens and
// miscounted files whose libraries come in another order.)

#include "show/collada.hpp"

#include "base/file.hpp"
#include "show/model.hpp"
#include "util/scanner.hpp"

#include <vector>

namespace
{
const sChar MayaTool[] = u"Maya7.0 | ColladaMaya v3.05B";
const sChar SoftimageTool[] = u"Autodesk Softimage";

// Array id patterns of the two tools: positions, normals, first and second uv set.
const sChar *const MayaArrays[4] = {u"-positions-array", u"-normals-array", u"-map1-array", u"-map2-array"};
const sChar *const SoftimageArrays[4] = {u"-Pos-array", u"-XSINormal-array", u"-Texture_Projection-array",
                                         u"-Texture_Projection1-array"};

// Index inputs (and slots) a triangles element may have: more stop the import.
constexpr sInt MaxSlots = 6;

struct Name256
{
  sChar Text[sCOLLADA_NAMECHARS];
  Name256() { Text[0] = 0; }
  void Set(const sChar *s) { sCopyString(Text, s ? s : u"", sCOLLADA_NAMECHARS); }
};

struct ImageRec
{
  Name256 Id;
  sPathString File;
  sBool HasFile = 0;
};

struct EffectRec
{
  Name256 Name;
  Name256 ImageRef;
  sBool HasRef = 0;
};

struct MaterialRec
{
  Name256 Name;
  Name256 EffectRef;
};

struct GeometryRec
{
  Name256 Id;
  RawMesh *Mesh = nullptr;
  sBool Checked = 0;         // arrays checked (at vertices, triangles or the end)
  sBool SeenVertices = 0;
  sBool HasTriangles = 0;
};

class ColladaImport
{
public:
  ColladaImport(Model &model, const sChar *path, const sChar *text) : M(model), Path(path), Cur(text), End(text)
  {
    while(*End) End++;
    S.AddDefaultTokens();
    S.StartString(text);
  }
  ~ColladaImport()
  {
    for(GeometryRec &g : Geometries) sDELETE(g.Mesh);
  }
  sBool Run();

private:
  enum Section { None, Images, Effects, Materials, Geometries_, Visual };
  struct Attr
  {
    const sChar *Name;
    const sChar *Value;
  };

  Model &M;
  const sChar *Path;
  sScanner S;
  const sChar *Cur;   // where the next search for '<' starts
  const sChar *End;
  sBool Failed = 0;

  // the current tag
  const sChar *Tag = u"";
  sBool Closing = 0;
  sBool SelfClosing = 0;
  Attr Attrs[16];
  sInt AttrCount = 0;

  std::vector<ImageRec> ImagesList;
  std::vector<EffectRec> EffectsList;
  std::vector<MaterialRec> MaterialsList;
  std::vector<GeometryRec> Geometries;
  std::vector<Name256> Instances;       // material target of each instance_geometry
  std::vector<sBool> InstanceHasTarget;

  // triangles element being read
  sInt TriCount = 0;
  sInt KindSlot[3];                     // slot of the positions, normals and uvs; -1 none
  sInt SlotCount = 0;
  sInt InputCount = 0;

  template <class... A> sBool Fail(const sChar *format, const A &...args)
  {
    if(!Failed) sDPrintF(format, args...);
    Failed = 1;
    return 0;
  }
  sBool UnknownFormat()
  {
    return Fail(u"collada loader error: unknown format. known formats: %s,%s\n", MayaTool, SoftimageTool);
  }
  sBool Is(const sChar *name) const { return sCmpStringEqual(Tag, name); }
  const sChar *Attribute(const sChar *name) const;
  const sChar *NameAttribute() const;
  sInt NextTag();   // 1 a tag, 0 the end of the text
  void ReadText(sChar *dest, sInt capacity);
  // The n numbers of a list, each read by scan: a stray character in an earlier tag does
  // not spoil them, only an error inside the list does.
  template <class T> sBool ReadNumbers(T *dest, sS64 n, T (sScanner::*scan)())
  {
    sInt errors = S.Errors;
    S.Source->Pos = Cur;
    S.Scan();
    for(sS64 i = 0; i < n && S.Errors == errors; i++) dest[i] = (S.*scan)();
    Cur = S.TokenPos;
    return S.Errors == errors;
  }
  sS64 CharsLeft() const { return End - Cur; }

  sBool StartGeometryTag();
  sBool CheckArrays(GeometryRec &g);
  sBool ReadArray(GeometryRec &g, sInt which);
  sBool ReadIndexList(GeometryRec &g);
  sBool Finish();
};

const sChar *ColladaImport::Attribute(const sChar *name) const
{
  for(sInt i = 0; i < AttrCount; i++)
    if(sCmpStringEqual(Attrs[i].Name, name)) return Attrs[i].Value;
  return nullptr;
}

// An element's name: the first string after its name, its first attribute's value.
const sChar *ColladaImport::NameAttribute() const
{
  return AttrCount ? Attrs[0].Value : u"";
}

sInt ColladaImport::NextTag()
{
  for(;;)
  {
    while(Cur < End && *Cur != '<') Cur++;
    if(Cur >= End) return 0;
    if(sCompareStringN(Cur, u"<!--", 4) == 0 || sCompareStringN(Cur, u"<![CDATA[", 9) == 0)
    {
      const sChar *close = Cur[2] == '-' ? u"-->" : u"]]>";
      sInt found = sFindString(Cur + 4, close);
      if(found < 0) return 0;
      Cur += 4 + found + 3;
      continue;
    }
    S.Source->Pos = Cur;
    S.Scan();   // '<'
    S.Scan();
    if(S.Token == '?' || S.Token == '!')
    {
      // declarations and processing instructions end at the next '>'
      Cur = S.TokenPos;
      while(Cur < End && *Cur != '>') Cur++;
      continue;
    }
    Closing = S.Token == '/';
    if(Closing) S.Scan();
    if(S.Token != sTOK_NAME)
    {
      // a '<' that starts no tag is text
      Cur = S.TokenPos > Cur ? S.TokenPos : Cur + 1;
      continue;
    }
    Tag = S.Name;
    SelfClosing = 0;
    AttrCount = 0;
    const sChar *last = nullptr;
    S.Scan();
    while(S.Token != '>' && S.Token != sTOK_END)
    {
      if(S.Token == sTOK_NAME)
      {
        last = S.Name;
      }
      else if(S.Token == '=')
      {
        S.Scan();
        if(S.Token == sTOK_STRING && last && AttrCount < 16) Attrs[AttrCount++] = Attr{last, S.String};
        if(S.Token == '>' || S.Token == sTOK_END) break;
      }
      SelfClosing = S.Token == '/';
      S.Scan();
    }
    if(S.Token == sTOK_END)
    {
      Cur = End;
      return 0;
    }
    Cur = S.Source->Pos;   // just after '>'
    return 1;
  }
}

// The element's text up to the next '<', without surrounding blanks.
void ColladaImport::ReadText(sChar *dest, sInt capacity)
{
  const sChar *p = Cur;
  while(p < End && *p != '<') p++;
  const sChar *a = Cur, *b = p;
  while(a < b && (*a == ' ' || *a == '\t' || *a == '\n' || *a == '\r')) a++;
  while(b > a && (b[-1] == ' ' || b[-1] == '\t' || b[-1] == '\n' || b[-1] == '\r')) b--;
  sInt n = 0;
  while(a < b && n < capacity - 1) dest[n++] = *a++;
  dest[n] = 0;
  Cur = p;
}

sBool ColladaImport::CheckArrays(GeometryRec &g)
{
  if(g.Checked) return 1;
  g.Checked = 1;
  RawMesh &m = *g.Mesh;
  if(!m.Positions) return Fail(u"collada loader error: no vertex array found in: %s\n", g.Id.Text);
  if(!m.Normals) sDPrintF(u"collada loader message: no normal array found in: %s\n", g.Id.Text);
  if(!m.UV0) sDPrintF(u"collada loader message: no uv1 array found in: %s\n", g.Id.Text);
  if(!m.UV1) sDPrintF(u"collada loader message: no uv2 array found in: %s\n", g.Id.Text);
  return 1;
}

sBool ColladaImport::ReadArray(GeometryRec &g, sInt which)
{
  RawMesh &m = *g.Mesh;
  const sChar *countText = Attribute(u"count");
  sInt count = 0;
  // every number takes a character and a separator: a count beyond that is a lie
  if(!countText || !sScanInt(countText, count) || count < 0 || sS64(count) > CharsLeft() / 2 + 1)
    return Fail(u"collada loader error: bad array count in: %s\n", g.Id.Text);
  sInt stride = which < 2 ? 3 : 2;
  sF32 **arrays[4] = {&m.Positions, &m.Normals, &m.UV0, &m.UV1};
  sInt *counts[4] = {&m.VertexCount, &m.NormalCount, &m.UV0Count, &m.UV1Count};
  sSetAllocSource(__FILE__, __LINE__);
  sF32 *values = static_cast<sF32 *>(sMemAlloc(sDInt(sizeof(sF32)) * (count + 1), 16, 0));
  if(!ReadNumbers(values, count, &sScanner::ScanFloat))
  {
    sMemFree(values);
    return Fail(u"collada loader error: bad number in an array of: %s\n", g.Id.Text);
  }
  sMemFree(*arrays[which]);
  *arrays[which] = values;
  *counts[which] = count / stride;
  return 1;
}

sBool ColladaImport::ReadIndexList(GeometryRec &g)
{
  RawMesh &m = *g.Mesh;
  if(KindSlot[0] < 0)
    return Fail(u"collada loader error: unknown triangle index structure. indexcount:%d\n", SlotCount);
  if(!CheckArrays(g)) return 0;

  // an input whose array the file lacks keeps its slot but gives the mesh nothing
  if(!m.Normals) KindSlot[1] = -1;
  if(!m.UV0) KindSlot[2] = -1;
  sS64 corners = 3 * sS64(TriCount);
  sS64 values = corners * SlotCount;
  if(values > CharsLeft() / 2 + 1) return Fail(u"collada loader error: bad triangle count in: %s\n", g.Id.Text);

  m.TriangleCount = TriCount;
  m.CornerCount = sInt(corners);
  m.PolygonCount = m.QuadCount = 0;
  m.Flags = sRMF_POSITION | (KindSlot[1] >= 0 ? sInt(sRMF_NORMAL) : 0) | (KindSlot[2] >= 0 ? sInt(sRMF_UV) : 0);
  m.AllocArrays();

  sSetAllocSource(__FILE__, __LINE__);
  sInt *all = static_cast<sInt *>(sMemAlloc(sDInt(sizeof(sInt)) * (values + 1), 16, 0));
  sBool ok = ReadNumbers(all, values, &sScanner::ScanInt);
  sInt *arrays[3] = {m.PositionIndex, m.NormalIndex, m.UVIndex};
  const sInt counts[3] = {m.VertexCount, m.NormalCount, m.UV0Count};
  for(sInt k = 0; ok && k < 3; k++)
    for(sS64 c = 0; KindSlot[k] >= 0 && c < corners; c++)
    {
      sInt v = all[c * SlotCount + KindSlot[k]];
      arrays[k][c] = v;
      ok &= v >= 0 && v < counts[k];
    }
  sMemFree(all);
  if(!ok) return Fail(u"collada loader error: bad triangle index in: %s\n", g.Id.Text);
  return 1;
}

sBool ColladaImport::StartGeometryTag()
{
  if(Is(u"geometry"))
  {
    if(M.Names.Tool == 0) return UnknownFormat();
    GeometryRec g;
    g.Id.Set(NameAttribute());
    g.Mesh = sNEW RawMesh;
    Geometries.push_back(g);
    return 1;
  }
  if(Geometries.empty()) return 1;
  GeometryRec &g = Geometries.back();
  if(Is(u"polylist")) return Fail(u"collada loader error: only triangles allowed.\n");
  if(Is(u"vertices"))
  {
    g.SeenVertices = 1;
    return CheckArrays(g);
  }
  if(!g.SeenVertices)
  {
    const sChar *id = Attribute(u"id");
    if(!id) return 1;
    const sChar *const *patterns = M.Names.Tool == sCOLLADA_MAYA ? MayaArrays : SoftimageArrays;
    sInt len = sGetStringLen(g.Id.Text);
    for(sInt a = 0; a < 4; a++)
      if(sCompareStringN(id, g.Id.Text, len) == 0 && sCmpStringEqual(id + len, patterns[a])) return ReadArray(g, a);
    return 1;
  }
  if(Is(u"triangles"))
  {
    if(g.HasTriangles) return Fail(u"collada loader error: more than one triangles element in: %s\n", g.Id.Text);
    g.HasTriangles = 1;
    const sChar *countText = Attribute(u"count");
    TriCount = 0;
    if(countText && (!sScanInt(countText, TriCount) || TriCount < 0))
      return Fail(u"collada loader error: bad triangle count in: %s\n", g.Id.Text);
    SlotCount = InputCount = 0;
    for(sInt &s : KindSlot) s = -1;
    return 1;
  }
  if(Is(u"input") && g.HasTriangles)
  {
    // every input takes the slot its offset names, known or not; only the first uv set
    // is the mesh's texture coordinate
    const sChar *sem = Attribute(u"semantic");
    const sChar *offText = Attribute(u"offset");
    sInt offset = InputCount;
    if(offText && (!sScanInt(offText, offset) || offset < 0)) offset = MaxSlots;
    InputCount++;
    if(offset >= MaxSlots || InputCount > MaxSlots)
      return Fail(u"collada loader error: unknown triangle index structure. indexcount:%d\n",
                  offset + 1 > InputCount ? offset + 1 : InputCount);
    if(offset + 1 > SlotCount) SlotCount = offset + 1;
    static const sChar *const kinds[3] = {u"VERTEX", u"NORMAL", u"TEXCOORD"};
    for(sInt k = 0; k < 3; k++)
      if(sem && sCmpStringEqual(sem, kinds[k]) && KindSlot[k] < 0) KindSlot[k] = offset;
    return 1;
  }
  if(Is(u"p") && g.HasTriangles) return ReadIndexList(g);
  return 1;
}

sBool ColladaImport::Run()
{
  Section section = None;
  sInt openImage = -1, openEffect = -1, openMaterial = -1;
  while(!Failed && NextTag())
  {
    if(Closing)
    {
      if(sCompareStringN(Tag, u"library_", 8) == 0) section = None;
      if(Is(u"image") && openImage >= 0)
      {
        if(!ImagesList[size_t(openImage)].HasFile) ImagesList.pop_back();
        openImage = -1;
      }
      if(Is(u"effect") && openEffect >= 0)
      {
        if(!EffectsList[size_t(openEffect)].HasRef)
          return Fail(u"collada loader error: no texture in effect found. effect: %s\n",
                      EffectsList[size_t(openEffect)].Name.Text);
        openEffect = -1;
      }
      if(Is(u"material")) openMaterial = -1;
      if(Is(u"geometry") && !Geometries.empty() && !CheckArrays(Geometries.back())) return 0;
      continue;
    }

    if(Is(u"authoring_tool"))
    {
      sChar tool[256];
      ReadText(tool, 256);
      if(sCmpStringEqual(tool, MayaTool)) M.Names.Tool = sCOLLADA_MAYA;
      else if(sFindString(tool, SoftimageTool) >= 0) M.Names.Tool = sCOLLADA_SOFTIMAGE;
      else return UnknownFormat();
      continue;
    }
    if(sCompareStringN(Tag, u"library_", 8) == 0)
    {
      section = None;
      if(!SelfClosing)
      {
        if(Is(u"library_images")) section = Images;
        if(Is(u"library_effects")) section = Effects;
        if(Is(u"library_materials")) section = Materials;
        if(Is(u"library_geometries")) section = Geometries_;
        if(Is(u"library_visual_scenes")) section = Visual;
      }
      continue;
    }

    sBool soft = M.Names.Tool == sCOLLADA_SOFTIMAGE;
    switch(section)
    {
    case Images:
      if(!soft) break;
      if(Is(u"image") && !SelfClosing)
      {
        ImagesList.emplace_back();
        ImagesList.back().Id.Set(NameAttribute());
        openImage = sInt(ImagesList.size()) - 1;
      }
      else if(Is(u"init_from") && openImage >= 0 && !SelfClosing && !ImagesList.back().HasFile)
      {
        sChar ref[sMAXPATH];
        ReadText(ref, sMAXPATH);
        ImageRec &im = ImagesList.back();
        // the file part of the reference, in the model's folder
        im.File = M.Folder;
        sAppendString(im.File.GetBuffer(), sFindFileWithoutPath(ref), sMAXPATH);
        im.HasFile = 1;
      }
      break;
    case Effects:
      if(!soft) break;
      if(Is(u"effect"))
      {
        EffectsList.emplace_back();
        EffectsList.back().Name.Set(NameAttribute());
        openEffect = sInt(EffectsList.size()) - 1;
        if(SelfClosing)
          return Fail(u"collada loader error: no texture in effect found. effect: %s\n", EffectsList.back().Name.Text);
      }
      else if(Is(u"init_from") && openEffect >= 0 && !SelfClosing && !EffectsList.back().HasRef)
      {
        ReadText(EffectsList.back().ImageRef.Text, sCOLLADA_NAMECHARS);
        EffectsList.back().HasRef = 1;
      }
      break;
    case Materials:
      if(Is(u"material"))
      {
        MaterialsList.emplace_back();
        MaterialsList.back().Name.Set(NameAttribute());
        openMaterial = SelfClosing ? -1 : sInt(MaterialsList.size()) - 1;
      }
      else if(Is(u"instance_effect") && openMaterial >= 0)
      {
        const sChar *url = Attribute(u"url");
        MaterialsList.back().EffectRef.Set(url && *url ? url + 1 : u"");
      }
      break;
    case Geometries_:
      if(!StartGeometryTag()) return 0;
      break;
    case Visual:
      if(Is(u"instance_geometry"))
      {
        Instances.emplace_back();
        InstanceHasTarget.push_back(0);
      }
      else if(Is(u"instance_material") && !Instances.empty() && !InstanceHasTarget.back())
      {
        const sChar *target = Attribute(u"target");
        Instances.back().Set(target && *target ? target + 1 : u"");
        InstanceHasTarget.back() = 1;
      }
      break;
    default:
      break;
    }
  }
  if(Failed) return 0;
  return Finish();
}

sBool ColladaImport::Finish()
{
  if(M.Names.Tool == 0) return UnknownFormat();
  for(GeometryRec &g : Geometries)
    if(!CheckArrays(g)) return 0;

  sInt meshCount = sInt(Geometries.size());
  sInt materialCount = sInt(MaterialsList.size());
  sInt effectCount = sInt(EffectsList.size());
  sInt imageCount = sInt(ImagesList.size());

  for(sInt i = 0; i < meshCount; i++)
  {
    RawMesh *m = Geometries[size_t(i)].Mesh;
    m->MaterialIndex = materialCount;
    if(size_t(i) < Instances.size())
      for(sInt k = 0; k < materialCount; k++)
        if(sCmpStringEqual(MaterialsList[size_t(k)].Name.Text, Instances[size_t(i)].Text))
        {
          m->MaterialIndex = k;
          break;
        }
    m->OptimizeVertices();
    if(m->OptimizedNumber > sMODEL_MAXVERTICES)
      return Fail(u"collada loader error: %s has %d vertices, more than 16-bit indices address\n",
                  Geometries[size_t(i)].Id.Text, m->OptimizedNumber);
  }

  sInt tool = M.Names.Tool;
  M.AllocLists(meshCount, materialCount, effectCount, imageCount);
  M.Names.Tool = tool;
  for(sInt i = 0; i < meshCount; i++)
  {
    sDELETE(M.Meshes[i]);
    M.Meshes[i] = Geometries[size_t(i)].Mesh;
    Geometries[size_t(i)].Mesh = nullptr;
  }
  ColladaNames &n = M.Names;
  auto names = [](sInt count) {
    sSetAllocSource(__FILE__, __LINE__);
    return static_cast<ColladaName *>(sMemAlloc(sDInt(sizeof(ColladaName)) * (count + 1), 16, 0));
  };
  n.MaterialNames = names(materialCount);
  n.MaterialEffectRefs = names(materialCount);
  n.EffectNames = names(effectCount);
  n.EffectImageRefs = names(effectCount);
  n.ImageIds = names(imageCount);
  for(sInt i = 0; i < materialCount; i++)
  {
    sCopyString(n.MaterialNames[i].Text, MaterialsList[size_t(i)].Name.Text, sCOLLADA_NAMECHARS);
    sCopyString(n.MaterialEffectRefs[i].Text, MaterialsList[size_t(i)].EffectRef.Text, sCOLLADA_NAMECHARS);
    M.MaterialEffects[i] = i + 1;
  }
  for(sInt i = 0; i < effectCount; i++)
  {
    sCopyString(n.EffectNames[i].Text, EffectsList[size_t(i)].Name.Text, sCOLLADA_NAMECHARS);
    sCopyString(n.EffectImageRefs[i].Text, EffectsList[size_t(i)].ImageRef.Text, sCOLLADA_NAMECHARS);
  }
  for(sInt i = 0; i < imageCount; i++)
  {
    sCopyString(n.ImageIds[i].Text, ImagesList[size_t(i)].Id.Text, sCOLLADA_NAMECHARS);
    M.SetImageFile(i, ImagesList[size_t(i)].File.Get());
  }

  // one material row per effect slot; slots past the materials have no material to ask
  for(sInt i = 0; i < effectCount; i++)
  {
    sInt image = i < materialCount ? M.FindColladaEffect(i) : -1;
    if(image == -2)
      return Fail(u"collada loader error: effect in material not found. effect:%s, material:%s\n",
                  n.MaterialEffectRefs[i].Text, n.MaterialNames[i].Text);
    M.EffectTextures[i] = image;
  }
  if(!M.AppendTableRows(Path, 1))
  {
    Failed = 1;   // the rows' own message says why
    return 0;
  }
  return 1;
}
}  // namespace

void ColladaNames::Free()
{
  ColladaName **lists[5] = {&MaterialNames, &MaterialEffectRefs, &EffectNames, &EffectImageRefs, &ImageIds};
  for(ColladaName **l : lists)
  {
    sMemFree(*l);
    *l = nullptr;
  }
  Tool = 0;
}

sInt Model::FindColladaEffect(sInt materialIndex) const
{
  sVERIFY(materialIndex>=0 && materialIndex<MaterialCount);
  const sChar *ref = Names.MaterialEffectRefs[materialIndex].Text;
  for(sInt e = 0; e < EffectCount; e++)
  {
    if(!sCmpStringEqual(Names.EffectNames[e].Text, ref)) continue;
    for(sInt i = 0; i < ImageCount; i++)
      if(sCmpStringEqual(Names.ImageIds[i].Text, Names.EffectImageRefs[e].Text)) return i;
    return -1;
  }
  return -2;
}

sBool Model::LoadCollada(const sChar *path)
{
  sChar *text = sLoadTextFile(path);
  if(!text)
  {
    sDPrintF(u"collada loader error: can't read %s\n", path);
    return 0;
  }
  sBool ok;
  {
    ColladaImport import(*this, path, text);
    ok = import.Run();
  }
  sMemFree(text);
  if(!ok)
  {
    sDPrintF(u"collada loader: %s refused\n", path);
    FreeLoaded();
  }
  return ok;
}
