#include "remote/device_identity.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace NVelmora::NTest {
namespace {

// What stands at one of the three system file names.
struct TEntry {
  enum EKind { Absent, File, Directory } Kind = Absent;
  std::string Content;
};

TEntry Absent() { return {}; }
TEntry File(std::string Content) { return {TEntry::File, std::move(Content)}; }
TEntry Directory() { return {TEntry::Directory, ""}; }

struct TIdentityCase {
  const char* Name;
  TEntry MachineId;      // /etc/machine-id
  TEntry DbusMachineId;  // /var/lib/dbus/machine-id
  TEntry Hostname;       // /etc/hostname
  const char* User;      // nullptr: unset
  const char* HostVar;   // HOSTNAME, nullptr: unset
  std::string Id;
  std::string Model;
};

// Sets or removes one environment variable for the life of the guard.
class TEnvGuard {
public:
  TEnvGuard(const char* Name, const char* Value) : Name_(Name) {
    if (const char* Old = std::getenv(Name)) {
      Old_ = Old;
    }
    Value ? ::setenv(Name, Value, 1) : ::unsetenv(Name);
  }
  ~TEnvGuard() { Old_ ? ::setenv(Name_, Old_->c_str(), 1) : ::unsetenv(Name_); }

private:
  const char* Name_;
  std::optional<std::string> Old_;
};

void Place(const std::string& Path, const TEntry& Entry) {
  std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
  if (Entry.Kind == TEntry::File) {
    WriteFile(Path, Entry.Content);
  } else if (Entry.Kind == TEntry::Directory) {
    std::filesystem::create_directories(Path);
  }
}

class DeviceIdentity : public ::testing::TestWithParam<TIdentityCase> {};

TEST_P(DeviceIdentity, FollowsTheMachineIdUserAndHostRules) {
  const TIdentityCase& Case = GetParam();
  TTempDir Root;
  const std::string Base = Root.Path() + "root";
  Place(Base + "/etc/machine-id", Case.MachineId);
  Place(Base + "/var/lib/dbus/machine-id", Case.DbusMachineId);
  Place(Base + "/etc/hostname", Case.Hostname);
  TEnvGuard User("USER", Case.User);
  TEnvGuard Host("HOSTNAME", Case.HostVar);

  const TDeviceIdentity Identity = LoadDeviceIdentity(Base);
  EXPECT_EQ(Identity.Id, Case.Id);
  EXPECT_EQ(Identity.Platform, "linux");
  EXPECT_EQ(Identity.Model, Case.Model);
}

INSTANTIATE_TEST_SUITE_P(Remote, DeviceIdentity, ::testing::Values(
    TIdentityCase{"MachineIdFile", File("0123abcd\n"), Absent(), File("box\n"), "anna", nullptr,
                  "lin_0123abcd_anna", "Linux Desktop (box)"},
    TIdentityCase{"OnlyTheTrimmedFirstLineCounts", File(" \t0123abcd \r\nsecond\n"), File("dbus\n"), Absent(), "anna",
                  "host", "lin_0123abcd_anna", "Linux Desktop (host)"},
    TIdentityCase{"NoLineEnd", File("0123abcd"), Absent(), Absent(), "anna", "host",
                  "lin_0123abcd_anna", "Linux Desktop (host)"},
    TIdentityCase{"EmptyMachineIdFileHidesDbusFile", File(""), File("dbus\n"), File("box\n"), "anna", nullptr,
                  "lin_lin_box_anna_anna", "Linux Desktop (box)"},
    TIdentityCase{"BlankFirstLineHidesTheSecond", File("\nlater\n"), Absent(), Absent(), "anna", "host",
                  "lin_lin_host_anna_anna", "Linux Desktop (host)"},
    TIdentityCase{"UnreadableMachineIdHidesDbusFile", Directory(), File("dbus\n"), Absent(), "anna", "host",
                  "lin_lin_host_anna_anna", "Linux Desktop (host)"},
    TIdentityCase{"DbusFileWhenMachineIdMissing", Absent(), File(" feed42 \nx\n"), Absent(), "anna", "host",
                  "lin_feed42_anna", "Linux Desktop (host)"},
    TIdentityCase{"HostVariableWinsOverFile", File("0123abcd\n"), Absent(), File("box\n"), "anna", " \tlaptop \n",
                  "lin_0123abcd_anna", "Linux Desktop (laptop)"},
    TIdentityCase{"BlankHostVariableFallsBackToFile", Absent(), Absent(), File("  box \n"), " anna ", "  ",
                  "lin_lin_box_anna_anna", "Linux Desktop (box)"},
    TIdentityCase{"HostnameDirectoryGivesNoHost", Absent(), Absent(), Directory(), "anna", nullptr,
                  "lin_lin__anna_anna", "Linux Desktop ()"},
    TIdentityCase{"NothingAtAll", Absent(), Absent(), Absent(), nullptr, nullptr, "lin_lin___", "Linux Desktop ()"},
    TIdentityCase{"InnerBytesKept", File("ab cd\tef\n"), Absent(), Absent(), "an na", "h\xC3\xB6st",
                  "lin_ab cd\tef_an na", "Linux Desktop (h\xC3\xB6st)"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DeviceIdentityFiles, AnUnreadableMachineIdFileIsSwallowed) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "file permissions do not bind root";
  }
  TTempDir Root;
  const std::string Base = Root.Path() + "root";
  Place(Base + "/etc/machine-id", File("secret\n"));
  Place(Base + "/var/lib/dbus/machine-id", File("dbus\n"));
  ASSERT_EQ(::chmod((Base + "/etc/machine-id").c_str(), 0), 0);
  TEnvGuard User("USER", "anna");
  TEnvGuard Host("HOSTNAME", "host");
  EXPECT_EQ(LoadDeviceIdentity(Base).Id, "lin_lin_host_anna_anna");
}

} // namespace
} // namespace NVelmora::NTest
