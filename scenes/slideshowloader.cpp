// The Slideshow's picture loader: one thread that keeps exactly one picture decoded ahead
// of the screen. It decodes without the lock, so the main thread never waits for a
// decode; everything it shares with the scene it reads and writes under the lock.
#include "scenes/slideshow.hpp"

#include "graphics/image.hpp"
#include "show/media.hpp"

sBool SlideshowLoadNext(SlideshowScene *s)
{
  sChar name[SLIDESHOW_PATHCHARS];
  sInt slot = 0, generation = 0;
  {
    sScopeLock lock(s->Lock);
    // the count of the scene's own listing, not the control's: the GUI may count the
    // folder again meanwhile, and a larger count would read past the listing
    if(!s->LoadingEnabled || s->LoadIndex - s->ShownIndex >= 1 || s->LoadIndex >= s->PictureCount) return 0;
    sDPrint(u"lets load a picture.\n");
    slot = s->LoadIndex % 3;
    generation = s->Generation;
    // the name is copied here: Enter may list the folder again while the file decodes
    JoinPath(sStringRef(name), s->Folder, s->Listing[s->LoadIndex].Name);
  }

  for(;;)
  {
    sImage *img = LoadPicture(name);
    sScopeLock lock(s->Lock);
    if(generation != s->Generation)
    {
      // decoded for a listing that is gone: the new listing starts from its own first file
      if(img) sDELETE(img);
      return 1;
    }
    if(img)
    {
      if(s->PendingImage) sDELETE(s->PendingImage);
      s->PendingImage = img;
      s->PendingSlot = slot;
      s->PendingFlag = 1;
    }
    // a file that does not decode is skipped: its slot keeps the picture it had. While the
    // slot has no texture the next file goes into it too, a newer picture replacing the
    // one still pending, until the slot has one or the folder ends.
    s->LoadIndex++;
    if(s->SlotHasPicture(slot) || s->LoadIndex >= s->PictureCount) return 1;
    JoinPath(sStringRef(name), s->Folder, s->Listing[s->LoadIndex].Name);
  }
}

void SlideshowLoaderLoop(SlideshowScene *scene, sThread *thread)
{
  while(!thread->CheckTerminate())
  {
    sSleep(5);
    SlideshowLoadNext(scene);
  }
}
