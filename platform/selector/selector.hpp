#pragma once
// The start-up selector's dialog over GTK 3: three drop-down lists, four check boxes and
// the two buttons "Die" and "Demo", in a window of its own with its own main loop, run
// before the show's window exists. The caller gives the texts and the initial states and
// gets back the states at the moment the user accepted. Main thread only.

#include <string>
#include <vector>

namespace plat
{

struct SelectorDesc
{
  std::u16string Title;
  // the items of the three lists (resolution, aspect ratio, multisampling) and their
  // initial selections
  std::vector<std::u16string> Lists[3];
  int Selected[3] = {0, 0, 0};
  // "Cinematic Framerate (24-30fps)", "Fullscreen", "Wait for VSync", "Loop Demo"
  bool Checked[4] = {false, true, true, false};
};

struct SelectorResult
{
  int Selected[3] = {0, 0, 0};
  bool Checked[4] = {false, false, false, false};
};

// Called once the dialog is shown, with its window (a GtkWidget*); tests use it to drive
// the dialog. Null: nothing is called.
using SelectorShownFunc = void (*)(void *window, void *user);

// Runs the dialog until the user accepts (ENTER or "Demo": true, result filled) or cancels
// (ESC, "Die" or closing the window: false). False with the reason in error when there
// is no display to show it on.
bool RunSelectorDialog(const SelectorDesc &desc, SelectorResult &result, std::u16string &error,
                       SelectorShownFunc shown = nullptr, void *user = nullptr);

}
