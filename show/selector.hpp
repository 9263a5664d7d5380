#pragma once
// The start-up selector: the lists it offers (from what the display reports), the dialog
// (a thin GTK layer in platform/selector) and the accept step that turns the chosen
// entries into the screen mode. Main thread only, before the show's window exists.

#include "base/types.hpp"

#include <string>
#include <vector>

struct sScreenInfo;
struct sScreenMode;

struct SelectorSize
{
  sInt x, y;
};

// What the dialog offers: the unique mode sizes, the aspect ratios (sorted by value) and
// the number of multisampling quality levels, and the entry selected at first.
struct SelectorLists
{
  std::vector<SelectorSize> Sizes;
  std::vector<SelectorSize> Aspects;
  sInt QualityLevels = 0;
  sInt InitialSize = 0;   // the desktop's size, else the first

  // The combo texts: "%s%dx%d" per size, "Auto" and "|%d:%d" per ratio, "off" and
  // "|Level %d" per level, each with '|' between items.
  std::u16string SizeText() const;
  std::u16string AspectText() const;
  std::u16string MultiText() const;
};

// The lists from the display's report: its sizes, its aspect ratios together with 4:3,
// 5:4, 16:10 and 16:9 (each once, sorted by value), its quality levels.
SelectorLists BuildSelectorLists(const sScreenInfo &info);

// The states of the controls when the user accepted.
struct SelectorChoice
{
  sInt Size = 0;          // index into Sizes
  sInt Aspect = 0;        // 0 "Auto", else 1 + index into Aspects
  sInt Multi = 0;         // 0 "off", else the level
  sBool Fullscreen = 1;
  sBool WaitVSync = 1;
};

// Reads the choice into the mode: the default display, the chosen size, the aspect (the
// size's own for "Auto"), the multisampling level (-1 for "off") and the flags (valid,
// full screen, no wait for the retrace). An index outside its list is fatal.
void sSelectorAccept(const SelectorLists &lists, const SelectorChoice &choice, sScreenMode &mode);

// Splits a combo text at '|' into items of at most 64 characters.
std::vector<std::u16string> SplitSelectorItems(const std::u16string &text);

// Shows the dialog titled with the product name and runs its loop; 1 when the user
// accepted (mode filled), 0 when the dialog was closed without accepting or could not be
// shown.
sInt sSelectorDialog(sScreenMode *mode, const sChar *title);
