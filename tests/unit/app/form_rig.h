// TFlashForm on fake controls, dialogs and OS services, with its drives
// behind the virtual drive's in-process fronts: the window as the app tests
// drive it. Every control and dialog writes to one journal, in order.
#pragma once

#include "app/flash_form.h"
#include "fakes/fake_os.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"
#include "package/package_region.h"
#include "platform/posix/posix_files.h"
#include "vdrive/inprocess.h"
#include "vdrive/vdrive.h"

namespace app_test {

struct FormRig {
  // The package's bytes must outlive the rig. Without a profile reader of
  // its own the rig answers every key with its default.
  FormRig(const vdrive::Scenario& scenario, package::PackageView package,
          platform::ProfileReader* profileReader = nullptr)
      : bus(scenario),
        device(bus),
        aspi(bus),
        form(app::Controls{caption, label, combo, files, group, bar, button, cursor},
             app::Services{os, profileReader ? *profileReader : profiles, dialogs, device, aspi,
                           restart, diskFiles, guard, guard, power},
             package) {}

  vdrive::Bus bus;
  vdrive::DeviceIoFront device;
  vdrive::AspiFront aspi;
  fakes::Journal journal;
  fakes::FakeText caption{"caption", &journal};
  fakes::FakeText label{"label", &journal, 0};
  fakes::FakeComboBox combo{"ComboBox1", &journal};
  fakes::FakeFileList files{"files", &journal, 64};
  fakes::FakeText group{"GroupBox2", &journal, 113};
  fakes::FakeProgressBar bar{"ProgressBar", &journal, 136};
  fakes::FakeButton button{"button", &journal, 136};
  fakes::FakeCursor cursor{&journal};
  fakes::FakeDialogs dialogs{&journal};
  fakes::FakeOs os;
  fakes::FakeProfileReader profiles;
  fakes::FakeRestart restart;
  fakes::FakeBurnGuard guard;
  fakes::FakePowerSource power;
  platform::posix::PosixFiles diskFiles;  // the builder writes real files
  app::TFlashForm form;
};

// Start-up in flash mode on the platform `platformId` names, up to the
// waiting window with drive E listed: Yes to the warning. The dialogs, the
// trace and the journal are emptied afterwards.
inline void StartWithDriveE(FormRig& rig, std::uint32_t platformId) {
  rig.os.roots = {"C:\\", "E:\\"};
  rig.os.driveTypes["E:\\"] = platform::kDriveCdRom;
  rig.os.platformId = platformId;
  rig.dialogs.answers = {platform::Answer::Yes};
  rig.form.FormCreate();
  rig.dialogs.shown.clear();
  rig.bus.SessionTrace().Clear();
  rig.journal.events.clear();
}

}  // namespace app_test
