// The virtual drive behind a real kernel: a user-space backstore of the
// kernel's SCSI target (TCMU). The kernel hands every command its LUN
// receives (INQUIRY included; only REPORT LUNS stays with the target core)
// to this program through the command ring of a UIO device, and this program
// answers each one with the first drive of the session's scenario, writing
// the same trace as the SG fronts (the ring: tcmu_ring.h).
//
//   qrw_vdrive_tcmu /dev/uioN
//
// with QRW_VDRIVE_SCENARIO and QRW_VDRIVE_TRACE as for the other fronts. It
// runs until it is ended by SIGTERM or SIGINT or the device goes away.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "vdrive/tcmu/tcmu_ring.h"
#include "vdrive/session/session.h"

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "qrw_vdrive_tcmu: %s\n", what.c_str());
  return 1;
}

std::size_t MapSize(const std::string& uio) {
  const std::string name = uio.substr(uio.rfind('/') + 1);
  std::ifstream in("/sys/class/uio/" + name + "/maps/map0/size");
  std::string text;
  in >> text;
  return text.empty() ? 0 : std::strtoull(text.c_str(), nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qrw_vdrive_tcmu /dev/uioN\n");
    return 2;
  }
  const std::string uio = argv[1];
  const std::optional<vdrive::SessionPaths> paths = vdrive::SessionPathsFromEnvironment();
  if (!paths) return Fail("QRW_VDRIVE_SCENARIO names no scenario");
  std::string error;
  std::unique_ptr<vdrive::Session> session = vdrive::Session::Open(*paths, &error);
  if (!session) return Fail(error);
  if (session->Drives().Size() == 0) return Fail("the scenario has no drive");

  const std::size_t size = MapSize(uio);
  if (size == 0) return Fail("no map size for " + uio);
  const int fd = open(uio.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return Fail(uio + ": " + std::strerror(errno));
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) return Fail(uio + ": mmap: " + std::strerror(errno));

  vdrive::tcmu::CatchStopSignals();
  vdrive::tcmu::Ring ring(static_cast<std::uint8_t*>(map), *session, session->Drives().At(0));
  if (ring.Version() != vdrive::tcmu::kMailboxVersion)
    return Fail("mailbox version " + std::to_string(ring.Version()) + ", expected " +
                std::to_string(vdrive::tcmu::kMailboxVersion));
  std::printf("qrw_vdrive_tcmu: serving %s\n", uio.c_str());
  std::fflush(stdout);
  const bool served = vdrive::tcmu::ServeUntilStopped(fd, ring, &error);
  munmap(map, size);
  close(fd);
  return served ? 0 : Fail(uio + ": " + error);
}
