#include "tests/support/http_client.h"
#include "tests/support/velmora_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace NVelmora::NTest {
namespace {

// Bytes of every value, so that a body cut at a zero byte or a 4 KB step shows.
std::string Binary(std::size_t Size, unsigned Seed) {
  std::string Out(Size, '\0');
  for (std::size_t I = 0; I < Size; ++I) {
    Out[I] = static_cast<char>((I * 131 + Seed + I / 4096) & 0xff);
  }
  return Out;
}

const std::string Page = "<!doctype html><title>Velmora</title>\n";
const std::string Icon = Binary(200 * 1024 + 7, 1);
const std::string Logo = Binary(4096, 2);
const std::string Font = Binary(65 * 1024, 3);

void ExpectPlainNotFound(const THttpAnswer& Answer) {
  EXPECT_EQ(Answer.Status, 404) << Answer.Raw;
  EXPECT_EQ(Answer.Body, "Not found");
  EXPECT_EQ(Answer.Header("Content-Type"), "text/html");
  EXPECT_EQ(Answer.Header("Cache-Control"), std::nullopt);
  EXPECT_EQ(Answer.Header("Connection"), std::nullopt);
}

class StaticFiles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Dir = std::make_unique<TTempDir>();
    const std::string Ui = Dir->Path() + "app/ui/";
    ::mkdir((Dir->Path() + "app").c_str(), 0755);
    ::mkdir(Ui.c_str(), 0755);
    WriteFile(Ui + "index.html", Page);
    WriteFile(Ui + "app-icon.png", Icon);
    WriteFile(Ui + "official-logo.png", Logo);
    WriteFile(Ui + "fontawesome.ttf", Font);
    Velmora = std::make_unique<TVelmoraProcess>(TVelmoraOptions{}, Dir->Path() + "app/");
  }
  static void TearDownTestSuite() {
    Velmora.reset();
    Dir.reset();
  }
  static std::string Ui() { return Dir->Path() + "app/ui/"; }

  static inline std::unique_ptr<TTempDir> Dir;
  static inline std::unique_ptr<TVelmoraProcess> Velmora;
};

struct TAssetCase {
  const char* Target;
  const std::string* Content;
  const char* ContentType;
  const char* CacheControl;
};

class AssetTable : public StaticFiles, public ::testing::WithParamInterface<TAssetCase> {};

TEST_P(AssetTable, ServesTheWholeFileWithItsTypeAndCaching) {
  ASSERT_NE(Velmora->Port(), 0);
  const THttpAnswer Answer = Get(Velmora->Port(), GetParam().Target);
  EXPECT_EQ(Answer.Status, 200) << Answer.Raw.substr(0, 300);
  EXPECT_TRUE(Answer.Body == *GetParam().Content) << "body of " << Answer.Body.size() << " bytes differs";
  EXPECT_EQ(Answer.Header("Content-Type"), GetParam().ContentType);
  EXPECT_EQ(Answer.Header("Cache-Control"), GetParam().CacheControl);
  EXPECT_EQ(Answer.Header("Connection"), "close");
  EXPECT_EQ(Answer.Header("Content-Length"), std::to_string(GetParam().Content->size()));
}

INSTANTIATE_TEST_SUITE_P(Engine, AssetTable, ::testing::Values(
    TAssetCase{"/", &Page, "text/html; charset=utf-8", "no-cache"},
    TAssetCase{"/index.html", &Page, "text/html; charset=utf-8", "no-cache"},
    TAssetCase{"/?v=2", &Page, "text/html; charset=utf-8", "no-cache"},
    TAssetCase{"/app-icon.png", &Icon, "image/png", "no-cache"},
    TAssetCase{"/official-logo.png", &Logo, "image/png", "no-cache"},
    TAssetCase{"/fonts/fontawesome.ttf", &Font, "font/ttf", "public, max-age=86400"}));

TEST_F(StaticFiles, AFileReplacedOnDiskIsServedNewAtTheNextRequest) {
  ASSERT_EQ(Get(Velmora->Port(), "/").Body, Page);
  const std::string Next = Ui() + "index.next";
  WriteFile(Next, "<p>second edition</p>");
  ASSERT_EQ(::rename(Next.c_str(), (Ui() + "index.html").c_str()), 0);
  EXPECT_EQ(Get(Velmora->Port(), "/").Body, "<p>second edition</p>");
  WriteFile(Next, Page);
  ASSERT_EQ(::rename(Next.c_str(), (Ui() + "index.html").c_str()), 0);
}

bool CanOpen(const std::string& Path) {
  const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd >= 0) {
    ::close(Fd);
  }
  return Fd >= 0;
}

bool IsRegularFile(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

TEST_F(StaticFiles, AFileThatExistsButCannotBeOpenedIsTheEngineErrorAnswer) {
  // A file without permissions; for root, whom permissions do not bind, a write-only
  // kernel setting, which nobody may open for reading.
  std::string Target = Dir->Path() + "locked.png";
  WriteFile(Target, Logo);
  ASSERT_EQ(::chmod(Target.c_str(), 0), 0);
  if (CanOpen(Target)) {
    Target = "/proc/sys/vm/drop_caches";
  }
  if (!IsRegularFile(Target) || CanOpen(Target)) {
    GTEST_SKIP() << "no file here exists that cannot be opened";
  }
  const std::string LogoPath = Ui() + "official-logo.png";
  ASSERT_EQ(::rename(LogoPath.c_str(), (LogoPath + ".aside").c_str()), 0);
  ASSERT_EQ(::symlink(Target.c_str(), LogoPath.c_str()), 0);
  const THttpAnswer Answer = Get(Velmora->Port(), "/official-logo.png");
  ::unlink(LogoPath.c_str());
  ::rename((LogoPath + ".aside").c_str(), LogoPath.c_str());

  EXPECT_EQ(Answer.Status, 500) << Answer.Raw;
  EXPECT_EQ(Answer.Body, R"({"ok":false,"error":"Local engine error."})");
  EXPECT_EQ(Answer.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(Answer.Header("Connection"), "close");
  EXPECT_EQ(Answer.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(Get(Velmora->Port(), "/api/health").Status, 200) << "the engine keeps serving";
}

// ui/ holds the font only in a subfolder "fonts", a folder in place of the page, a
// dangling link in place of the icon, and an empty logo.
class OddUi : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    Dir = std::make_unique<TTempDir>();
    const std::string Ui = Dir->Path() + "app/ui/";
    ::mkdir((Dir->Path() + "app").c_str(), 0755);
    ::mkdir(Ui.c_str(), 0755);
    ::mkdir((Ui + "fonts").c_str(), 0755);
    WriteFile(Ui + "fonts/fontawesome.ttf", Font);
    ::mkdir((Ui + "index.html").c_str(), 0755);
    (void)::symlink((Ui + "missing.png").c_str(), (Ui + "app-icon.png").c_str());
    WriteFile(Ui + "official-logo.png", "");
    Velmora = std::make_unique<TVelmoraProcess>(TVelmoraOptions{}, Dir->Path() + "app/");
  }
  static void TearDownTestSuite() {
    Velmora.reset();
    Dir.reset();
  }

  static inline std::unique_ptr<TTempDir> Dir;
  static inline std::unique_ptr<TVelmoraProcess> Velmora;
};

TEST_F(OddUi, FontInASubfolderFolderAndDanglingLinkAnswerNotFound) {
  ASSERT_NE(Velmora->Port(), 0);
  for (const char* Target : {"/fonts/fontawesome.ttf", "/", "/index.html", "/app-icon.png"}) {
    SCOPED_TRACE(Target);
    ExpectPlainNotFound(Get(Velmora->Port(), Target));
  }
}

TEST_F(OddUi, AnEmptyFileIsAnEmptyAnswer) {
  const THttpAnswer Answer = Get(Velmora->Port(), "/official-logo.png");
  EXPECT_EQ(Answer.Status, 200);
  EXPECT_EQ(Answer.Body, "");
  EXPECT_EQ(Answer.Header("Content-Length"), "0");
  EXPECT_EQ(Answer.Header("Content-Type"), "image/png");
}

TEST(MissingUi, EveryAssetAnswersNotFoundAndTheApiKeepsWorking) {
  TVelmoraProcess Velmora;
  ASSERT_NE(Velmora.Port(), 0);
  for (const char* Target : {"/", "/index.html", "/app-icon.png", "/official-logo.png", "/fonts/fontawesome.ttf"}) {
    SCOPED_TRACE(Target);
    ExpectPlainNotFound(Get(Velmora.Port(), Target));
  }
  EXPECT_EQ(Get(Velmora.Port(), "/api/health").Status, 200);
}

} // namespace
} // namespace NVelmora::NTest
