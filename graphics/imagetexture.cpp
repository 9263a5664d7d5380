// Textures made from images.

#include "graphics/imagetexture.hpp"

#include "base/app.hpp"
#include "graphics/image.hpp"

sTexture2D *sCreateTexture(const sImageData *data)
{
  sVERIFY(data && data->Data);
  sVERIFY((data->Format & sTEX_TYPE_MASK) == sTEX_2D);
  sVERIFY(data->CodecType == sICT_RAW);
  sTexture2D *tex = sNEW sTexture2D(data->SizeX, data->SizeY, sU32(data->Format), data->Mipmaps);
  // the texture reads its levels from the data: it may not have more of them
  sVERIFY(tex->Mipmaps <= data->Mipmaps);
  tex->LoadAll(data->Data);
  return tex;
}

sTexture2D *sLoadTexture2D(const sImage *img, sU32 formatandflags)
{
  sVERIFY(img && img->Data);
  if((formatandflags & sTEX_TYPE_MASK) == 0) formatandflags |= sTEX_2D;
  sVERIFY((formatandflags & sTEX_TYPE_MASK)==sTEX_2D);

  sImageData data;
  data.Init(sInt(formatandflags), 0, img->SizeX, img->SizeY);
  data.ConvertFrom(img);
  return sCreateTexture(&data);
}

sTexture2D *sLoadTexture2DFile(const sChar *name, sU32 formatandflags)
{
  sImage img;
  if(!img.Load(name)) return nullptr;
  return sLoadTexture2D(&img, formatandflags);
}
