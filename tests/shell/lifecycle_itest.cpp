#include "tests/support/held_port.h"
#include "tests/support/http_client.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace NVelmora::NTest {
namespace {

using namespace std::chrono_literals;

constexpr const char* BannerStart = "[Velmora] Native engine listening at http://127.0.0.1:";

mode_t ModeOf(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0 ? (Info.st_mode & 07777) : 0;
}

std::set<std::string> Tables(const std::string& DbPath) {
  std::set<std::string> Names;
  sqlite3* Db = nullptr;
  if (sqlite3_open_v2(DbPath.c_str(), &Db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        Db, "SELECT name FROM sqlite_master WHERE type = 'table';",
        [](void* Out, int, char** Values, char**) {
          static_cast<std::set<std::string>*>(Out)->insert(Values[0]);
          return 0;
        },
        &Names, nullptr);
  }
  sqlite3_close(Db);
  return Names;
}

TEST(Banner, IsWrittenWholeToARedirectedStdoutWhileTheProgramKeepsRunning) {
  TVelmoraProcess Velmora;
  ASSERT_NE(Velmora.Port(), 0) << Velmora.Stderr();
  EXPECT_EQ(Velmora.Stdout(), BannerStart + std::to_string(Velmora.Port()) + "/\n");
  EXPECT_EQ(Velmora.WaitForExit(0ms), std::nullopt) << "the program ended after its banner";
  EXPECT_EQ(Get(Velmora.Port(), "/api/health").Status, 200);
  EXPECT_EQ(Velmora.Stderr(), "");
}

TEST(Banner, AClosedStdoutEndsTheProgramWith217AndAReport) {
  TVelmoraOptions Options;
  Options.CloseStdout = true;
  Options.WaitForBanner = false;
  TVelmoraProcess Velmora(Options);
  EXPECT_EQ(Velmora.WaitForExit(10s), 217);
  EXPECT_NE(Velmora.Stderr().find("standard output"), std::string::npos) << Velmora.Stderr();
}

TEST(PortFallback, ATakenFirstPortMovesTheEngineToALaterOne) {
  // Other copies of the program may hold 19029 for a while; then they take it in our place.
  std::optional<THeldPort> Held;
  const auto Deadline = std::chrono::steady_clock::now() + 5s;
  while (!(Held.emplace(19029), Held->Held()) && std::chrono::steady_clock::now() < Deadline) {
    std::this_thread::sleep_for(50ms);
  }
  TVelmoraProcess Velmora;
  ASSERT_NE(Velmora.Port(), 0) << Velmora.Stderr();
  if (Held->Held()) {
    EXPECT_NE(Velmora.Port(), 19029);
  }
  EXPECT_GE(Velmora.Port(), 19029);
  EXPECT_LE(Velmora.Port(), 19044);
  EXPECT_EQ(Get(Velmora.Port(), "/api/health").Status, 200);
}

TEST(DataDirectory, IsCreatedPrivateWithTheDatabaseAndItsThreeTables) {
  TVelmoraProcess Velmora;
  ASSERT_NE(Velmora.Port(), 0) << Velmora.Stderr();
  const std::string Data = Velmora.AppDir() + "data";
  EXPECT_EQ(ModeOf(Data), 0700u);
  const std::set<std::string> Names = Tables(Data + "/velmora.sqlite3");
  for (const char* Table : {"kv_store", "saved_jobs", "offline_notes", "sqlite_sequence"}) {
    EXPECT_EQ(Names.count(Table), 1u) << Table;
  }
}

TEST(DataDirectory, AnExistingDirectoryAndItsRowsAreLeftAsTheyAre) {
  TTempDir Dir;
  const std::string App = Dir.Path() + "app/";
  const std::string Data = App + "data";
  ASSERT_EQ(::mkdir(App.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(Data.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(Data.c_str(), 0755), 0);
  sqlite3* Db = nullptr;
  ASSERT_EQ(sqlite3_open((Data + "/velmora.sqlite3").c_str(), &Db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(Db,
                         "CREATE TABLE kv_store (  k TEXT PRIMARY KEY,  v TEXT NOT NULL);"
                         "INSERT INTO kv_store VALUES('auth_token', 'kept');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(Db);

  TVelmoraProcess Velmora(TVelmoraOptions{}, App);
  ASSERT_NE(Velmora.Port(), 0) << Velmora.Stderr();
  EXPECT_EQ(ModeOf(Data), 0755u);
  ASSERT_EQ(sqlite3_open_v2((Data + "/velmora.sqlite3").c_str(), &Db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::string Value;
  sqlite3_exec(
      Db, "SELECT v FROM kv_store WHERE k = 'auth_token';",
      [](void* Out, int, char** Values, char**) {
        *static_cast<std::string*>(Out) = Values[0];
        return 0;
      },
      &Value, nullptr);
  sqlite3_close(Db);
  EXPECT_EQ(Value, "kept");
  EXPECT_EQ(Tables(Data + "/velmora.sqlite3").count("offline_notes"), 1u);
}

TEST(DataDirectory, APlainFileInItsPlaceEndsStartUpWith217) {
  TTempDir Dir;
  const std::string App = Dir.Path() + "app/";
  ASSERT_EQ(::mkdir(App.c_str(), 0755), 0);
  WriteFile(App + "data", "not a folder");
  TVelmoraOptions Options;
  Options.WaitForBanner = false;
  TVelmoraProcess Velmora(Options, App);
  EXPECT_EQ(Velmora.WaitForExit(10s), 217);
  EXPECT_NE(Velmora.Stderr(), "");
  EXPECT_EQ(Velmora.Stdout(), "") << "no banner before the database is open";
  EXPECT_EQ(ReadFile(App + "data"), "not a folder");
}

std::string RealPath(const std::string& Path) {
  char Resolved[PATH_MAX];
  return ::realpath(Path.c_str(), Resolved) ? std::string(Resolved) + "/" : "";
}

TEST(ApplicationDirectory, IsTheRealExecutablesFolderWhenStartedThroughALink) {
  TTempDir Dir;
  const std::string App = Dir.Path() + "app/";
  const std::string Elsewhere = Dir.Path() + "elsewhere/";
  const std::string Start = Dir.Path() + "start/";
  ASSERT_EQ(::mkdir(App.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(Elsewhere.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(Start.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((App + "ui").c_str(), 0755), 0);
  WriteFile(App + "ui/index.html", "real page");
  ASSERT_EQ(::symlink((App + "velmora").c_str(), (Elsewhere + "velmora").c_str()), 0);

  TVelmoraOptions Options;
  Options.Launch = Elsewhere + "velmora";
  Options.WorkDir = Start;
  TVelmoraProcess Velmora(Options, App);
  ASSERT_NE(Velmora.Port(), 0) << Velmora.Stderr();

  EXPECT_EQ(RealPath("/proc/" + std::to_string(Velmora.Pid()) + "/cwd"), RealPath(App));
  EXPECT_EQ(ModeOf(App + "data/velmora.sqlite3") != 0, true);
  EXPECT_EQ(ModeOf(Elsewhere + "data"), 0u);
  EXPECT_EQ(ModeOf(Start + "data"), 0u);
  EXPECT_EQ(Get(Velmora.Port(), "/").Body, "real page");
}

} // namespace
} // namespace NVelmora::NTest
