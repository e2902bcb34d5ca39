#pragma once

#include <map>
#include <string>
#include <vector>

// A stand-in for GTK, GObject, GLib, GDK and WebKit that records every call made to it.
// Each copy of the library file is a library of its own; the copies a test loads share
// one TFakeWorld, so that their calls land in one log in the order they were made.
struct TFakeLink {
  bool HasRequest = true;
  const char* Uri = nullptr;  // null: the request has no address
};

struct TFakeWorld {
  std::vector<std::string> Log;
  // The new-window requests the page makes while gtk_main runs, before the window is closed.
  std::vector<TFakeLink> Links;
  // What g_signal_connect_data received, by signal name.
  std::map<std::string, void*> Handlers;
  char Window = 0;
  char View = 0;
  char Settings = 0;
};

// Prefix marks the entries of this copy in the log ("" for none).
extern "C" void FakeToolkitAttach(TFakeWorld* World, const char* Prefix);
