// The start-up selector: its lists, the accept step and the real dialog.
#include "show/selector.hpp"

#include "graphics/graphics.hpp"
#include "platform/selector/selector.hpp"
#include "platform/text/utf.hpp"
#include "show/startup.hpp"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

TEST(Selector, ListsAndAccept)
{
  sScreenInfo info;
  info.Sizes.AddTail(sScreenInfoXY{1280, 1024});
  info.Sizes.AddTail(sScreenInfoXY{1920, 1080});
  info.AspectRatios.AddTail(sScreenInfoXY{21, 9});
  info.AspectRatios.AddTail(sScreenInfoXY{8, 5});   // 16:10 once more
  info.QualityLevels = 2;
  info.DesktopSizeX = 1920;
  info.DesktopSizeY = 1080;
  SelectorLists lists = BuildSelectorLists(info);
  EXPECT_EQ(lists.SizeText(), u"1280x1024|1920x1080");
  EXPECT_EQ(lists.AspectText(), u"Auto|5:4|4:3|16:10|16:9|21:9");
  EXPECT_EQ(lists.MultiText(), u"off|Level 1|Level 2");
  EXPECT_EQ(lists.InitialSize, 1);

  sScreenMode mode;
  sSelectorAccept(lists, SelectorChoice{0, 0, 0, 1, 1}, mode);   // 1280 x 1024 with "Auto"
  EXPECT_FLOAT_EQ(mode.Aspect, 1.25f);
  EXPECT_EQ(mode.MultiLevel, -1);
  EXPECT_EQ(GetSelectorInitFlags(mode), 0xbu);
  sSelectorAccept(lists, SelectorChoice{1, 4, 2, 0, 0}, mode);   // 16:9, no vsync: 0x100
  EXPECT_FLOAT_EQ(mode.Aspect, 16.0f / 9.0f);
  EXPECT_EQ(mode.MultiLevel, 1);
  EXPECT_EQ(mode.Flags, sU32(sSM_VALID | sSM_NOVSYNC));
  EXPECT_EQ(GetSelectorInitFlags(mode), 0x10au);
  EXPECT_DEATH(sSelectorAccept(lists, SelectorChoice{2, 0, 0, 1, 1}, mode), "");
  EXPECT_EQ(SplitSelectorItems(u"a|" + std::u16string(70, u'x')).back().size(), 64u);
}

namespace
{
// Drives the shown dialog: optionally picks the first resolution and unticks "Wait for
// VSync", then presses the key.
struct Drive { guint Key; bool Change; };

void Shown(void *window, void *user)
{
  const Drive &d = *static_cast<Drive *>(user);
  GtkWidget *w = static_cast<GtkWidget *>(window);
  GList *children = gtk_container_get_children(GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(w))));
  for(GList *l = children; l && d.Change; l = l->next)
  {
    GtkWidget *c = GTK_WIDGET(l->data);
    if(GTK_IS_COMBO_BOX(c) && gtk_combo_box_get_active(GTK_COMBO_BOX(c)) == 1) gtk_combo_box_set_active(GTK_COMBO_BOX(c), 0);
    if(GTK_IS_CHECK_BUTTON(c) && std::string(gtk_button_get_label(GTK_BUTTON(c))) == "Wait for VSync")
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c), FALSE);
  }
  g_list_free(children);
  GdkEvent *e = gdk_event_new(GDK_KEY_PRESS);
  e->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(w)));
  e->key.keyval = d.Key;
  gboolean handled = FALSE;
  g_signal_emit_by_name(w, "key-press-event", e, &handled);
  gdk_event_free(e);
}
}

TEST(Selector, RealDialogAcceptsWithEnterAndCancelsWithEscape)
{
  if(!getenv("DISPLAY")) GTEST_SKIP() << "no display";
  plat::SelectorDesc desc;
  desc.Lists[0] = {u"1280x1024", u"1920x1080"};
  desc.Lists[1] = {u"Auto", u"4:3"};
  desc.Lists[2] = {u"off"};
  desc.Selected[0] = 1;
  plat::SelectorResult result;
  std::u16string error;
  Drive enter{GDK_KEY_Return, true};
  ASSERT_TRUE(plat::RunSelectorDialog(desc, result, error, Shown, &enter)) << plat::ToUtf8(error);
  EXPECT_EQ(result.Selected[0], 0);
  EXPECT_EQ(result.Selected[1], 0);
  EXPECT_TRUE(result.Checked[1]);    // "Fullscreen" starts ticked
  EXPECT_FALSE(result.Checked[2]);   // "Wait for VSync" was unticked

  Drive escape{GDK_KEY_Escape, false};
  EXPECT_FALSE(plat::RunSelectorDialog(desc, result, error, Shown, &escape));
}
