// A stand-in for systemd-logind on a bus of a test's own: it owns
// org.freedesktop.login1 and answers Manager.Inhibit as logind does, with
// the write end of a pipe, and keeps a record of what it was asked and
// when the caller let the lock go (the pipe's other end sees the close).
//
//   logind_standin RECORD TRACE [--refuse]
//
// RECORD gets "ready" once the name is owned, then for each Inhibit call
// its four arguments, the number of WRITE BUFFER commands (" 3B ") the
// virtual drive's TRACE held at that moment, and "closed" when the lock's
// descriptor is closed. --refuse answers every call with an error, as a
// logind that denies the caller does.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string recordPath;
std::string tracePath;
bool refuse = false;

void Record(const std::string& line) {
  std::ofstream(recordPath, std::ios::app) << line << "\n";
}

int WriteBuffersInTrace() {
  std::ifstream trace(tracePath);
  int count = 0;
  for (std::string line; std::getline(trace, line);)
    if (line.find(" 3B ") != std::string::npos) ++count;
  return count;
}

int OnLockClosed(sd_event_source* source, int fd, uint32_t, void*) {
  char byte = 0;
  if (read(fd, &byte, 1) > 0) return 0;
  Record("closed");
  sd_event_source_unref(source);
  close(fd);
  return 0;
}

int Inhibit(sd_bus_message* call, void*, sd_bus_error* error) {
  const char* what = nullptr;
  const char* who = nullptr;
  const char* why = nullptr;
  const char* mode = nullptr;
  const int read = sd_bus_message_read(call, "ssss", &what, &who, &why, &mode);
  if (read < 0) return read;
  Record(std::string("inhibit what=") + what + " who=" + who + " why=" + why + " mode=" + mode);
  Record("write-buffers-before=" + std::to_string(WriteBuffersInTrace()));
  if (refuse) {
    return sd_bus_error_set(error, "org.freedesktop.DBus.Error.AccessDenied",
                            "Permission denied to block shutdown");
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -errno;
  sd_event_source* source = nullptr;
  sd_event_add_io(sd_bus_get_event(sd_bus_message_get_bus(call)), &source, ends[0],
                  EPOLLIN | EPOLLHUP, OnLockClosed, nullptr);
  // The answer carries a copy of the write end; ours goes at once, so that
  // the caller's copy is the only one left.
  const int answered = sd_bus_reply_method_return(call, "h", ends[1]);
  close(ends[1]);
  return answered;
}

const sd_bus_vtable kManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", Inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: logind_standin RECORD TRACE [--refuse]\n");
    return 2;
  }
  recordPath = argv[1];
  tracePath = argv[2];
  refuse = argc > 3 && std::strcmp(argv[3], "--refuse") == 0;

  sd_event* event = nullptr;
  sd_bus* bus = nullptr;
  int status = sd_event_default(&event);
  if (status >= 0) status = sd_bus_open_system(&bus);
  if (status >= 0) status = sd_bus_attach_event(bus, event, 0);
  if (status >= 0)
    status = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/login1",
                                      "org.freedesktop.login1.Manager", kManager, nullptr);
  if (status >= 0) status = sd_bus_request_name(bus, "org.freedesktop.login1", 0);
  if (status < 0) {
    std::fprintf(stderr, "logind_standin: %s\n", std::strerror(-status));
    return 1;
  }
  Record("ready");
  // Until the bus goes away or the test ends this process.
  status = sd_event_loop(event);
  sd_bus_flush_close_unref(bus);
  sd_event_unref(event);
  return status < 0 ? 1 : 0;
}
