#pragma once

#include "engine/http.h"

#include <nlohmann/json_fwd.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace NVelmora {

using TJson = nlohmann::ordered_json;

class THttpServer;
class TDatabase;
class TTransaction;

// The local back end: owns the HTTP listener, the one database connection and the lock
// that serialises the store, and the configuration read once at start.
// Its store operations live in store/, its remote operations in remote/.
class TVelmoraApiServer {
public:
  // Builds the engine without running its thread: reads VLM_API_BASE, works out the
  // device identity and opens the database. Throws when the database cannot be opened.
  TVelmoraApiServer(const std::string& AppDirectory, std::uint16_t FirstPort);
  ~TVelmoraApiServer();
  TVelmoraApiServer(const TVelmoraApiServer&) = delete;
  TVelmoraApiServer& operator=(const TVelmoraApiServer&) = delete;

  // Runs the engine thread: up to 16 activations, one port further after each failure.
  void Start();
  // Asks the thread to end; the run method itself ends only through StopServer.
  void Terminate();
  void WaitFor();
  // Ends serving; callable from any thread, any number of times, and sticky: a stop asked
  // before or between activations is honoured by the next one.
  void StopServer();

  // Store (store/): every call but OpenDatabase is made under StoreLock.
  void OpenDatabase();
  std::string KvGet(const std::string& Key, const std::string& Default);
  void KvSet(const std::string& Key, const std::string& Value);
  void KvDelete(const std::string& Key);
  TJson SavedJobsJson();
  bool ToggleSavedJob(const TJson& Job, bool& Saved);
  TJson OfflineNotesJson();
  std::int32_t AddOfflineNote(std::string_view Title, std::string_view Body);
  void DeleteOfflineNote(std::int32_t Id);

  // Remote (remote/).
  void LoadDeviceIdentity();
  // One request to the public service through curl. Gives reached; Status and
  // ResponseBody are reset first and keep their reset values on every early return.
  bool RemoteRequest(const std::string& Method, const std::string& Url, const std::string& Body,
                     const std::string& Token, std::string& ResponseBody, int& Status);
  std::string BuildSessionJson(bool Refresh);

  std::unique_ptr<THttpServer> HttpServer;
  std::unique_ptr<TDatabase> DbConnection;
  std::unique_ptr<TTransaction> DbTransaction;
  std::mutex StoreLock;
  std::string AppDir;
  std::atomic<std::uint16_t> Port;
  std::string ApiBase;
  std::string DeviceId;
  std::string DevicePlatform;
  std::string DeviceModel;

private:
  void Run();

  std::thread Thread_;
  std::atomic<bool> Terminated_{false};
};

// The public service's API root, used when VLM_API_BASE is blank.
inline constexpr const char* DefaultApiBase = "https://velmora.app/api/v1";

// Dispatcher and answers (engine/dispatch.cpp).
void HandleRequest(TVelmoraApiServer& Engine, const THttpRequest& Request, THttpResponse& Response);
void SendJson(TVelmoraApiServer& Engine, std::string_view Text, int Status, THttpResponse& Response);
// Throws std::system_error when the file exists but cannot be opened.
void SendFile(TVelmoraApiServer& Engine, const std::string& Path, std::string_view ContentType,
              THttpResponse& Response);
// A JSON object, or none for blank text, broken JSON or any other kind of value. Never throws.
std::optional<TJson> ParseJsonObject(std::string_view Text);

} // namespace NVelmora
