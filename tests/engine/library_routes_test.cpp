#include "engine/routes.h"
#include "tests/support/temp_dir.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace NVelmora::NTest {
namespace {

struct TDeleteIdCase {
  const char* Id;       // the "id" member as JSON text
  int ExpectedDeleted;  // 0: nothing deleted
};

class DeleteNoteId : public ::testing::TestWithParam<TDeleteIdCase> {};

// Notes 1 to 6 exist; the route must delete the note the "id" names after rounding, and
// nothing for an id it cannot take as a positive 32-bit integer (no wrap onto note 1).
TEST_P(DeleteNoteId, RoundsHalvesToEvenAndIgnoresIdsOutOfRange) {
  TTempDir Dir;
  TVelmoraApiServer Engine(Dir.Path(), 19029);
  for (int I = 1; I <= 6; ++I) {
    ASSERT_EQ(Engine.AddOfflineNote("n", ""), I);
  }
  THttpRequest Request;
  Request.Method = "POST";
  Request.Path = "/api/offline-notes/delete";
  Request.Body = std::string(R"({"id":)") + GetParam().Id + "}";
  THttpResponse Response;
  RouteDeleteOfflineNote(Engine, Request, Response);
  EXPECT_EQ(Response.Status, 200);
  EXPECT_EQ(Response.Body, R"({"ok":true})");

  std::set<int> Left;
  for (const TJson& Note : Engine.OfflineNotesJson()) {
    Left.insert(Note["id"].get<int>());
  }
  std::set<int> Expected{1, 2, 3, 4, 5, 6};
  Expected.erase(GetParam().ExpectedDeleted);
  EXPECT_EQ(Left, Expected) << GetParam().Id;
}

INSTANTIATE_TEST_SUITE_P(
    Routes, DeleteNoteId,
    ::testing::Values(TDeleteIdCase{"3", 3}, TDeleteIdCase{"5.0", 5}, TDeleteIdCase{"2.5", 2},
                      TDeleteIdCase{"3.5", 4}, TDeleteIdCase{"4.49", 4}, TDeleteIdCase{"0.5", 0},
                      TDeleteIdCase{"1.5", 2}, TDeleteIdCase{"0.4", 0}, TDeleteIdCase{"0", 0},
                      TDeleteIdCase{"-1", 0}, TDeleteIdCase{"-0.0", 0}, TDeleteIdCase{"\"1\"", 0},
                      TDeleteIdCase{"true", 0}, TDeleteIdCase{"null", 0}, TDeleteIdCase{"[1]", 0},
                      TDeleteIdCase{"4294967297", 0}, TDeleteIdCase{"-4294967295", 0},
                      TDeleteIdCase{"2147483648", 0}, TDeleteIdCase{"18446744073709551617", 0},
                      TDeleteIdCase{"4294967297.0", 0}, TDeleteIdCase{"1e300", 0},
                      TDeleteIdCase{"6e0", 6}));

} // namespace
} // namespace NVelmora::NTest
