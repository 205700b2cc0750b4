// The Win32 file operations under Wine, with the replacing way of each
// family (a replacing MoveFileExA on NT; on 9x the earlier file moved aside
// with MoveFileA): the contract every implementation keeps, and the builder
// over an earlier output that is replaced, locked (open as a running
// program's file is) or in a folder where nothing can be made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/builder.h"
#include "package/seal.h"
#include "platform/files_contract.h"
#include "platform/os.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_files.h"
#include "support/build_observer.h"
#include "support/key_word.h"
#include "support/pattern.h"
#include "support/synthetic_template.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// A fresh folder in the temporary folder, named after the process and a
// count, removed afterwards.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    static int count = 0;
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "qrw-files-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++count);
    fs::remove_all(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

template <std::uint32_t platformId>
struct Win32Rig {
  TemporaryFolder folder;
  platform::win32::Win32Files files{platformId};

  std::string Path(const std::string& name) const { return folder.Path() + "\\" + name; }
  void Put(const std::string& name, const Bytes& bytes) {
    std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Bytes Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Has(const std::string& name) const {
    return GetFileAttributesA(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  void MakeFolder(const std::string& name) { CreateDirectoryA(Path(name).c_str(), nullptr); }
  void MakeSparse(const std::string& name, std::uint64_t size) {
    Put(name, {});
    fs::resize_file(Path(name), size);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

using Nt = Win32Rig<platform::kPlatformWin32Nt>;
using Windows9x = Win32Rig<platform::kPlatformWin32Windows>;

}  // namespace

namespace files_contract {
using Families = testing::Types<Nt, Windows9x>;
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, FilesContract, Families);
}  // namespace files_contract

namespace {

// A file held open for reading without write sharing, as the system holds
// a running program's file: it can be neither written nor replaced.
class Lock {
 public:
  explicit Lock(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Lock() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

using Observer = testsupport::RecordingObserver;

const Bytes kEarlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

template <typename Rig>
class Win32Builder : public testing::Test {
 protected:
  Win32Builder() {
    rig.Put("QRWFLASH.EXE", tpl.bytes);
    rig.Put("1.10.BIN", image);
  }

  bool Build(const std::string& outputFolder) {
    package::BuildRequest request;
    request.imagePath = rig.Path("1.10.BIN");
    request.binFileName = "1.10.BIN";
    request.templatePath = rig.Path("QRWFLASH.EXE");
    request.outputFolder = outputFolder;
    request.model = {"QRW-20410C", "QUARVEL QRW-20410C      ", "1.00-1.09", "Quarvel-IT",
                     "FLASH-ALL"};
    request.keyWord = testsupport::TestKeyWord();
    request.sealMarker = testsupport::TestSealMarker();
    return package::BuildFlashProgram(request, observer, rig.files);
  }

  Bytes Expected() const {
    Bytes out = tpl.bytes;
    const auto header = package::NewHeader(
        {"QRW-20410C", "QUARVEL QRW-20410C      ", "1.00-1.09", "Quarvel-IT", "FLASH-ALL"},
        "1.10.BIN");
    std::copy(header.begin(), header.end(), out.begin() + static_cast<std::ptrdiff_t>(tpl.k + 15));
    std::copy(image.begin(), image.end(), out.begin() + static_cast<std::ptrdiff_t>(tpl.ImageArea()));
    // The seal's own values are checked natively against zlib.
    package::WriteSeal(out.data() + tpl.sealAt,
                       package::PackageView(out.data() + tpl.RegionStart()));
    return out;
  }

  Rig rig;
  testsupport::SyntheticTemplate tpl = testsupport::SyntheticTemplate::Make();
  Bytes image = testsupport::Pattern(327680, 41);
  Observer observer;
};

using Families = testing::Types<Nt, Windows9x>;
TYPED_TEST_SUITE(Win32Builder, Families);

TYPED_TEST(Win32Builder, WritesTheOutputWhereNoneWas) {
  ASSERT_TRUE(this->Build(this->rig.folder.Path()));
  EXPECT_TRUE(this->rig.Get("1.10.EXE") == this->Expected());
  EXPECT_EQ(this->rig.Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "QRWFLASH.EXE"}));
}

TYPED_TEST(Win32Builder, ReplacesAnEarlierOutput) {
  this->rig.Put("1.10.EXE", kEarlier);
  ASSERT_TRUE(this->Build(this->rig.folder.Path()));
  EXPECT_TRUE(this->rig.Get("1.10.EXE") == this->Expected());
  EXPECT_EQ(this->rig.Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "QRWFLASH.EXE"}));
  EXPECT_EQ(this->observer.captions.back(), "Build 1.10.EXE ok!");
}

TYPED_TEST(Win32Builder, KeepsALockedEarlierOutput) {
  this->rig.Put("1.10.EXE", kEarlier);
  Lock lock(this->rig.Path("1.10.EXE"));
  ASSERT_TRUE(lock.Held());
  EXPECT_FALSE(this->Build(this->rig.folder.Path()));
  EXPECT_EQ(this->observer.failures, std::vector<std::string>{"Create 1.10.EXE Fail"});
  EXPECT_EQ(this->rig.Get("1.10.EXE"), kEarlier);
  EXPECT_EQ(this->rig.Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "QRWFLASH.EXE"}));
}

// Even past the check, a locked file is never replaced nor lost.
TYPED_TEST(Win32Builder, ReplaceLeavesALockedFileAndTheNewOne) {
  this->rig.Put("1.10.EXE", kEarlier);
  this->rig.Put("1.10.EXE.part", {'n', 'e', 'w'});
  Lock lock(this->rig.Path("1.10.EXE"));
  ASSERT_TRUE(lock.Held());
  EXPECT_FALSE(this->rig.files.Replaceable(this->rig.Path("1.10.EXE")));
  EXPECT_FALSE(this->rig.files.Replace(this->rig.Path("1.10.EXE.part"), this->rig.Path("1.10.EXE")));
  EXPECT_EQ(this->rig.Get("1.10.EXE"), kEarlier);
  EXPECT_EQ(this->rig.Get("1.10.EXE.part"), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(this->rig.Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "1.10.EXE.part",
                                                         "QRWFLASH.EXE"}));
}

// Nothing can be made in the host's /proc, not even by root.
TYPED_TEST(Win32Builder, ReportsAFolderWhereNothingCanBeMade) {
  EXPECT_FALSE(this->Build("Z:\\proc"));
  EXPECT_EQ(this->observer.failures, std::vector<std::string>{"Create 1.10.EXE Fail"});
  EXPECT_EQ(this->rig.Names(), (std::vector<std::string>{"1.10.BIN", "QRWFLASH.EXE"}));
}

}  // namespace
