#pragma once
// The show's scene table: every scene by its index, which is its number in the scene keys
// (0xE020 + index). The program registers it in this order; the bench runs each scene of
// it. A row without a constructor is a scene not built yet: its index stays empty.

#include "show/mainapp.hpp"

enum : sInt
{
  SHOW_SCENES = 16,
};

extern const ShowSceneRow sShowSceneTable[SHOW_SCENES];
