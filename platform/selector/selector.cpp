// The start-up selector's dialog over GTK 3.
#include "platform/selector/selector.hpp"

#include "platform/text/utf.hpp"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

namespace plat
{
namespace
{
struct DialogState
{
  GtkWidget *Window = nullptr;
  GtkWidget *Combos[3] = {};
  GtkWidget *Checks[4] = {};
  SelectorResult *Result = nullptr;
  bool Accepted = false;
  SelectorShownFunc Shown = nullptr;
  void *User = nullptr;
};

void Accept(DialogState &s)
{
  for(int i = 0; i < 3; i++) s.Result->Selected[i] = gtk_combo_box_get_active(GTK_COMBO_BOX(s.Combos[i]));
  for(int i = 0; i < 4; i++) s.Result->Checked[i] = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(s.Checks[i])) != 0;
  s.Accepted = true;
}

void Close(DialogState &s)
{
  if(s.Window) gtk_widget_destroy(s.Window);
}

void OnDestroy(GtkWidget *, gpointer user)
{
  static_cast<DialogState *>(user)->Window = nullptr;
  gtk_main_quit();
}

// ENTER and ESC act wherever the focus is, so the window sees them before its controls;
// TAB is left to the window's own focus chain (shift+TAB goes back).
gboolean OnKey(GtkWidget *, GdkEventKey *event, gpointer user)
{
  DialogState &s = *static_cast<DialogState *>(user);
  switch(event->keyval)
  {
  case GDK_KEY_Return:
  case GDK_KEY_KP_Enter:
    Accept(s);
    Close(s);
    return TRUE;
  case GDK_KEY_Escape:
    Close(s);
    return TRUE;
  default:
    return FALSE;
  }
}

void OnDie(GtkButton *, gpointer user) { Close(*static_cast<DialogState *>(user)); }

void OnDemo(GtkButton *, gpointer user)
{
  DialogState &s = *static_cast<DialogState *>(user);
  Accept(s);
  Close(s);
}

gboolean OnShown(gpointer user)
{
  DialogState &s = *static_cast<DialogState *>(user);
  if(s.Shown && s.Window) s.Shown(s.Window, s.User);
  return G_SOURCE_REMOVE;
}

GtkWidget *AddLabel(GtkFixed *fixed, const char *text, int x, int y, int w, int h)
{
  GtkWidget *label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_widget_set_size_request(label, w, h);
  gtk_fixed_put(fixed, label, x, y);
  return label;
}

GtkWidget *AddCombo(GtkFixed *fixed, const std::vector<std::u16string> &items, int selected, int x, int y, int w)
{
  GtkWidget *combo = gtk_combo_box_text_new();
  for(const std::u16string &item : items) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), ToUtf8(item).c_str());
  if(selected < 0 || selected >= int(items.size())) selected = 0;
  if(!items.empty()) gtk_combo_box_set_active(GTK_COMBO_BOX(combo), selected);
  gtk_widget_set_size_request(combo, w, -1);
  gtk_fixed_put(fixed, combo, x, y);
  return combo;
}

GtkWidget *AddCheck(GtkFixed *fixed, const char *text, bool on, int x, int y, int w, int h)
{
  GtkWidget *check = gtk_check_button_new_with_label(text);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), on);
  gtk_widget_set_size_request(check, w, h);
  gtk_fixed_put(fixed, check, x, y);
  return check;
}
}

bool RunSelectorDialog(const SelectorDesc &desc, SelectorResult &result, std::u16string &error,
                       SelectorShownFunc shown, void *user)
{
  if(!gtk_init_check(nullptr, nullptr))
  {
    error = u"no display for the start-up selector";
    return false;
  }
  DialogState s;
  s.Result = &result;
  s.Shown = shown;
  s.User = user;

  s.Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(s.Window), ToUtf8(desc.Title).c_str());
  gtk_window_set_resizable(GTK_WINDOW(s.Window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(s.Window), 280, 220);
  gtk_window_set_position(GTK_WINDOW(s.Window), GTK_WIN_POS_CENTER);
  GtkFixed *fixed = GTK_FIXED(gtk_fixed_new());
  gtk_widget_set_size_request(GTK_WIDGET(fixed), 280, 220);
  gtk_container_add(GTK_CONTAINER(s.Window), GTK_WIDGET(fixed));

  AddLabel(fixed, "Resolution", 10, 13, 200, 20);
  s.Combos[0] = AddCombo(fixed, desc.Lists[0], desc.Selected[0], 180, 10, 90);
  AddLabel(fixed, "Aspect Ratio", 10, 43, 200, 20);
  s.Combos[1] = AddCombo(fixed, desc.Lists[1], desc.Selected[1], 180, 40, 90);
  AddLabel(fixed, "Multisampling", 10, 103, 200, 20);
  s.Combos[2] = AddCombo(fixed, desc.Lists[2], desc.Selected[2], 180, 100, 90);
  s.Checks[0] = AddCheck(fixed, "Cinematic Framerate (24-30fps)", desc.Checked[0], 10, 135, 200, 25);
  s.Checks[1] = AddCheck(fixed, "Fullscreen", desc.Checked[1], 10, 155, 70, 25);
  s.Checks[2] = AddCheck(fixed, "Wait for VSync", desc.Checked[2], 94, 155, 100, 25);
  s.Checks[3] = AddCheck(fixed, "Loop Demo", desc.Checked[3], 196, 155, 100, 25);
  GtkWidget *die = gtk_button_new_with_label("Die");
  gtk_widget_set_size_request(die, 80, 25);
  gtk_fixed_put(fixed, die, 10, 185);
  GtkWidget *demo = gtk_button_new_with_label("Demo");
  gtk_widget_set_size_request(demo, 80, 25);
  gtk_fixed_put(fixed, demo, 190, 185);
  gtk_widget_set_can_default(demo, TRUE);

  g_signal_connect(s.Window, "destroy", G_CALLBACK(OnDestroy), &s);
  g_signal_connect(s.Window, "key-press-event", G_CALLBACK(OnKey), &s);
  g_signal_connect(die, "clicked", G_CALLBACK(OnDie), &s);
  g_signal_connect(demo, "clicked", G_CALLBACK(OnDemo), &s);

  gtk_widget_show_all(s.Window);
  gtk_widget_grab_default(demo);
  gtk_widget_grab_focus(demo);
  if(shown) g_idle_add(OnShown, &s);
  gtk_main();
  // let GTK finish with the destroyed window before the show's own window is made
  while(gtk_events_pending()) gtk_main_iteration_do(FALSE);
  return s.Accepted;
}

}
