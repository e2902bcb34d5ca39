#pragma once

#include "tests/support/fake_service.h"
#include "tests/support/temp_dir.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace NVelmora::NTest {

// The engine's fixed answers, as the user sees them.
inline constexpr std::string_view OfflineAnswer =
    R"({"success":false,"offline":true,"message":"Velmora live server is offline right now. Your saved jobs and offline notes remain available."})";
inline constexpr std::string_view UnreachableAnswer =
    R"({"success":false,"offline":true,"message":"Unable to reach velmora.app. Check your internet connection."})";
inline constexpr std::string_view UnexpectedAnswer = R"({"success":false,"message":"Unexpected server response."})";
inline constexpr std::string_view SignedOutAnswer = R"({"success":true,"message":"Signed out cleanly."})";
inline constexpr std::string_view GoogleSuccessPage =
    R"(<!doctype html><html><head><meta charset="utf-8"><title>Velmora — Signed in with Google</title><style>body{font-family:system-ui,-apple-system,sans-serif;background:#f8fafc;color:#0f172a;display:grid;place-items:center;min-height:100vh;margin:0;}.card{background:#fff;border:1px solid #e2e8f0;border-radius:18px;padding:2rem 2.4rem;text-align:center;max-width:420px;box-shadow:0 12px 32px rgba(15,23,42,.08);}.ok{width:54px;height:54px;border-radius:50%;background:#dcfce7;color:#15803d;display:grid;place-items:center;font-size:28px;font-weight:900;margin:0 auto 1rem;}h2{margin:0 0 .5rem;font-size:1.3rem;}p{margin:0;color:#475569;font-size:.94rem;line-height:1.5;}</style></head><body><div class="card"><div class="ok">&#10003;</div><h2>Signed In with Google!</h2><p>Your Velmora account and permissions are now synced. You can safely close this browser tab and return to the Velmora app.</p><script>setTimeout(function(){try{window.close();}catch(e){}}, 1600);</script></div></body></html>)";
inline constexpr std::string_view GoogleFailurePage =
    R"(<!doctype html><html><body style="font-family:system-ui;padding:2rem;text-align:center;"><h3>Google Sign-In could not be completed.</h3><p>Please return to Velmora and try again.</p></body></html>)";

// An API base on a 127.0.0.1 port that nothing listens on: every call to it is refused.
std::string UnreachableApiBase();

// The value stored under Key in the kv_store of the program in AppDir, read from its
// database file; nullopt when the key is absent.
std::optional<std::string> StoredValue(const std::string& AppDir, const std::string& Key);

// The parsed answer of GET /api/session.
nlohmann::json SessionOf(std::uint16_t Port);

// Signs the program in through POST /api/auth/login, the service answering 200 with the
// token and, unless UserJson is empty, the user object. Gives the local answer's status.
int SignInThroughLogin(TFakeService& Service, std::uint16_t Port, const std::string& Token,
                       const std::string& UserJson);

// A stand-in for xdg-open: a shell script named "xdg-open" in Dir() that records its
// arguments, one per line after their count. Put Dir() first on PATH.
class TFakeOpener {
public:
  TFakeOpener();
  const std::string& Dir() const { return Dir_.Path(); }
  // Waits (bounded) for the next run's record and consumes it; nullopt when none came.
  std::optional<std::vector<std::string>> AwaitRun(std::chrono::milliseconds Limit = std::chrono::seconds(10));
  // Takes away (or gives back) the script's permission to run.
  void SetRunnable(bool Runnable);
  // PATH with Dir() in front of the current one.
  std::string SearchPath() const;

private:
  TTempDir Dir_;
};

// One engine and one fake service shared by a whole suite; every test starts signed out with
// no recorded requests. A suite's SetUpTestSuite calls StartSuite.
class TServiceSuite : public ::testing::Test {
protected:
  // ExtraEnv goes into the program's environment beside VLM_API_BASE.
  static void StartSuite(std::vector<std::pair<std::string, std::optional<std::string>>> ExtraEnv = {});
  static void TearDownTestSuite();
  void SetUp() override;

  static std::uint16_t Port() { return Velmora_->Port(); }
  static std::optional<std::string> Stored(const std::string& Key) { return StoredValue(Velmora_->AppDir(), Key); }

  static inline std::unique_ptr<TFakeService> Service_;
  static inline std::unique_ptr<TVelmoraProcess> Velmora_;
};

} // namespace NVelmora::NTest
