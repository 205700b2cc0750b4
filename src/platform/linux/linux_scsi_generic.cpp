#include "platform/linux/linux_scsi_generic.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform::linux_sg {

namespace {

int Fd(Handle handle) { return static_cast<int>(handle); }

int SgDirectionOf(SgDirection direction) {
  switch (direction) {
    case SgDirection::ToDevice:
      return SG_DXFER_TO_DEV;
    case SgDirection::FromDevice:
      return SG_DXFER_FROM_DEV;
    case SgDirection::None:
      break;
  }
  return SG_DXFER_NONE;
}

// Interrupt and termination signals wait while a command is with the drive:
// SG_IO returning early would leave the command running in the kernel with
// its buffer given up, and a restarted call would send it twice.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    sigaddset(&held, SIGQUIT);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

std::string FirstLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// Natural order, so that sg10 follows sg9.
bool NodeBefore(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

std::optional<Handle> LinuxScsiGeneric::Open(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    lastError_ = static_cast<std::uint32_t>(errno);
    return std::nullopt;
  }
  return static_cast<Handle>(fd);
}

void LinuxScsiGeneric::Close(Handle handle) { ::close(Fd(handle)); }

bool LinuxScsiGeneric::Execute(Handle handle, SgCommand& command) {
  sg_io_hdr_t header{};
  header.interface_id = 'S';
  header.dxfer_direction = SgDirectionOf(command.direction);
  header.cmd_len = command.cdbLength;
  header.cmdp = command.cdb.data();
  header.dxfer_len = command.direction == SgDirection::None ? 0 : command.length;
  header.dxferp = command.direction == SgDirection::None ? nullptr : command.data;
  header.mx_sb_len = static_cast<unsigned char>(command.sense.size());
  header.sbp = command.sense.data();
  header.timeout = static_cast<unsigned int>(command.timeout.count());
  int result;
  {
    SignalsHeld held;
    result = ::ioctl(Fd(handle), SG_IO, &header);
    if (result < 0) lastError_ = static_cast<std::uint32_t>(errno);
  }
  if (result < 0) return false;
  command.status = header.status;
  command.senseWritten = std::min<std::uint8_t>(header.sb_len_wr, kSgSenseLength);
  command.hostStatus = header.host_status;
  command.driverStatus = header.driver_status;
  return true;
}

std::optional<int> LinuxScsiGeneric::VersionNumber(Handle handle) {
  int version = 0;
  if (::ioctl(Fd(handle), SG_GET_VERSION_NUM, &version) < 0) {
    lastError_ = static_cast<std::uint32_t>(errno);
    return std::nullopt;
  }
  return version;
}

std::optional<ScsiAddress> LinuxScsiGeneric::Address(Handle handle) {
  // Word 0: target | lun << 8 | channel << 16 | host << 24.
  std::uint32_t idlun[2] = {0, 0};
  if (::ioctl(Fd(handle), SCSI_IOCTL_GET_IDLUN, idlun) < 0) {
    lastError_ = static_cast<std::uint32_t>(errno);
    return std::nullopt;
  }
  ScsiAddress address;
  address.target = static_cast<std::uint8_t>(idlun[0]);
  address.lun = static_cast<std::uint8_t>(idlun[0] >> 8);
  address.channel = static_cast<std::uint8_t>(idlun[0] >> 16);
  address.host = static_cast<std::uint8_t>(idlun[0] >> 24);
  return address;
}

bool LinuxScsiGeneric::IsBlockDevice(Handle handle) {
  struct stat status;
  return ::fstat(Fd(handle), &status) == 0 && S_ISBLK(status.st_mode);
}

std::string LinuxScsiGeneric::ErrorText(std::uint32_t error) {
  return std::strerror(static_cast<int>(error));
}

std::optional<int> LinuxScsiGeneric::DeviceType(const std::string& node) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path real = fs::canonical(node, error);
  const std::string name = (error ? fs::path(node) : real).filename().string();
  for (const char* folder : {"/sys/class/scsi_generic/", "/sys/block/"}) {
    const std::string type = FirstLine(root_ + folder + name + "/device/type");
    if (!type.empty() && type.size() <= 3 && std::all_of(type.begin(), type.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::stoi(type);
  }
  return std::nullopt;
}

// A symbolic link (/dev/cdrom, /dev/disk/by-id/...) shows as the node it
// leads to.
std::string LinuxScsiGeneric::ShownName(const std::string& node) {
  std::error_code error;
  const bool link = std::filesystem::is_symlink(node, error);
  const std::filesystem::path real = std::filesystem::canonical(node, error);
  const std::string path = link && !error ? real.string() : node;
  if (!root_.empty() && path.size() > root_.size() && path.compare(0, root_.size(), root_) == 0 &&
      path[root_.size()] == '/')
    return path.substr(root_.size());
  return path;
}

bool LinuxScsiGeneric::HasRawIo() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    std::uint64_t effective = 0;
    std::istringstream(line.substr(7)) >> std::hex >> effective;
    return (effective >> CAP_SYS_RAWIO) & 1u;
  }
  return false;
}

std::vector<std::string> LinuxScsiGeneric::CdRomNodes() {
  namespace fs = std::filesystem;
  std::vector<std::string> nodes;
  std::error_code error;
  const fs::path generic = fs::path(root_ + "/sys/class/scsi_generic");
  for (const auto& entry : fs::directory_iterator(generic, error)) {
    const std::string type = FirstLine(entry.path() / "device" / "type");
    if (type == std::to_string(TYPE_ROM))
      nodes.push_back(root_ + "/dev/" + entry.path().filename().string());
  }
  if (nodes.empty()) {
    for (const auto& entry : fs::directory_iterator(fs::path(root_ + "/dev"), error)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("sr", 0) == 0 && name.size() > 2 &&
          std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        nodes.push_back(entry.path().string());
    }
  }
  std::sort(nodes.begin(), nodes.end(), NodeBefore);
  return nodes;
}

}  // namespace platform::linux_sg
