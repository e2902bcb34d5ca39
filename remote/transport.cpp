#include "engine/uapi.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <system_error>
#include <vector>

namespace NVelmora {
namespace {

constexpr std::string_view Marker = "__VLM_CODE__:";

// The temporary file that carries a request body to curl; deleted on every path.
class TRequestFile {
public:
  explicit TRequestFile(const std::string& DataDir) {
    EnsureDirectory(DataDir, 0700);
    const auto Tid = static_cast<unsigned long>(::syscall(SYS_gettid));
    auto Millis = static_cast<unsigned long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      std::chrono::steady_clock::now().time_since_epoch())
                                                      .count());
    // A thread runs one call at a time, so its id keeps concurrent calls apart; the clock
    // moves on should a file of the same name be left over from an earlier run.
    for (int Attempt = 0;; ++Attempt, ++Millis) {
      std::string Candidate = DataDir + "/req_" + std::to_string(Tid) + "_" + std::to_string(Millis) + ".tmp";
      // Private and never pre-existing: the body can hold a password.
      Fd_.Reset(::open(Candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
      if (Fd_) {
        Path_ = std::move(Candidate);
        return;
      }
      if (errno != EEXIST || Attempt == 16) {
        throw std::system_error(errno, std::generic_category(), "cannot create " + Candidate);
      }
    }
  }
  ~TRequestFile() {
    Fd_.Reset();
    ::unlink(Path_.c_str());
  }
  TRequestFile(const TRequestFile&) = delete;
  TRequestFile& operator=(const TRequestFile&) = delete;

  void Write(std::string_view Bytes) {
    while (!Bytes.empty()) {
      const ssize_t Written = ::write(Fd_.Get(), Bytes.data(), Bytes.size());
      if (Written < 0) {
        if (errno == EINTR) {
          continue;
        }
        throw std::system_error(errno, std::generic_category(), "cannot write " + Path_);
      }
      Bytes.remove_prefix(static_cast<std::size_t>(Written));
    }
    Fd_.Reset();
  }
  const std::string& Path() const { return Path_; }

private:
  TUniqueFd Fd_;
  std::string Path_;
};

// A line break would let a value smuggle further headers into the request, and a NUL byte
// would cut the argument short, so that curl sent another value than the one checked.
bool IsUnsafeHeaderValue(std::string_view Value) {
  return Value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

int ParseStatus(std::string_view Text) {
  Text = Trim(Text);
  int Status = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Status);
  return Error == std::errc() && End == Text.data() + Text.size() ? Status : 0;
}

} // namespace

bool TVelmoraApiServer::RemoteRequest(const std::string& Method, const std::string& Url, const std::string& Body,
                                      const std::string& Token, std::string& ResponseBody, int& Status) {
  ResponseBody.clear();
  Status = 0;

  const std::string LowerUrl = ToLowerAscii(Trim(Url));
  if (!StartsWith(LowerUrl, "https://") && !StartsWith(LowerUrl, "http://")) {
    return false;
  }
  const std::string Curl = FindProgramOr("curl", "/usr/bin/curl");
  if (Curl.empty()) {
    return false;
  }

  const std::string UpperMethod = ToUpperAscii(Method);
  const std::string_view TrimmedToken = Trim(Token);

  std::vector<std::string> Headers = {"Accept: application/json", "User-Agent: VelmoraDesktop/1.0"};
  if (!DeviceId.empty()) {
    Headers.push_back("X-Vlm-Device-Id: " + DeviceId);
  }
  Headers.push_back("X-Vlm-Platform: " + DevicePlatform);
  Headers.push_back("X-Vlm-App-Version: 1.0.0");
  if (!DeviceModel.empty()) {
    Headers.push_back("X-Vlm-Device-Model: " + DeviceModel);
  }
  if (!TrimmedToken.empty()) {
    Headers.push_back("Authorization: Bearer " + std::string(TrimmedToken));
  }
  for (const std::string& Header : Headers) {
    if (IsUnsafeHeaderValue(Header)) {
      return false;
    }
  }

  // --globoff: brackets and braces in paths and queries reach the service unchanged.
  std::vector<std::string> Args = {"-sS", "-L", "--globoff", "--max-time", "12", "-X", UpperMethod};
  for (std::string& Header : Headers) {
    Args.push_back("-H");
    Args.push_back(std::move(Header));
  }
  std::optional<TRequestFile> RequestFile;
  if (UpperMethod != "GET" && !Body.empty()) {
    RequestFile.emplace(AppDir + "data");
    RequestFile->Write(Body);
    Args.insert(Args.end(), {"-H", "Content-Type: application/json", "--data-binary", "@" + RequestFile->Path()});
  }
  Args.push_back("-w");
  Args.push_back("\n" + std::string(Marker) + "%{http_code}");
  Args.push_back(Url);

  TCapturedRun Run;
  try {
    Run = RunCaptured(Curl, Args);
  } catch (const std::exception&) {
    return false;
  }

  const std::string_view Output = Run.Output;
  const std::size_t At = Output.rfind(Marker);
  if (At == std::string_view::npos) {
    ResponseBody = std::string(Trim(Output));
  } else {
    Status = ParseStatus(Output.substr(At + Marker.size(), 16));
    ResponseBody = std::string(Trim(Output.substr(0, At)));
  }
  return Run.ExitStatus == 0 && Status > 0;
}

} // namespace NVelmora
