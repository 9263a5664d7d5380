// Screen grabs into images: the read-back of the current colour target.

#include "graphics/graphics.hpp"
#include "graphics/image.hpp"

#include <cstring>

void sImage::GrabScreen()
{
  const sU8 *data = nullptr;
  sInt pitch = 0, flags = 0;
  sBeginReadScreen(data, pitch, flags);
  sVERIFY(flags == sTEX_ARGB8888);
  sInt x = 0, y = 0;
  sGetScreenSize(x, y);
  sVERIFY(pitch >= x * 4);
  Init(x, y);
  for(sInt row = 0; row < y; row++) memcpy(Data + sDInt(row) * x, data + sDInt(row) * pitch, size_t(x) * 4);
  sEndReadScreen();
}
