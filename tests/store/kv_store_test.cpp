#include "engine/uapi.h"
#include "store/sqlite.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <string>

namespace NVelmora::NTest {
namespace {

// A second connection to the engine's database file, as another process would hold it.
class TOtherConnection {
public:
  explicit TOtherConnection(const std::string& Path) {
    if (sqlite3_open_v2(Path.c_str(), &Db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "cannot open " << Path;
    }
  }
  ~TOtherConnection() { sqlite3_close_v2(Db_); }

  int Exec(const char* Sql) { return sqlite3_exec(Db_, Sql, nullptr, nullptr, nullptr); }

  // The committed value of a key as this connection sees it; "<absent>" when there is none.
  std::string Value(const std::string& Key) {
    sqlite3_stmt* Stmt = nullptr;
    sqlite3_prepare_v2(Db_, "SELECT v FROM kv_store WHERE k = ?1;", -1, &Stmt, nullptr);
    sqlite3_bind_text(Stmt, 1, Key.c_str(), -1, SQLITE_TRANSIENT);
    std::string Result = "<absent>";
    const int Rc = sqlite3_step(Stmt);
    if (Rc == SQLITE_ROW) {
      Result.assign(reinterpret_cast<const char*>(sqlite3_column_text(Stmt, 0)),
                    static_cast<std::size_t>(sqlite3_column_bytes(Stmt, 0)));
    } else if (Rc != SQLITE_DONE) {
      Result = "<error " + std::to_string(Rc) + ">";
    }
    sqlite3_finalize(Stmt);
    return Result;
  }

private:
  sqlite3* Db_ = nullptr;
};

class KvStore : public ::testing::Test {
protected:
  void SetUp() override { Open(); }

  void Open() {
    // The constructor opens the database; the engine thread is never started here.
    Engine = std::make_unique<TVelmoraApiServer>(Dir.Path(), 19029);
  }
  std::string DbPath() const { return Dir.Path() + "data/velmora.sqlite3"; }
  bool InTransaction() const { return Engine->DbConnection->InTransaction(); }

  TTempDir Dir;
  std::unique_ptr<TVelmoraApiServer> Engine;
};

TEST_F(KvStore, GetGivesTheDefaultOnlyForAnAbsentKey) {
  EXPECT_EQ(Engine->KvGet("auth_token", "fallback"), "fallback");
  Engine->KvSet("auth_token", "");
  EXPECT_EQ(Engine->KvGet("auth_token", "fallback"), "");
}

TEST_F(KvStore, SetReplacesTheValueAndKeysDifferInLetterCase) {
  Engine->KvSet("user_json", "first");
  Engine->KvSet("user_json", "second");
  Engine->KvSet("USER_JSON", "other");
  EXPECT_EQ(Engine->KvGet("user_json", ""), "second");
  EXPECT_EQ(Engine->KvGet("USER_JSON", ""), "other");
  TOtherConnection Other(DbPath());
  EXPECT_EQ(Other.Value("user_json"), "second");
}

TEST_F(KvStore, DeleteRemovesOnlyItsKeyAndAnAbsentKeyIsNoError) {
  Engine->KvSet("auth_token", "t");
  Engine->KvSet("user_json", "u");
  Engine->KvDelete("auth_token");
  EXPECT_NO_THROW(Engine->KvDelete("auth_token"));
  EXPECT_NO_THROW(Engine->KvDelete("never_written"));
  EXPECT_EQ(Engine->KvGet("auth_token", "gone"), "gone");
  EXPECT_EQ(Engine->KvGet("user_json", ""), "u");
}

TEST_F(KvStore, ALargeValueComesBackByteForByteAfterReopening) {
  std::string Value;
  for (std::size_t I = 0; Value.size() < 300 * 1024; ++I) {
    Value += "{\"n\":" + std::to_string(I) + ",\"t\":\"caf\xC3\xA9 \xE2\x82\xAC\\n\"},";
  }
  Engine->KvSet("cache_jobs", Value);
  EXPECT_EQ(Engine->KvGet("cache_jobs", ""), Value);
  Engine.reset();
  Open();
  EXPECT_EQ(Engine->KvGet("cache_jobs", ""), Value);
}

TEST_F(KvStore, AReadLeavesTheTransactionOpenAndTheNextWriteCommitsIt) {
  EXPECT_FALSE(InTransaction()) << "opening commits the schema";
  Engine->KvSet("a", "1");
  EXPECT_FALSE(InTransaction());
  EXPECT_EQ(Engine->KvGet("a", ""), "1");
  EXPECT_TRUE(InTransaction());
  EXPECT_EQ(Engine->KvGet("b", ""), "");
  EXPECT_TRUE(InTransaction());

  TOtherConnection Other(DbPath());
  EXPECT_EQ(Other.Value("a"), "1");

  Engine->KvDelete("a");
  EXPECT_FALSE(InTransaction());
  EXPECT_EQ(Other.Value("a"), "<absent>");
}

TEST_F(KvStore, AWriteFailsAfterTheBusyTimeoutAndTheStoreRecoversOnceTheLockIsGone) {
  TOtherConnection Other(DbPath());
  ASSERT_EQ(Other.Exec("BEGIN EXCLUSIVE;"), SQLITE_OK);

  const auto Started = std::chrono::steady_clock::now();
  EXPECT_THROW(Engine->KvSet("auth_token", "t"), TStoreError);
  const auto Waited = std::chrono::steady_clock::now() - Started;
  EXPECT_GE(Waited, std::chrono::milliseconds(4500));
  EXPECT_LT(Waited, std::chrono::milliseconds(15000));

  ASSERT_EQ(Other.Exec("COMMIT;"), SQLITE_OK);
  Engine->KvSet("auth_token", "t2");
  EXPECT_FALSE(InTransaction());
  EXPECT_EQ(Other.Value("auth_token"), "t2");
}

} // namespace
} // namespace NVelmora::NTest
