#pragma once
// The records the touch GUI owns and shares with the show engine. The GUI scene embeds them;
// the application hands their addresses to the SYNC machine, the IPP machine and the
// Slideshow scene at start. All of them are read and written on the main thread only.

#include "base/types.hpp"

// The GUI's scene request, read and written by the SYNC machine every frame. Words are
// 32-bit, in this order; the layout is shared with the SYNC machine's next-scene key.
struct SceneRequest
{
  sInt RequestFlag;       // nonzero when the operator picked a scene
  sInt RequestedScene;    // the scene index picked
  sInt TakenFlag;         // set to 1 by the SYNC machine when it issues the next scene key
  sInt NextNumber;        // the GUI's next scene or option number, used modulo 20
  sInt TransitionMode;    // copied into the scene machine's pending transition with the key
  sInt SlideshowIndex;    // the Slideshow's scene index (14)
  sInt NextIsSlideshow;   // 1 when NextNumber equals SlideshowIndex
  sInt CurrentIsSlideshow;// 1 when the current scene is the Slideshow
  sF32 PeakLevel;         // input peak level of the last 520 blocks, written every frame
  sF32 PeakHold;          // the decaying peak hold
  sF32 ClipFraction;      // fraction of clipped blocks (maximum above 0.99) of the last 520
  sF32 InputGain;         // the automatic input gain, 0..1
  sF32 LatencyMs;         // the latency in milliseconds, sets the beat phase offset
};
static_assert(sizeof(SceneRequest) == 13 * 4, "the scene request is 13 words");
