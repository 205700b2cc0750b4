#include "platform/linux/logind_inhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace platform::linux_sg {

namespace {

struct BusUnref {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

// sd-bus answers errors as negative errno values.
std::string SystemWords(int negativeError) { return std::strerror(-negativeError); }

}  // namespace

std::optional<std::string> LogindInhibitor::Hold() {
  if (lock_ >= 0) return std::nullopt;
  sd_bus* opened = nullptr;
  const int status = sd_bus_open_system(&opened);
  const std::unique_ptr<sd_bus, BusUnref> bus(opened);
  if (status < 0) return "the system bus cannot be reached: " + SystemWords(status);

  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* answer = nullptr;
  const int called = sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                                        "org.freedesktop.login1.Manager", "Inhibit", &error, &answer,
                                        "ssss", kInhibitWhat, kInhibitWho, kInhibitWhy, kInhibitMode);
  const std::unique_ptr<sd_bus_message, MessageUnref> reply(answer);
  if (called < 0) {
    std::string reason = "logind refused the inhibitor lock: ";
    reason += error.message != nullptr ? error.message : SystemWords(called).c_str();
    sd_bus_error_free(&error);
    return reason;
  }
  int descriptor = -1;
  const int read = sd_bus_message_read(reply.get(), "h", &descriptor);
  if (read < 0) return "logind's answer holds no lock: " + SystemWords(read);
  // The descriptor belongs to the answer, which goes now: the lock is a
  // copy of it, kept until Release.
  lock_ = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
  if (lock_ < 0) return "the inhibitor lock cannot be kept: " + std::string(std::strerror(errno));
  return std::nullopt;
}

void LogindInhibitor::Release() {
  if (lock_ < 0) return;
  close(lock_);
  lock_ = -1;
}

}  // namespace platform::linux_sg
