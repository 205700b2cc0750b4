// Which open files the shim serves: the regular files that the session's
// NT drive letters lead to ($WINEPREFIX/dosdevices/<letter>::), known by
// device and inode number, because the fd reaches the Wine process from
// wineserver and no open call of this process ever names the file.
#pragma once

#include <cstdint>

namespace vdrive::sg {

inline constexpr int kNotServed = -1;

// The bus index of the drive behind the file, or kNotServed.
int DriveIndexOfFile(std::uint64_t device, std::uint64_t inode);
// The same for an open descriptor (one real fstat).
int DriveIndexOfFd(int fd);

// Makes a served file read as a SCSI CD-ROM block device: Wine fills the
// address fields of its SCSI requests only for block devices.
void DisguiseAsCdromDevice(unsigned& mode, std::uint64_t& rdev, int driveIndex);

// Applies the disguise to what a real fstat returned, for either layout.
template <typename Status>
void DisguiseIfServed(Status& status) {
  const int drive = DriveIndexOfFile(status.st_dev, status.st_ino);
  if (drive == kNotServed) return;
  unsigned mode = status.st_mode;
  std::uint64_t rdev = status.st_rdev;
  DisguiseAsCdromDevice(mode, rdev, drive);
  status.st_mode = mode;
  status.st_rdev = rdev;
}

}  // namespace vdrive::sg
