#pragma once
// Textures made from images: the texture of an sImageData, and the shortcuts that convert
// an image or an image file into a texture of a given format.

#include "graphics/graphics.hpp"

class sImage;
class sImageData;

// A new 2D texture of the data's size, format and level count, loaded from its levels.
sTexture2D *sCreateTexture(const sImageData *data);
// A new 2D texture of the image in the format (type 0 means 2D; any other type but 2D
// stops the program). The full mip chain is made unless sTEX_NOMIPMAPS is set.
sTexture2D *sLoadTexture2D(const sImage *img, sU32 formatandflags);
// The same from an image file; null when the file cannot be loaded.
sTexture2D *sLoadTexture2DFile(const sChar *name, sU32 formatandflags);
