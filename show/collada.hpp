#pragma once
// The Collada importer's name lists, kept by a Model (Model::LoadCollada and
// Model::FindColladaEffect live in collada.cpp).
//
// The importer reads the subset of Collada (.dae) that two authoring tools export: it
// walks the text tag by tag with the framework's scanner and recognises elements by name
// and attributes by name and string value. It is not a general XML reader. A .dae file is
// outside input: a file it cannot read is reported ("collada loader error: ...") and
// refused, the model stays empty and the caller goes on.

#include "base/types.hpp"

enum : sInt
{
  sCOLLADA_NAMECHARS = 256,    // every name and reference is cut to this buffer
  sCOLLADA_MAYA = 1,
  sCOLLADA_SOFTIMAGE = 2,
};

struct ColladaName
{
  sChar Text[sCOLLADA_NAMECHARS];
};

// Owned arrays; counts are the model's MaterialCount, EffectCount and ImageCount.
struct ColladaNames
{
  sInt Tool = 0;                           // sCOLLADA_MAYA or sCOLLADA_SOFTIMAGE
  ColladaName *MaterialNames = nullptr;
  ColladaName *MaterialEffectRefs = nullptr;   // effect name without its '#'
  ColladaName *EffectNames = nullptr;
  ColladaName *EffectImageRefs = nullptr;
  ColladaName *ImageIds = nullptr;

  ColladaNames() = default;
  ~ColladaNames() { Free(); }
  ColladaNames(const ColladaNames &) = delete;
  ColladaNames &operator=(const ColladaNames &) = delete;
  void Free();
};
