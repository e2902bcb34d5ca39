#include "tests/desktop/fakes/fake_toolkit.h"

// VLM_FAKE_OMIT_GTK_MAIN and VLM_FAKE_OMIT_CONTAINER_ADD leave out one function;
// VLM_FAKE_MINIMAL leaves out every function the window can do without.

namespace {

TFakeWorld* World = nullptr;
std::string Prefix;

using GCallback = void (*)();
using TDestroyHandler = void(void* Widget, void* Data);
using TCreateHandler = void*(void* View, void* Action, void* Data);

std::string Text(const char* Value) { return Value == nullptr ? "null" : Value; }

std::string Name(const void* Object) {
  if (World == nullptr || Object == nullptr) {
    return "null";
  }
  if (Object == &World->Window) return "window";
  if (Object == &World->View) return "view";
  if (Object == &World->Settings) return "settings";
  return "?";
}

void Record(const std::string& Call) {
  if (World != nullptr) {
    World->Log.push_back(Prefix + Call);
  }
}

} // namespace

extern "C" {

void FakeToolkitAttach(TFakeWorld* NewWorld, const char* NewPrefix) {
  World = NewWorld;
  Prefix = NewPrefix;
}

void gtk_init(int* Argc, char*** Argv) {
  Record("gtk_init(" + (Argc == nullptr ? std::string("null") : std::to_string(*Argc)) + "," +
         (Argv == nullptr ? "null" : "argv") + ")");
}

void* gtk_window_new(int Type) {
  Record("gtk_window_new(" + std::to_string(Type) + ")");
  return World == nullptr ? nullptr : &World->Window;
}

void gtk_window_set_title(void* Window, const char* Title) {
  Record("gtk_window_set_title(" + Name(Window) + "," + Text(Title) + ")");
}

void gtk_window_set_default_size(void* Window, int Width, int Height) {
  Record("gtk_window_set_default_size(" + Name(Window) + "," + std::to_string(Width) + "," + std::to_string(Height) +
         ")");
}

void gtk_window_set_position(void* Window, int Position) {
  Record("gtk_window_set_position(" + Name(Window) + "," + std::to_string(Position) + ")");
}

void g_set_prgname(const char* Name) { Record("g_set_prgname(" + Text(Name) + ")"); }
void g_set_application_name(const char* Name) { Record("g_set_application_name(" + Text(Name) + ")"); }
void gdk_set_program_class(const char* Class) { Record("gdk_set_program_class(" + Text(Class) + ")"); }

#ifndef VLM_FAKE_OMIT_CONTAINER_ADD
void gtk_container_add(void* Container, void* Child) {
  Record("gtk_container_add(" + Name(Container) + "," + Name(Child) + ")");
}
#endif

void gtk_widget_show_all(void* Widget) { Record("gtk_widget_show_all(" + Name(Widget) + ")"); }

unsigned long g_signal_connect_data(void* Instance, const char* Signal, GCallback Handler, void* Data,
                                    void (*DestroyData)(void*, void*), int Flags) {
  Record("g_signal_connect_data(" + Name(Instance) + "," + Text(Signal) + "," + (Data ? "data" : "null") + "," +
         (DestroyData ? "notify" : "null") + "," + std::to_string(Flags) + ")");
  if (World == nullptr) {
    return 0;
  }
  World->Handlers[Text(Signal)] = reinterpret_cast<void*>(Handler);
  return World->Handlers.size();
}

#ifndef VLM_FAKE_OMIT_GTK_MAIN
// The page asks for its new windows, then the user closes the window.
void gtk_main() {
  Record("gtk_main()");
  if (World == nullptr) {
    return;
  }
  if (auto* Create = reinterpret_cast<TCreateHandler*>(World->Handlers["create"])) {
    for (TFakeLink& Link : World->Links) {
      void* Answer = Create(&World->View, &Link, nullptr);
      Record(std::string("create -> ") + (Answer == nullptr ? "null" : "a view"));
    }
  }
  if (auto* Destroy = reinterpret_cast<TDestroyHandler*>(World->Handlers["destroy"])) {
    Destroy(&World->Window, nullptr);
  }
  Record("gtk_main() ends");
}
#endif

void* webkit_web_view_new() {
  Record("webkit_web_view_new()");
  return World == nullptr ? nullptr : &World->View;
}

void webkit_web_view_load_uri(void* View, const char* Uri) {
  Record("webkit_web_view_load_uri(" + Name(View) + "," + Text(Uri) + ")");
}

#ifndef VLM_FAKE_MINIMAL
int gtk_window_set_icon_from_file(void* Window, const char* File, void** Error) {
  Record("gtk_window_set_icon_from_file(" + Name(Window) + "," + Text(File) + "," + (Error ? "error" : "null") + ")");
  return 1;
}

int gtk_window_set_default_icon_from_file(const char* File, void** Error) {
  Record("gtk_window_set_default_icon_from_file(" + Text(File) + "," + (Error ? "error" : "null") + ")");
  return 1;
}

void gtk_window_set_wmclass(void* Window, const char* Name_, const char* Class) {
  Record("gtk_window_set_wmclass(" + Name(Window) + "," + Text(Name_) + "," + Text(Class) + ")");
}

void gtk_main_quit() { Record("gtk_main_quit()"); }

void* webkit_web_view_get_settings(void* View) {
  Record("webkit_web_view_get_settings(" + Name(View) + ")");
  return World == nullptr ? nullptr : &World->Settings;
}

void webkit_settings_set_enable_accelerated_2d_canvas(void* Settings, int Enabled) {
  Record("webkit_settings_set_enable_accelerated_2d_canvas(" + Name(Settings) + "," + std::to_string(Enabled) + ")");
}

void* webkit_navigation_action_get_request(void* Action) {
  auto* Link = static_cast<TFakeLink*>(Action);
  Record("webkit_navigation_action_get_request()");
  return Link->HasRequest ? Link : nullptr;
}

const char* webkit_uri_request_get_uri(void* Request) {
  Record("webkit_uri_request_get_uri()");
  return static_cast<TFakeLink*>(Request)->Uri;
}
#endif

} // extern "C"
