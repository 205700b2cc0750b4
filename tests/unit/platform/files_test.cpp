// The file operations' contract on POSIX (a scratch folder of real files)
// and in memory (both families), and the moving-aside replacement of
// Windows 9x step by step.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "fakes/memory_files.h"
#include "platform/files_contract.h"
#include "platform/posix/posix_files.h"
#include "support/files.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fakes::MemoryFiles;

struct PosixRig {
  testsupport::ScratchFolder scratch;
  platform::posix::PosixFiles files;

  std::string Path(const std::string& name) const { return scratch / name; }
  void Put(const std::string& name, const Bytes& bytes) { testsupport::WriteFile(Path(name), bytes); }
  Bytes Get(const std::string& name) const { return testsupport::ReadFile(Path(name)); }
  bool Has(const std::string& name) const { return testsupport::fs::exists(Path(name)); }
  void MakeFolder(const std::string& name) { testsupport::fs::create_directory(Path(name)); }
  void MakeSparse(const std::string& name, std::uint64_t size) {
    Put(name, {});
    testsupport::fs::resize_file(Path(name), size);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const std::string& name : scratch.Names())
      if (testsupport::fs::is_regular_file(Path(name))) names.push_back(name);
    return names;
  }
};

template <MemoryFiles::Family family>
struct MemoryRig {
  static constexpr const char* kFolder = "C:\\WORK";
  MemoryFiles files{family};
  MemoryRig() { files.AddFolder(kFolder); }

  std::string Path(const std::string& name) const { return std::string(kFolder) + "\\" + name; }
  void Put(const std::string& name, const Bytes& bytes) { files.Put(Path(name), bytes); }
  Bytes Get(const std::string& name) const { return files.Get(Path(name)); }
  bool Has(const std::string& name) const { return files.Has(Path(name)); }
  void MakeFolder(const std::string& name) { files.AddFolder(Path(name)); }
  void MakeSparse(const std::string& name, std::uint64_t size) {
    files.PutSizeOnly(Path(name), size);
  }
  std::vector<std::string> Names() const { return files.Names(kFolder); }
};

}  // namespace

namespace files_contract {
using Implementations = testing::Types<PosixRig, MemoryRig<MemoryFiles::Family::Nt>,
                                       MemoryRig<MemoryFiles::Family::Windows9x>>;
INSTANTIATE_TYPED_TEST_SUITE_P(Native, FilesContract, Implementations);
}  // namespace files_contract

namespace {

// Windows 9x: the earlier file goes aside, the new one takes its name, the
// aside one is removed; when the new one cannot take the name, the earlier
// one is moved back. Each row gives the moves that fail and the whole log.
struct AsideCase {
  const char* name;
  std::set<int> failingMoves;
  bool replaced;
  std::vector<std::string> names;  // in the folder afterwards
  std::vector<std::string> log;
};

void PrintTo(const AsideCase& c, std::ostream* os) { *os << c.name; }

class MovingAsideTest : public testing::TestWithParam<AsideCase> {};

TEST_P(MovingAsideTest, NeverLosesTheEarlierFile) {
  const AsideCase& c = GetParam();
  MemoryFiles files(MemoryFiles::Family::Windows9x);
  files.Put("C:\\OUT\\1.10.EXE", {'o', 'l', 'd'});
  files.Put("C:\\OUT\\1.10.EXE.part1", {'n', 'e', 'w'});
  files.nextSeed = 0xA0;
  files.failingMoves = c.failingMoves;
  EXPECT_EQ(files.Replace("C:\\OUT\\1.10.EXE.part1", "C:\\OUT\\1.10.EXE"), c.replaced);
  EXPECT_EQ(files.Names("C:\\OUT"), c.names);
  EXPECT_EQ(files.log, c.log);
  // Whatever happened, both texts are still there under some name.
  const std::string outcome = c.replaced ? "new" : "old";
  EXPECT_EQ(files.Get("C:\\OUT\\1.10.EXE"), Bytes(outcome.begin(), outcome.end()));
}

std::string AsideName(const testing::TestParamInfo<AsideCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Steps, MovingAsideTest,
    testing::Values(
        AsideCase{"Replaced",
                  {},
                  true,
                  {"1.10.EXE"},
                  {"replace C:\\OUT\\1.10.EXE.part1 C:\\OUT\\1.10.EXE",
                   "move C:\\OUT\\1.10.EXE C:\\OUT\\1.10.EXE.old000000a0",
                   "move C:\\OUT\\1.10.EXE.part1 C:\\OUT\\1.10.EXE",
                   "remove C:\\OUT\\1.10.EXE.old000000a0"}},
        AsideCase{"EarlierCannotMoveAside",
                  {1},
                  false,
                  {"1.10.EXE", "1.10.EXE.part1"},
                  {"replace C:\\OUT\\1.10.EXE.part1 C:\\OUT\\1.10.EXE",
                   "move C:\\OUT\\1.10.EXE C:\\OUT\\1.10.EXE.old000000a0 failed"}},
        AsideCase{"NewCannotTakeTheName",
                  {2},
                  false,
                  {"1.10.EXE", "1.10.EXE.part1"},
                  {"replace C:\\OUT\\1.10.EXE.part1 C:\\OUT\\1.10.EXE",
                   "move C:\\OUT\\1.10.EXE C:\\OUT\\1.10.EXE.old000000a0",
                   "move C:\\OUT\\1.10.EXE.part1 C:\\OUT\\1.10.EXE failed",
                   "move C:\\OUT\\1.10.EXE.old000000a0 C:\\OUT\\1.10.EXE"}}),
    AsideName);

// The aside name is one nobody holds.
TEST(MovingAside, PassesOverTakenAsideNames) {
  MemoryFiles files(MemoryFiles::Family::Windows9x);
  files.Put("C:\\OUT\\1.10.EXE", {'o'});
  files.Put("C:\\OUT\\1.10.EXE.old000000a0", {'x'});
  files.Put("C:\\OUT\\new", {'n'});
  files.nextSeed = 0xA0;
  ASSERT_TRUE(files.Replace("C:\\OUT\\new", "C:\\OUT\\1.10.EXE"));
  EXPECT_EQ(files.Names("C:\\OUT"), (std::vector<std::string>{"1.10.EXE", "1.10.EXE.old000000a0"}));
  EXPECT_EQ(files.Get("C:\\OUT\\1.10.EXE.old000000a0"), Bytes{'x'});
  EXPECT_EQ(files.log[1], "move C:\\OUT\\1.10.EXE C:\\OUT\\1.10.EXE.old000000a1");
}

// Should even the move back fail, the earlier file keeps its aside name.
TEST(MovingAside, KeepsTheEarlierFileAsideWhenItCannotGoBack) {
  MemoryFiles files(MemoryFiles::Family::Windows9x);
  files.Put("C:\\OUT\\1.10.EXE", {'o'});
  files.Put("C:\\OUT\\new", {'n'});
  files.nextSeed = 0xA0;
  files.failingMoves = {2, 3};
  EXPECT_FALSE(files.Replace("C:\\OUT\\new", "C:\\OUT\\1.10.EXE"));
  EXPECT_EQ(files.Names("C:\\OUT"), (std::vector<std::string>{"1.10.EXE.old000000a0", "new"}));
  EXPECT_EQ(files.Get("C:\\OUT\\1.10.EXE.old000000a0"), Bytes{'o'});
}

// With no earlier file, one plain move; on a taken name a plain move fails.
TEST(MovingAside, MovesOnceWhenNothingIsInTheWay) {
  MemoryFiles files(MemoryFiles::Family::Windows9x);
  files.Put("C:\\OUT\\new", {'n'});
  ASSERT_TRUE(files.Replace("C:\\OUT\\new", "C:\\OUT\\1.10.EXE"));
  EXPECT_EQ(files.log, (std::vector<std::string>{"replace C:\\OUT\\new C:\\OUT\\1.10.EXE",
                                                 "move C:\\OUT\\new C:\\OUT\\1.10.EXE"}));
}

}  // namespace
