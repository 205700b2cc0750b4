// The QRW-20410C flash program flashing a virtual drive under Wine, on both
// platforms: NT through Wine's SCSI pass-through to the SG front, Windows 9x
// through the virtual drive's WNASPI32.DLL. Run by flash_e2e_run.sh, which
// maps drive E to the SG front and preloads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "flash_run.h"

namespace {

using namespace e2e;
using namespace flash_e2e;
using namespace program;

class FlashE2e : public testing::TestWithParam<Platform> {
 protected:
  Platform p = GetParam();
  std::string FinalFlashCdb() const { return flash_e2e::FinalFlashCdb(p); }
};

TEST_P(FlashE2e, FullFlashThenTheDriveIsRefusedAsUpToDate) {
  FlashRun run(p, "full-" + Name(p), "");
  Process program = run.Start();
  HWND window = OpenFlashWindow(program);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(RevisionOf(ListLine(window)), "1.00");

  PressFlashAndConfirm(program, window);
  const auto restart = WaitForDialog(program, 120s);
  ASSERT_TRUE(restart.has_value());
  EXPECT_EQ(restart->title, "Confirm");
  EXPECT_EQ(restart->text,
            p == Platform::Nt
                ? "\nYou have successfully completed installation!\n The new changes will not "
                  "take effect until\n you reboot your system.\n\n Do you want to reboot your "
                  "system now?\n"
                : "The system needs to be restarted for the changes to take effect(inquiry "
                  "stream) ?");
  EXPECT_EQ(Caption(window), "Flash Completed.");
  // The restart offer's message loop lets window messages through while the
  // flash is still running: a close request and a second FLASH press must
  // both be turned away.
  Close(window);
  Click(window, kIdFlashButton);
  Sleep(500);
  Answer(*restart, IDNO);
  EXPECT_FALSE(WaitForDialog(program, 2s).has_value()) << "a second press started something";
  ASSERT_TRUE(program.Running());
  ASSERT_TRUE(IsWindow(window));

  // NT empties the caption; 9x keeps "Flash Completed." after No.
  EXPECT_EQ(Caption(window), p == Platform::Nt ? "" : "Flash Completed.");
  EXPECT_EQ(ProgressPosition(Control(window, kIdProgressBar)), 0);
  // The refresh INQUIRY rewrote the line on both platforms, although on 9x
  // the drive, now at 1.10, lies above the package's range 1.00-1.09.
  EXPECT_EQ(RevisionOf(ListLine(window)), "1.10");
  EXPECT_EQ(run.CountCommands("3B 05 01") - run.CountCommands("3B 05 01 08"), 22u)
      << "20 chunks, the critical entry and the final flash command";
  EXPECT_EQ(run.CountCommands(FinalFlashCdb()), 1u);
  EXPECT_EQ(run.CountCommands("3C 01 01"), 21u) << "the profile and 20 chunks";

  // A second press finds the drive at the new revision.
  Click(window, kIdFlashButton);
  const auto refusal = WaitForDialog(program);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->title, "Warning");
  EXPECT_EQ(refusal->text, "\nWARNING:\n\nYour drive FW:1.10 is aready the most updated ?");
  EXPECT_TRUE(refusal->ok);
  EXPECT_FALSE(refusal->yes);
  Answer(*refusal, IDOK);
  EXPECT_EQ(run.CountCommands(FinalFlashCdb()), 1u);
  CloseProgram(program, window);
}

TEST_P(FlashE2e, DiscInTheTrayStopsTheFlash) {
  FlashRun run(p, "disc-" + Name(p), "medium = loaded\n");
  Process program = run.Start();
  HWND window = OpenFlashWindow(program);
  ASSERT_NE(window, nullptr);

  PressFlashAndConfirm(program, window);
  const auto message = WaitForDialog(program);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->title, kApplicationTitle);
  // The platforms word it differently for a drive that is ready.
  EXPECT_EQ(message->text, p == Platform::Nt ? "Remove disc, before to do the flash task."
                                             : "Remove disc, befor to do the flash task.");
  Answer(*message, IDOK);
  EXPECT_FALSE(WaitForDialog(program, 2s).has_value());
  EXPECT_EQ(Caption(window), "");
  EXPECT_EQ(run.CountCommands("3B 05 01"), 0u);
  EXPECT_EQ(run.CountCommands("00 00 00 00 00 00"), 1u) << "one poll";
  CloseProgram(program, window);
}

TEST_P(FlashE2e, CorruptedReadBackNeverReachesTheFinalFlashCommand) {
  FlashRun run(p, "verify-" + Name(p), "corrupt = 0x30000 01\n");
  Process program = run.Start();
  HWND window = OpenFlashWindow(program);
  ASSERT_NE(window, nullptr);

  PressFlashAndConfirm(program, window);
  const auto message = WaitForDialog(program, 60s);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->title, kApplicationTitle);
  EXPECT_EQ(message->text, "Verify fail!");
  Answer(*message, IDOK);
  EXPECT_EQ(Caption(window), p == Platform::Nt
                                 ? "Read back & verify DRAM from drive... Verify Fail!"
                                 : "Read back and Verify drive's DRAM... , Verify Fail! ");
  EXPECT_EQ(run.CountCommands("3B 05 01 00 00 C"), 0u) << "no final flash command";
  EXPECT_EQ(RevisionOf(ListLine(window)), "1.00");
  CloseProgram(program, window);
}

// The flash program signed with Authenticode after it was built (by
// sign_programs.sh) sends the drive exactly what the unsigned one sends: the
// whole trace of a flash, command for command.
TEST(FlashE2eSigned, SignedProgramFlashesWithTheUnsignedProgramsTrace) {
  std::vector<std::vector<std::string>> traces;
  for (const std::string source : {kFlashProgram, "signed\\1.10.EXE"}) {
    FlashRun run(Platform::Nt, traces.empty() ? "trace-plain" : "trace-signed", "", source);
    Process program = run.Start();
    HWND window = OpenFlashWindow(program);
    ASSERT_NE(window, nullptr);
    PressFlashAndConfirm(program, window);
    const auto restart = WaitForDialog(program, 120s);
    ASSERT_TRUE(restart.has_value());
    EXPECT_EQ(restart->title, "Confirm");
    Answer(*restart, IDNO);
    EXPECT_EQ(RevisionOf(ListLine(window)), "1.10");
    CloseProgram(program, window);
    traces.push_back(run.Trace());
  }
  ASSERT_FALSE(traces[0].empty());
  EXPECT_EQ(traces[1], traces[0]);
}

// CRC-32 as zlib computes it, bit by bit: the test's own, apart from the
// program's table.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

std::string Hex8(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// A copy of the flash program damaged in its last image byte, as a bad
// download would leave it: one error box, the program ends, and not one
// command reaches the drive.
TEST_P(FlashE2e, DamagedProgramTellsAndEndsWithoutTouchingTheDrive) {
  FlashRun run(p, "damaged-" + Name(p), "");
  std::vector<std::uint8_t> file = ReadWholeFile(run.ProgramCopy());
  const std::string keyWord("T0800-555-0139\0", 15);
  const auto k = std::search(file.begin(), file.end(), keyWord.begin(), keyWord.end());
  ASSERT_NE(k, file.end());
  const std::size_t region = static_cast<std::size_t>(k - file.begin()) - 774;
  ASSERT_LE(region + 328602, file.size());
  const std::vector<std::uint8_t> sealed = ReadWholeFile(FirmwarePath("1.10.sealed"));
  // The region, its seal record and the empty signature record.
  ASSERT_EQ(sealed.size(), 328602u + 16u + 112u);
  std::uint32_t stored = 0;
  std::memcpy(&stored, &sealed[328602 + 8], 4);
  file[region + 328602 - 1] ^= 0x20;
  {
    std::ofstream out(run.ProgramCopy(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  const std::uint32_t found = Crc32(&file[region], 328602);
  ASSERT_NE(found, stored);

  Process program = run.Start();
  const auto error = WaitForDialog(program);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->title, "Error");
  EXPECT_EQ(error->text,
            "This flash program is damaged: its firmware package does not match its seal "
            "(CRC-32 sealed " + Hex8(stored) + ", found " + Hex8(found) +
            ").\n\nNo drive has been touched. Please get a fresh copy of this flash program.");
  EXPECT_TRUE(error->ok);
  EXPECT_FALSE(error->yes);
  EXPECT_TRUE(error->hasIcon);
  Answer(*error, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
  EXPECT_EQ(run.Trace(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, FlashE2e, testing::Values(Platform::Nt, Platform::W9x),
                         [](const auto& info) { return Name(info.param); });

}  // namespace
