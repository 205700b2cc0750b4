// Fakes of the operating-system services: nothing sleeps, nothing quits, no
// computer restarts; every call is recorded for the test to assert.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/burn_guard.h"
#include "platform/os.h"
#include "platform/power.h"
#include "platform/restart.h"
#include "platform/shutdown_notice.h"

namespace fakes {

class FakeOs : public platform::Os {
 public:
  std::uint32_t platformId = platform::kPlatformWin32Nt;
  std::vector<std::string> roots;                  // e.g. {"C:\\", "E:\\"}
  std::map<std::string, std::uint32_t> driveTypes;  // root -> type (default 3)
  std::string currentFolder = "C:\\FLASH";
  std::string exePath = "C:\\FLASH\\QRWFLASH.EXE";
  std::set<std::string> existingFiles;

  std::vector<std::chrono::milliseconds> sleeps;
  std::vector<int> quitCodes;

  std::uint32_t PlatformId() override { return platformId; }
  std::string LogicalDriveStrings(std::uint32_t maxChars) override {
    std::string out;
    for (const auto& r : roots) {
      out += r;
      out.push_back('\0');
    }
    if (out.size() > maxChars) out.resize(maxChars);
    return out;
  }
  std::uint32_t DriveType(const std::string& root) override {
    auto it = driveTypes.find(root);
    return it == driveTypes.end() ? 3u : it->second;
  }
  void Sleep(std::chrono::milliseconds duration) override { sleeps.push_back(duration); }
  void PostQuit(int exitCode) override { quitCodes.push_back(exitCode); }
  std::string CurrentFolder() override { return currentFolder; }
  std::string ExePath() override { return exePath; }
  bool FileExists(const std::string& path) override { return existingFiles.count(path) > 0; }
};

class FakeRestart : public platform::Restart {
 public:
  bool tokenOpens = true;
  bool privilegeFound = true;
  std::uint32_t adjustError = 0;
  std::vector<std::string> calls;  // in order
  std::vector<std::uint32_t> exitFlags;

  bool OpenProcessToken() override {
    calls.push_back("OpenProcessToken");
    return tokenOpens;
  }
  bool LookupShutdownPrivilege() override {
    calls.push_back("LookupPrivilegeValue");
    return privilegeFound;
  }
  std::uint32_t EnableShutdownPrivilege() override {
    calls.push_back("AdjustTokenPrivileges");
    return adjustError;
  }
  void ExitWindows(std::uint32_t flags) override {
    calls.push_back("ExitWindowsEx");
    exitFlags.push_back(flags);
  }
};

// Profile strings from a table: (section, key) -> value, names compared as
// given. For the real reading rules use the portable reader of package/.
class FakeProfileReader : public platform::ProfileReader {
 public:
  std::map<std::pair<std::string, std::string>, std::string> values;
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue, const std::string&) override {
    auto it = values.find({section, key});
    return it == values.end() ? defaultValue : it->second;
  }
};

// The window's two requests to the system, the stay-awake request and the
// shutdown block reason, in one log so that their order shows: "Hold",
// "Release", "Show REASON", "Withdraw"; `onCall` hears each as it comes. A
// request the system lacks (`hasStayAwake`, `hasBlockReason` false) is
// refused, and like the systems' own, a release or withdrawal of nothing
// held does nothing and is not recorded.
class FakeBurnGuard : public platform::BurnGuard, public platform::ShutdownNotice {
 public:
  bool hasStayAwake = true;
  bool hasBlockReason = true;
  std::vector<std::string> calls;
  std::function<void(const std::string&)> onCall;

  std::optional<std::string> Hold() override {
    Record("Hold");
    held_ = hasStayAwake;
    if (!held_) return "no stay-awake request";
    return std::nullopt;
  }
  void Release() override {
    if (held_) Record("Release");
    held_ = false;
  }
  bool Show(const std::string& reason) override {
    Record("Show " + reason);
    shown_ = hasBlockReason;
    return shown_;
  }
  void Withdraw() override {
    if (shown_) Record("Withdraw");
    shown_ = false;
  }

 private:
  bool held_ = false;
  bool shown_ = false;
  void Record(const std::string& call) {
    calls.push_back(call);
    if (onCall) onCall(call);
  }
};

// The power state the system reports; on mains unless a test says otherwise.
class FakePowerSource : public platform::PowerSource {
 public:
  platform::PowerState state;
  int reads = 0;
  platform::PowerState Read() override {
    ++reads;
    return state;
  }
};

}  // namespace fakes
