#include "remote/google.h"

#include <gtest/gtest.h>

#include <ostream>

namespace NVelmora {
namespace {

constexpr const char* Callback19029 = "/auth/google?native_callback=http%3A%2F%2F127.0.0.1%3A19029%2Fapi%2Fauth%2Fgoogle-callback";

struct TStartUrlCase {
  const char* ApiBase;
  std::uint16_t Port;
  std::string Expected;
};

void PrintTo(const TStartUrlCase& Case, std::ostream* Out) { *Out << Case.ApiBase << " port " << Case.Port; }

class GoogleStartUrlOf : public ::testing::TestWithParam<TStartUrlCase> {};

TEST_P(GoogleStartUrlOf, DropsTheFirstApiRootAndOneTrailingSlash) {
  EXPECT_EQ(GoogleStartUrl(GetParam().ApiBase, GetParam().Port), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Google, GoogleStartUrlOf,
    ::testing::Values(
        TStartUrlCase{"https://velmora.app/api/v1", 19029, std::string("https://velmora.app") + Callback19029},
        TStartUrlCase{"https://velmora.app/api/v1/", 19029, std::string("https://velmora.app") + Callback19029},
        TStartUrlCase{"https://velmora.app/API/V1", 19029, std::string("https://velmora.app") + Callback19029},
        TStartUrlCase{"https://velmora.app/Api/v1/", 19029, std::string("https://velmora.app") + Callback19029},
        TStartUrlCase{"http://localhost:8000/", 19029, std::string("http://localhost:8000") + Callback19029},
        TStartUrlCase{"http://localhost:8000", 19029, std::string("http://localhost:8000") + Callback19029},
        TStartUrlCase{"https://h.example/base/api/v1", 19029, std::string("https://h.example/base") + Callback19029},
        TStartUrlCase{"https://h.example/api/v1/api/v1", 19029, std::string("https://h.example/api/v1") + Callback19029},
        TStartUrlCase{"https://h.example/api/v1//", 19029, std::string("https://h.example/") + Callback19029},
        TStartUrlCase{"/api/v1", 19029, Callback19029},
        TStartUrlCase{"https://velmora.app/api/v1", 19044,
                      "https://velmora.app/auth/google?native_callback=http%3A%2F%2F127.0.0.1%3A19044%2Fapi%2Fauth%2F"
                      "google-callback"},
        TStartUrlCase{"https://velmora.app/api/v1", 8, "https://velmora.app/auth/google?native_callback=http%3A%2F%2F"
                                                       "127.0.0.1%3A8%2Fapi%2Fauth%2Fgoogle-callback"}));

} // namespace
} // namespace NVelmora
