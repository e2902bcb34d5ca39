#include "engine/uapi.h"
#include "platform/process.h"
#include "tests/support/fake_service.h"
#include "tests/support/temp_dir.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace NVelmora::NTest {
namespace {

using TArgs = std::vector<std::string>;

// Sets an environment variable for the life of the object, then puts the old value back.
class TScopedEnv {
public:
  TScopedEnv(const char* Name, const std::string& Value) : Name_(Name) {
    if (const char* Old = std::getenv(Name)) {
      Old_ = Old;
    }
    ::setenv(Name, Value.c_str(), 1);
  }
  ~TScopedEnv() {
    if (Old_) {
      ::setenv(Name_, Old_->c_str(), 1);
    } else {
      ::unsetenv(Name_);
    }
  }

private:
  const char* Name_;
  std::optional<std::string> Old_;
};

std::string CurrentPath() {
  const char* Path = std::getenv("PATH");
  return Path != nullptr ? Path : "";
}

struct TResult {
  bool Reached = false;
  int Status = -1;
  std::string Body;
};

class Transport : public ::testing::Test {
protected:
  Transport() {
    Engine.DeviceId = "dev-1";
    Engine.DevicePlatform = "linux";
    Engine.DeviceModel = "Linux Desktop (box)";
  }

  TResult Call(const std::string& Method, const std::string& Url, const std::string& Body = "",
               const std::string& Token = "") {
    TResult Result;
    Result.Body = "left over";
    Result.Status = 999;
    Result.Reached = Engine.RemoteRequest(Method, Url, Body, Token, Result.Body, Result.Status);
    return Result;
  }

  // The req_*.tmp files in the data directory.
  std::vector<std::string> RequestFiles() const {
    std::vector<std::string> Found;
    for (const auto& Entry : std::filesystem::directory_iterator(Dir.Path() + "data")) {
      const std::string Name = Entry.path().filename().string();
      if (Name.rfind("req_", 0) == 0) {
        Found.push_back(Name);
      }
    }
    return Found;
  }

  TTempDir Dir;
  TVelmoraApiServer Engine{Dir.Path(), 19029};
  TFakeCurl Curl;
  TScopedEnv Path{"PATH", Curl.Dir() + ":" + CurrentPath()};
};

constexpr const char* Url = "https://svc.example/api/v1/jobs?page=2";
constexpr const char* File = "<request file>";

TArgs Head(const std::string& Method) {
  return {"-sS", "-L", "--globoff", "--max-time", "12", "-X", Method, "-H", "Accept: application/json",
          "-H", "User-Agent: VelmoraDesktop/1.0"};
}
const TArgs Device = {"-H", "X-Vlm-Device-Id: dev-1", "-H", "X-Vlm-Platform: linux", "-H",
                      "X-Vlm-App-Version: 1.0.0", "-H", "X-Vlm-Device-Model: Linux Desktop (box)"};
const TArgs Upload = {"-H", "Content-Type: application/json", "--data-binary", File};
TArgs Tail(const std::string& Target = Url) { return {"-w", "\n__VLM_CODE__:%{http_code}", Target}; }

TArgs Join(std::initializer_list<TArgs> Parts) {
  TArgs All;
  for (const TArgs& Part : Parts) {
    All.insert(All.end(), Part.begin(), Part.end());
  }
  return All;
}

struct TArgCase {
  std::string Name;
  std::string Method;
  std::string Body;
  std::string Token;
  TArgs Expected;  // File stands for "@" and the request file's path
  std::string Target = Url;
  bool NoDevice = false;  // run with empty device id, platform and model
};

class TransportArgs : public Transport, public ::testing::WithParamInterface<TArgCase> {};

TEST_P(TransportArgs, BuildsTheExactArgumentList) {
  const TArgCase& Case = GetParam();
  if (Case.NoDevice) {
    Engine.DeviceId.clear();
    Engine.DevicePlatform.clear();
    Engine.DeviceModel.clear();
  }
  const TResult Result = Call(Case.Method, Case.Target, Case.Body, Case.Token);
  EXPECT_TRUE(Result.Reached);
  EXPECT_EQ(Result.Status, 200);
  EXPECT_EQ(Result.Body, "{}");

  TArgs Got = Curl.Args();
  TArgs Expected = Case.Expected;
  for (std::size_t I = 0; I < Expected.size() && I < Got.size(); ++I) {
    if (Expected[I] == File) {
      static const std::regex Name(R"(@(.*)/data/req_[0-9]+_[0-9]+\.tmp)");
      std::smatch Match;
      ASSERT_TRUE(std::regex_match(Got[I], Match, Name)) << Got[I];
      EXPECT_EQ(Match[1].str() + "/", Dir.Path());
      Expected[I] = Got[I];
      EXPECT_EQ(Curl.RequestBody(), Case.Body);
      EXPECT_EQ(Curl.RequestMode(), "600");
    }
  }
  EXPECT_EQ(Got, Expected);
  EXPECT_EQ(RequestFiles(), TArgs{});
}

INSTANTIATE_TEST_SUITE_P(
    Remote, TransportArgs,
    ::testing::Values(
        TArgCase{"Get", "GET", "", "", Join({Head("GET"), Device, Tail()})},
        TArgCase{"PostWithBodyAndToken", "POST", "{\"email\":\"a@b.c\",\"password\":\"p\xc3\xa4ss\"}\r\n", "tok-1",
                 Join({Head("POST"), Device, {"-H", "Authorization: Bearer tok-1"}, Upload, Tail()})},
        TArgCase{"PostWithEmptyBody", "POST", "", "", Join({Head("POST"), Device, Tail()})},
        TArgCase{"GetDropsItsBody", "GET", "{\"a\":1}", "", Join({Head("GET"), Device, Tail()})},
        TArgCase{"LowerCaseMethod", "post", "{}", "", Join({Head("POST"), Device, Upload, Tail()})},
        TArgCase{"OtherMethod", "delete", "", "", Join({Head("DELETE"), Device, Tail()})},
        TArgCase{"BlankToken", "GET", "", " \t ", Join({Head("GET"), Device, Tail()})},
        TArgCase{"PaddedToken", "GET", "", "  abc \r\n", Join({Head("GET"), Device, {"-H", "Authorization: Bearer abc"}, Tail()})},
        TArgCase{"EmptyDeviceTexts", "GET", "", "",
                 Join({Head("GET"), {"-H", "X-Vlm-Platform: ", "-H", "X-Vlm-App-Version: 1.0.0"}, Tail()}), Url, true},
        TArgCase{"UrlKeepsItsBlanks", "GET", "", "", Join({Head("GET"), Device, Tail(" HTTP://svc.example/x ")}),
                 " HTTP://svc.example/x "}),
    [](const ::testing::TestParamInfo<TArgCase>& Info) { return Info.param.Name; });

struct TOutputCase {
  std::string Name;
  std::string Output;
  int Exit;
  bool Reached;
  int Status;
  std::string Body;
};

class TransportOutput : public Transport, public ::testing::WithParamInterface<TOutputCase> {};

TEST_P(TransportOutput, ParsesTheLastMarkerAndTheExitStatus) {
  const TOutputCase& Case = GetParam();
  Curl.SetOutput(Case.Output, Case.Exit);
  const TResult Result = Call("POST", Url, "{\"x\":1}");
  EXPECT_EQ(Result.Reached, Case.Reached);
  EXPECT_EQ(Result.Status, Case.Status);
  EXPECT_EQ(Result.Body, Case.Body);
  EXPECT_TRUE(Curl.Ran());
  EXPECT_EQ(RequestFiles(), TArgs{});
}

const std::string Big(300000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Remote, TransportOutput,
    ::testing::Values(
        TOutputCase{"Created", "{\"id\":7}\n__VLM_CODE__:201", 0, true, 201, "{\"id\":7}"},
        TOutputCase{"NotFoundIsReached", "{\"error\":\"no\"}\n__VLM_CODE__:404", 0, true, 404, "{\"error\":\"no\"}"},
        TOutputCase{"ServerErrorIsReached", "oops\n__VLM_CODE__:500", 0, true, 500, "oops"},
        TOutputCase{"MarkerInTheBody", "{\"t\":\"__VLM_CODE__:999\"}\n__VLM_CODE__:200", 0, true, 200,
                    "{\"t\":\"__VLM_CODE__:999\"}"},
        TOutputCase{"TrimsAroundKeepsInside", "\n \r\n{\"a\":\n\n1}\t \n\n__VLM_CODE__: 200 \n", 0, true, 200,
                    "{\"a\":\n\n1}"},
        TOutputCase{"MissingMarker", "  {\"a\":1}\n", 0, false, 0, "{\"a\":1}"},
        TOutputCase{"NonNumericStatus", "{}\n__VLM_CODE__:2x0", 0, false, 0, "{}"},
        TOutputCase{"NoResponseStatus", "{}\n__VLM_CODE__:000", 0, false, 0, "{}"},
        TOutputCase{"CurlFailed", "curl: (7) Failed to connect\n\n__VLM_CODE__:000", 7, false, 0,
                    "curl: (7) Failed to connect"},
        TOutputCase{"NonZeroExitWithStatus", "{}\n__VLM_CODE__:200", 28, false, 200, "{}"},
        TOutputCase{"MoreThanAPipeHolds", Big + "\n__VLM_CODE__:200", 0, true, 200, Big}),
    [](const ::testing::TestParamInfo<TOutputCase>& Info) { return Info.param.Name; });

TEST_F(Transport, RefusesUrlsOtherThanHttpWithoutRunningCurl) {
  for (const char* Target : {"", "   ", "ftp://svc.example/x", "file:///etc/passwd", "svc.example/api/v1",
                             "httpx://svc.example", "/api/v1/jobs", "http:/svc.example"}) {
    const TResult Result = Call("GET", Target);
    EXPECT_FALSE(Result.Reached) << Target;
    EXPECT_EQ(Result.Status, 0) << Target;
    EXPECT_EQ(Result.Body, "") << Target;
    EXPECT_FALSE(Curl.Ran()) << Target;
  }
}

TEST_F(Transport, RefusesALineBreakInsideAHeaderValueWithoutRunningCurl) {
  struct TCase {
    const char* Token;
    const char* DeviceId;
    const char* DeviceModel;
  };
  for (const TCase& Case : {TCase{"abc\r\nX-Admin: 1", "dev-1", "box"}, TCase{"abc\ndef", "dev-1", "box"},
                            TCase{"abc\rdef", "dev-1", "box"}, TCase{"", "dev\n1", "box"},
                            TCase{"", "dev-1", "box\r\nHost: evil.example"}}) {
    Engine.DeviceId = Case.DeviceId;
    Engine.DeviceModel = Case.DeviceModel;
    const TResult Result = Call("POST", Url, "{}", Case.Token);
    EXPECT_FALSE(Result.Reached) << Case.Token;
    EXPECT_EQ(Result.Status, 0);
    EXPECT_EQ(Result.Body, "");
    EXPECT_FALSE(Curl.Ran()) << Case.Token << Case.DeviceId << Case.DeviceModel;
    EXPECT_EQ(RequestFiles(), TArgs{});
  }
}

TEST_F(Transport, RefusesANulByteInsideTheTokenWithoutRunningCurl) {
  const TResult Result = Call("GET", Url, "", std::string("abc\0def", 7));
  EXPECT_FALSE(Result.Reached);
  EXPECT_FALSE(Curl.Ran());
}

TEST_F(Transport, ACurlThatCannotStartIsNotReachedAndLeavesNoRequestFile) {
  ASSERT_EQ(::chmod((Curl.Dir() + "/curl").c_str(), 0644), 0);
  const TResult Result = Call("POST", Url, "{\"x\":1}");
  EXPECT_FALSE(Result.Reached);
  EXPECT_EQ(Result.Status, 0);
  EXPECT_EQ(Result.Body, "");
  EXPECT_FALSE(Curl.Ran());
  EXPECT_EQ(RequestFiles(), TArgs{});
}

TEST_F(Transport, ARequestFileThatCannotBeCreatedIsAnErrorAndCurlDoesNotRun) {
  WriteFile(Dir.Path() + "blocker", "not a directory");
  Engine.AppDir = Dir.Path() + "blocker/";
  std::string Body = "left over";
  int Status = 999;
  EXPECT_THROW(Engine.RemoteRequest("POST", Url, "{}", "", Body, Status), std::exception);
  EXPECT_FALSE(Curl.Ran());
  // Without a body there is no file to create, so the call goes ahead.
  EXPECT_TRUE(Engine.RemoteRequest("POST", Url, "", "", Body, Status));
}

class CurlSearch : public ::testing::Test {
protected:
  TTempDir Dir;
  std::string Empty = Dir.Path() + "empty";
  std::string Decoy = Dir.Path() + "decoy";  // holds a directory named curl
  std::string Fallback = Dir.Path() + "fallback-curl";
  TFakeCurl Curl;

  void SetUp() override {
    std::filesystem::create_directories(Empty);
    std::filesystem::create_directories(Decoy + "/curl");
  }
};

TEST_F(CurlSearch, SearchesPathThenTheFallbackFile) {
  {
    TScopedEnv Path("PATH", "::" + Empty + ":" + Decoy + "::" + Curl.Dir() + ":");
    EXPECT_EQ(FindProgramOr("curl", Fallback), Curl.Dir() + "/curl");
  }
  {
    TScopedEnv Path("PATH", Empty + "::" + Decoy);
    EXPECT_EQ(FindProgramOr("curl", Fallback), "");
    WriteFile(Fallback, "");
    EXPECT_EQ(FindProgramOr("curl", Fallback), Fallback);
  }
  {
    // The working directory is searched only when PATH names it.
    TScopedEnv Path("PATH", Empty);
    const auto Old = std::filesystem::current_path();
    std::filesystem::current_path(Curl.Dir());
    EXPECT_EQ(FindProgramOr("curl", Dir.Path() + "none"), "");
    std::filesystem::current_path(Old);
  }
}

} // namespace
} // namespace NVelmora::NTest
