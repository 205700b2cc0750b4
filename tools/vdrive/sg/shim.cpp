// The SG front of the virtual drive: a 32-bit shared object preloaded into
// Wine (LD_PRELOAD) that makes the regular files behind the session's NT
// drive letters behave as SCSI generic CD-ROM devices. Wine's own
// IOCTL_SCSI_PASS_THROUGH(_DIRECT) and IOCTL_SCSI_GET_INQUIRY_DATA code runs
// unchanged in the program's process and sends its Linux ioctls here.
//
// Loaded into every process of the prefix. In wineserver it stays out of the
// way: the server opens the files but never sends an ioctl, and must go on
// seeing them as the regular files they are.
#include <dlfcn.h>
#include <errno.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vdrive/session/session.h"
#include "vdrive/sg/sg_device.h"
#include "vdrive/sg/shim_files.h"

namespace vdrive::sg {
namespace {

constexpr const char* kNodesEnvironment = "QRW_VDRIVE_SG_NODES";

struct ServedFile {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  int driveIndex = kNotServed;
};

// Fixed at the first look; read without a lock afterwards.
struct ShimSetup {
  std::optional<SessionPaths> paths;
  std::vector<ServedFile> files;
};

// The session is made at the first SCSI request: replaying its journal is
// work only the program's own process needs.
struct ShimSession {
  std::mutex lock;
  std::unique_ptr<Session> session;
  std::vector<std::unique_ptr<SgDevice>> devices;  // one per bus drive
  bool failed = false;
};

ShimSession& Live() {
  static ShimSession live;
  return live;
}

bool InWineServer() {
  return std::string_view(program_invocation_short_name).starts_with("wineserver");
}

std::string DosDevicesFolder() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) {
    return std::string(prefix) + "/dosdevices/";
  }
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.wine/dosdevices/";
}

std::vector<ServedFile> FilesOf(const Scenario& scenario) {
  std::vector<ServedFile> files;
  const std::string folder = DosDevicesFolder();
  for (std::size_t i = 0; i < scenario.drives.size(); ++i) {
    const auto& letter = scenario.drives[i].ntLetter;
    if (!letter) continue;
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(*letter)));
    const std::string device = folder + lower + "::";
    struct stat64 status;
    if (stat64(device.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
    files.push_back({status.st_dev, status.st_ino, static_cast<int>(i)});
  }
  return files;
}

// The native front: QRW_VDRIVE_SG_NODES names files, one a drive in the
// scenario's order, that stand for device nodes (/dev/sg1, ...) of a tree a
// test lays out. Names separated by colons, as in PATH, so that a test's
// folder may hold blanks.
std::vector<ServedFile> NodeFilesOf(const Scenario& scenario, const char* names) {
  std::vector<ServedFile> files;
  std::string list(names);
  std::size_t start = 0;
  for (std::size_t i = 0; i < scenario.drives.size(); ++i) {
    start = list.find_first_not_of(':', start);
    if (start == std::string::npos) break;
    const std::size_t end = std::min(list.find(':', start), list.size());
    const std::string node = list.substr(start, end - start);
    start = end;
    struct stat64 status;
    if (stat64(node.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
    files.push_back({status.st_dev, status.st_ino, static_cast<int>(i)});
  }
  return files;
}

ShimSetup MakeSetup() {
  ShimSetup setup;
  if (InWineServer()) return setup;
  std::optional<SessionPaths> paths = SessionPathsFromEnvironment();
  if (!paths) return setup;
  const ScenarioResult loaded = LoadScenarioFile(paths->scenario);
  if (!loaded.scenario) {
    std::fprintf(stderr, "qrw vdrive sg: %s: %s\n", paths->scenario.c_str(),
                 loaded.error.c_str());
    return setup;
  }
  const char* nodes = std::getenv(kNodesEnvironment);
  setup.files = nodes ? NodeFilesOf(*loaded.scenario, nodes) : FilesOf(*loaded.scenario);
  setup.paths = std::move(paths);
  return setup;
}

// Made lazily, at the first hooked call, so that it never runs before the
// library's own static objects exist. Reading the scenario calls fstat
// itself: those nested calls find no setup and pass straight through.
thread_local bool settingUp = false;

const ShimSetup* CurrentSetup() {
  if (settingUp) return nullptr;
  static const ShimSetup setup = [] {
    settingUp = true;
    ShimSetup made = MakeSetup();
    settingUp = false;
    return made;
  }();
  return &setup;
}

SgDevice* LiveDevice(int driveIndex) {
  ShimSession& live = Live();
  if (!live.session && !live.failed) {
    std::string error;
    live.session = Session::Open(*CurrentSetup()->paths, &error);
    if (!live.session) {
      live.failed = true;
      std::fprintf(stderr, "qrw vdrive sg: %s\n", error.c_str());
      return nullptr;
    }
    Bus& bus = live.session->Drives();
    for (std::size_t i = 0; i < bus.Size(); ++i) {
      const bool slowAtWait =
          std::getenv(kNodesEnvironment) != nullptr || live.session->HoldsUntilReleased();
      live.devices.push_back(std::make_unique<SgDevice>(*live.session, bus.At(i), slowAtWait));
    }
  }
  if (!live.session || static_cast<std::size_t>(driveIndex) >= live.devices.size()) {
    return nullptr;
  }
  return live.devices[static_cast<std::size_t>(driveIndex)].get();
}

// The ioctl families a CD-ROM block device is asked: sg (0x22), SCSI and
// CD-ROM (0x53), block layer (0x12). Only these need the descriptor checked.
bool IsDeviceRequest(unsigned long request) {
  const unsigned long family = (request >> 8) & 0xFF;
  return family == 0x22 || family == 0x53 || family == 0x12;
}

// *held: the request is held at the drive; the caller waits for it.
int ServeNow(int driveIndex, unsigned long request, void* argument, SgDevice*& device,
             bool* held) {
  ShimSession& live = Live();
  std::lock_guard<std::mutex> guard(live.lock);
  device = LiveDevice(driveIndex);
  if (!device) return -EIO;
  switch (request) {
    case SG_IO:
      return device->Io(*static_cast<sg_io_hdr_t*>(argument), held);
    case SG_GET_VERSION_NUM:
      return device->VersionNum(static_cast<int*>(argument));
    case SCSI_IOCTL_GET_IDLUN:
      return device->IdLun(static_cast<std::uint32_t*>(argument));
    default:
      return -ENOTTY;
  }
}

// A held request keeps its caller waiting, not the other drives: a program
// that talks to several drives at once must see one drive's slowness alone.
// The devices live as long as the process.
int Serve(int driveIndex, unsigned long request, void* argument) {
  SgDevice* device = nullptr;
  bool held = false;
  const int result = ServeNow(driveIndex, request, argument, device, &held);
  if (held) device->WaitWhileHeld();
  return result;
}

using IoctlFunction = int (*)(int, unsigned long, void*);

IoctlFunction RealIoctl(const char* name) {
  return reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, name));
}

int Ioctl(IoctlFunction real, int fd, unsigned long request, void* argument) {
  if (!IsDeviceRequest(request)) return real(fd, request, argument);
  const ShimSetup* setup = CurrentSetup();
  if (!setup || setup->files.empty()) return real(fd, request, argument);
  const int drive = DriveIndexOfFd(fd);
  if (drive == kNotServed) return real(fd, request, argument);
  const int result = Serve(drive, request, argument);
  if (result < 0) {
    errno = -result;
    return -1;
  }
  return result;
}

}  // namespace

int DriveIndexOfFile(std::uint64_t device, std::uint64_t inode) {
  const ShimSetup* setup = CurrentSetup();
  if (!setup) return kNotServed;
  for (const ServedFile& file : setup->files) {
    if (file.device == device && file.inode == inode) return file.driveIndex;
  }
  return kNotServed;
}

void DisguiseAsCdromDevice(unsigned& mode, std::uint64_t& rdev, int driveIndex) {
  mode = S_IFBLK | (mode & 07777);
  rdev = makedev(kScsiCdromMajor, static_cast<unsigned>(driveIndex));
}

}  // namespace vdrive::sg

namespace {

void* IoctlArgument(va_list arguments) { return va_arg(arguments, void*); }

}  // namespace

extern "C" __attribute__((visibility("default"))) int __ioctl_time64(int fd, unsigned long request, ...) {
  static const auto real = vdrive::sg::RealIoctl("__ioctl_time64");
  va_list arguments;
  va_start(arguments, request);
  void* argument = IoctlArgument(arguments);
  va_end(arguments);
  return vdrive::sg::Ioctl(real, fd, request, argument);
}

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) noexcept {
  static const auto real = vdrive::sg::RealIoctl("ioctl");
  va_list arguments;
  va_start(arguments, request);
  void* argument = IoctlArgument(arguments);
  va_end(arguments);
  return vdrive::sg::Ioctl(real, fd, request, argument);
}
