// The start-up selector: lists, accept step and the dialog.
#include "show/selector.hpp"

#include "graphics/graphics.hpp"
#include "platform/selector/selector.hpp"
#include "platform/window/window.hpp"

#include <algorithm>

namespace
{
std::u16string Format(const sChar *format, sInt a, sInt b)
{
  sChar buffer[128];
  sSPrintF(sStringRef(buffer, 128), format, a, b);
  return buffer;
}

std::u16string FormatLevel(sInt level)
{
  sChar buffer[64];
  sSPrintF(sStringRef(buffer, 64), u"|Level %d", level);
  return buffer;
}
}

std::u16string SelectorLists::SizeText() const
{
  std::u16string text;
  for(size_t i = 0; i < Sizes.size(); i++)
  {
    if(i) text += u"|";
    text += Format(u"%dx%d", Sizes[i].x, Sizes[i].y);
  }
  return text;
}

std::u16string SelectorLists::AspectText() const
{
  std::u16string text = u"Auto";
  for(const SelectorSize &a : Aspects) text += Format(u"|%d:%d", a.x, a.y);
  return text;
}

std::u16string SelectorLists::MultiText() const
{
  std::u16string text = u"off";
  for(sInt level = 1; level <= QualityLevels; level++) text += FormatLevel(level);
  return text;
}

SelectorLists BuildSelectorLists(const sScreenInfo &info)
{
  SelectorLists lists;
  for(const sScreenInfoXY &s : info.Sizes)
  {
    bool seen = false;
    for(const SelectorSize &t : lists.Sizes) seen |= t.x == s.x && t.y == s.y;
    if(!seen) lists.Sizes.push_back({s.x, s.y});
  }
  static const SelectorSize fixedRatios[] = {{4, 3}, {5, 4}, {16, 10}, {16, 9}};
  std::vector<SelectorSize> ratios(std::begin(fixedRatios), std::end(fixedRatios));
  for(const sScreenInfoXY &a : info.AspectRatios)
    if(a.x > 0 && a.y > 0) ratios.push_back({a.x, a.y});
  for(const SelectorSize &r : ratios)
  {
    bool seen = false;
    // 8:5 and 16:10 are one ratio: compare by value
    for(const SelectorSize &t : lists.Aspects) seen |= sS64(t.x) * r.y == sS64(r.x) * t.y;
    if(!seen) lists.Aspects.push_back(r);
  }
  std::stable_sort(lists.Aspects.begin(), lists.Aspects.end(),
                   [](const SelectorSize &a, const SelectorSize &b) { return sS64(a.x) * b.y < sS64(b.x) * a.y; });
  lists.QualityLevels = info.QualityLevels > 0 ? info.QualityLevels : 0;
  for(size_t i = 0; i < lists.Sizes.size(); i++)
    if(lists.Sizes[i].x == info.DesktopSizeX && lists.Sizes[i].y == info.DesktopSizeY) lists.InitialSize = sInt(i);
  return lists;
}

void sSelectorAccept(const SelectorLists &lists, const SelectorChoice &choice, sScreenMode &mode)
{
  sVERIFY(choice.Size >= 0 && choice.Size < sInt(lists.Sizes.size()));
  sVERIFY(choice.Aspect >= 0 && choice.Aspect <= sInt(lists.Aspects.size()));
  sVERIFY(choice.Multi >= 0 && choice.Multi <= lists.QualityLevels);
  mode.Display = -1;
  mode.SizeX = lists.Sizes[choice.Size].x;
  mode.SizeY = lists.Sizes[choice.Size].y;
  if(choice.Aspect == 0)
    mode.Aspect = sF32(mode.SizeX) / sF32(mode.SizeY);
  else
    mode.Aspect = sF32(lists.Aspects[choice.Aspect - 1].x) / sF32(lists.Aspects[choice.Aspect - 1].y);
  mode.MultiLevel = choice.Multi - 1;
  mode.Flags = sSM_VALID;
  if(choice.Fullscreen) mode.Flags |= sSM_FULLSCREEN;
  if(!choice.WaitVSync) mode.Flags |= sSM_NOVSYNC;
}

std::vector<std::u16string> SplitSelectorItems(const std::u16string &text)
{
  std::vector<std::u16string> items;
  size_t start = 0;
  for(;;)
  {
    size_t end = text.find(u'|', start);
    std::u16string item = text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    if(item.size() > 64) item.resize(64);
    items.push_back(item);
    if(end == std::u16string::npos) break;
    start = end + 1;
  }
  return items;
}

sInt sSelectorDialog(sScreenMode *mode, const sChar *title)
{
  // the display's modes are asked for before the show's window exists
  std::u16string error;
  if(!plat::InitVideo(error))
  {
    sLogF(u"sys", u"start-up selector: %s\n", error.c_str());
    return 0;
  }
  sScreenInfo info;
  sGetScreenInfo(info, 0, 0);
  SelectorLists lists = BuildSelectorLists(info);
  if(lists.Sizes.empty())
  {
    sLogF(u"sys", u"start-up selector: the display reports no modes\n");
    return 0;
  }
  plat::SelectorDesc desc;
  desc.Title = title ? title : u"";
  desc.Lists[0] = SplitSelectorItems(lists.SizeText());
  desc.Lists[1] = SplitSelectorItems(lists.AspectText());
  desc.Lists[2] = SplitSelectorItems(lists.MultiText());
  desc.Selected[0] = lists.InitialSize;
  plat::SelectorResult result;
  if(!plat::RunSelectorDialog(desc, result, error))
  {
    if(!error.empty()) sLogF(u"sys", u"start-up selector: %s\n", error.c_str());
    return 0;
  }
  SelectorChoice choice;
  choice.Size = result.Selected[0];
  choice.Aspect = result.Selected[1];
  choice.Multi = result.Selected[2];
  choice.Fullscreen = result.Checked[1];
  choice.WaitVSync = result.Checked[2];
  // a list the user never opened reports no selection
  if(choice.Size < 0) choice.Size = lists.InitialSize;
  if(choice.Aspect < 0) choice.Aspect = 0;
  if(choice.Multi < 0) choice.Multi = 0;
  sSelectorAccept(lists, choice, *mode);
  return 1;
}
