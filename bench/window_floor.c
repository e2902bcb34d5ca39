/* The floor for bench/window_bench.sh: a program that does nothing but open one WebKit
 * window on a page, with the toolkit loaded at run time as velmora loads it.
 *
 *   cc -O2 -o window_floor bench/window_floor.c -ldl
 *   window_floor URL
 */
#include <dlfcn.h>
#include <stdio.h>

typedef void* (*TNew)(void);

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s URL\n", argv[0]);
    return 2;
  }
  void* Gtk = dlopen("libgtk-3.so.0", RTLD_LAZY);
  void* GObject = dlopen("libgobject-2.0.so.0", RTLD_LAZY);
  void* WebKit = dlopen("libwebkit2gtk-4.1.so.0", RTLD_LAZY);
  if (WebKit == NULL) {
    WebKit = dlopen("libwebkit2gtk-4.0.so.37", RTLD_LAZY);
  }
  if (Gtk == NULL || GObject == NULL || WebKit == NULL) {
    fprintf(stderr, "window_floor: GTK 3 or WebKit2GTK is missing\n");
    return 1;
  }
  void (*Init)(int*, char***) = (void (*)(int*, char***))dlsym(Gtk, "gtk_init");
  void* (*WindowNew)(int) = (void* (*)(int))dlsym(Gtk, "gtk_window_new");
  void (*SetTitle)(void*, const char*) = (void (*)(void*, const char*))dlsym(Gtk, "gtk_window_set_title");
  void (*SetSize)(void*, int, int) = (void (*)(void*, int, int))dlsym(Gtk, "gtk_window_set_default_size");
  void (*Add)(void*, void*) = (void (*)(void*, void*))dlsym(Gtk, "gtk_container_add");
  void (*ShowAll)(void*) = (void (*)(void*))dlsym(Gtk, "gtk_widget_show_all");
  void (*Main)(void) = (void (*)(void))dlsym(Gtk, "gtk_main");
  void (*Quit)(void) = (void (*)(void))dlsym(Gtk, "gtk_main_quit");
  unsigned long (*Connect)(void*, const char*, void (*)(void), void*, void*, int) =
      (unsigned long (*)(void*, const char*, void (*)(void), void*, void*, int))dlsym(GObject, "g_signal_connect_data");
  TNew ViewNew = (TNew)dlsym(WebKit, "webkit_web_view_new");
  void (*Load)(void*, const char*) = (void (*)(void*, const char*))dlsym(WebKit, "webkit_web_view_load_uri");
  if (!Init || !WindowNew || !SetTitle || !SetSize || !Add || !ShowAll || !Main || !Quit || !Connect || !ViewNew ||
      !Load) {
    fprintf(stderr, "window_floor: a toolkit function is missing\n");
    return 1;
  }
  int Argc = 0;
  Init(&Argc, NULL);
  void* Window = WindowNew(0);
  SetTitle(Window, "Window floor");
  SetSize(Window, 1340, 860);
  Connect(Window, "destroy", (void (*)(void))Quit, NULL, NULL, 0);
  void* View = ViewNew();
  Add(Window, View);
  Load(View, argv[1]);
  ShowAll(Window);
  Main();
  return 0;
}
