// What every implementation of platform::Files promises, as typed tests to
// instantiate with a rig per implementation. A rig holds `files` and a
// fresh folder, and reaches that folder without going through `files`:
//   std::string Path(name); void Put(name, bytes); Bytes Get(name);
//   bool Has(name); void MakeFolder(name); void MakeSparse(name, size);
//   std::vector<std::string> Names()   (the files only, sorted)
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace files_contract {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Numbered(std::size_t size, std::uint8_t first) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(first + i * 7);
  return bytes;
}

template <typename Rig>
class FilesContract : public testing::Test {
 protected:
  Rig rig;
  platform::Files& Files() { return rig.files; }
};

TYPED_TEST_SUITE_P(FilesContract);

TYPED_TEST_P(FilesContract, StatusTellsKindAndSizeWithoutReading) {
  auto& rig = this->rig;
  rig.Put("image.bin", Numbered(1000, 1));
  rig.MakeFolder("sub");
  // A 5 GB sparse file: its size is learned, never its bytes.
  rig.MakeSparse("huge.bin", std::uint64_t{5} << 30);
  const platform::PathStatus file = this->Files().Status(rig.Path("image.bin"));
  EXPECT_EQ(file.kind, platform::PathKind::RegularFile);
  EXPECT_EQ(file.size, 1000u);
  EXPECT_EQ(this->Files().Status(rig.Path("sub")).kind, platform::PathKind::Folder);
  EXPECT_EQ(this->Files().Status(rig.Path("gone.bin")).kind, platform::PathKind::Missing);
  EXPECT_EQ(this->Files().Status(rig.Path("sub2/gone.bin")).kind, platform::PathKind::Missing);
  const platform::PathStatus huge = this->Files().Status(rig.Path("huge.bin"));
  EXPECT_EQ(huge.kind, platform::PathKind::RegularFile);
  EXPECT_EQ(huge.size, std::uint64_t{5} << 30);
}

TYPED_TEST_P(FilesContract, ReadGivesExactlyTheBytesAskedFor) {
  auto& rig = this->rig;
  const Bytes content = Numbered(70000, 3);
  rig.Put("t.exe", content);
  Bytes bytes;
  ASSERT_EQ(this->Files().Read(rig.Path("t.exe"), content.size(), bytes), platform::ReadResult::Ok);
  EXPECT_TRUE(bytes == content);
  ASSERT_EQ(this->Files().Read(rig.Path("t.exe"), 10, bytes), platform::ReadResult::Ok);
  EXPECT_EQ(bytes, Bytes(content.begin(), content.begin() + 10));
  EXPECT_EQ(this->Files().Read(rig.Path("t.exe"), content.size() + 1, bytes),
            platform::ReadResult::ReadFailed);
  EXPECT_EQ(this->Files().Read(rig.Path("gone.exe"), 1, bytes), platform::ReadResult::OpenFailed);
  rig.Put("empty.bin", {});
  ASSERT_EQ(this->Files().Read(rig.Path("empty.bin"), 0, bytes), platform::ReadResult::Ok);
  EXPECT_TRUE(bytes.empty());
}

// Hold gives what Read gives; the bytes stay as they were while held, even
// when the file is replaced meanwhile (as a build's output may replace its
// own template).
TYPED_TEST_P(FilesContract, HoldGivesTheBytesReadWould) {
  auto& rig = this->rig;
  const Bytes content = Numbered(70000, 5);
  rig.Put("t.exe", content);
  std::unique_ptr<platform::HeldBytes> held;
  ASSERT_EQ(this->Files().Hold(rig.Path("t.exe"), content.size(), held), platform::ReadResult::Ok);
  ASSERT_TRUE(held != nullptr);
  EXPECT_TRUE(Bytes(held->Data(), held->Data() + held->Size()) == content);
  std::unique_ptr<platform::HeldBytes> start;
  ASSERT_EQ(this->Files().Hold(rig.Path("t.exe"), 10, start), platform::ReadResult::Ok);
  EXPECT_EQ(Bytes(start->Data(), start->Data() + start->Size()),
            Bytes(content.begin(), content.begin() + 10));
  rig.Put("new.exe", Numbered(70000, 9));
  ASSERT_TRUE(this->Files().Replace(rig.Path("new.exe"), rig.Path("t.exe")));
  EXPECT_TRUE(Bytes(held->Data(), held->Data() + held->Size()) == content);

  std::unique_ptr<platform::HeldBytes> none;
  EXPECT_EQ(this->Files().Hold(rig.Path("t.exe"), content.size() + 1, none),
            platform::ReadResult::ReadFailed);
  EXPECT_EQ(this->Files().Hold(rig.Path("gone.exe"), 1, none), platform::ReadResult::OpenFailed);
  EXPECT_EQ(none, nullptr);
  rig.Put("empty.bin", {});
  ASSERT_EQ(this->Files().Hold(rig.Path("empty.bin"), 0, none), platform::ReadResult::Ok);
  EXPECT_EQ(none->Size(), 0u);
}

TYPED_TEST_P(FilesContract, CreateNewMakesOnlyFilesThatAreNotThere) {
  auto& rig = this->rig;
  std::unique_ptr<platform::NewFile> file;
  ASSERT_EQ(this->Files().CreateNew(rig.Path("new.part"), file), platform::CreateResult::Created);
  ASSERT_NE(file, nullptr);
  const Bytes first = Numbered(65536, 5), second = Numbered(1234, 9);
  EXPECT_TRUE(file->Write(first.data(), first.size()));
  EXPECT_TRUE(file->Write(second.data(), second.size()));
  EXPECT_TRUE(file->Close());
  file.reset();
  Bytes both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_TRUE(rig.Get("new.part") == both);

  std::unique_ptr<platform::NewFile> again;
  EXPECT_EQ(this->Files().CreateNew(rig.Path("new.part"), again), platform::CreateResult::Exists);
  EXPECT_EQ(again, nullptr);
  EXPECT_TRUE(rig.Get("new.part") == both);
  EXPECT_EQ(this->Files().CreateNew(rig.Path("gone/new.part"), again),
            platform::CreateResult::Failed);
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"new.part"});
}

TYPED_TEST_P(FilesContract, RemoveDeletesAFileThatIsThere) {
  auto& rig = this->rig;
  rig.Put("old.exe", Numbered(10, 1));
  EXPECT_TRUE(this->Files().Remove(rig.Path("old.exe")));
  EXPECT_FALSE(rig.Has("old.exe"));
  EXPECT_FALSE(this->Files().Remove(rig.Path("old.exe")));
}

TYPED_TEST_P(FilesContract, ReplacePutsTheNewFileInPlaceWithOrWithoutAnEarlierOne) {
  auto& rig = this->rig;
  const Bytes newer = Numbered(500, 2), newest = Numbered(400, 3);
  rig.Put("1.10.EXE.part1", newer);
  ASSERT_TRUE(this->Files().Replace(rig.Path("1.10.EXE.part1"), rig.Path("1.10.EXE")));
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"1.10.EXE"});
  EXPECT_TRUE(rig.Get("1.10.EXE") == newer);

  rig.Put("1.10.EXE.part2", newest);
  ASSERT_TRUE(this->Files().Replace(rig.Path("1.10.EXE.part2"), rig.Path("1.10.EXE")));
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"1.10.EXE"});
  EXPECT_TRUE(rig.Get("1.10.EXE") == newest);

  // Nothing to put in place: the earlier file stays.
  EXPECT_FALSE(this->Files().Replace(rig.Path("1.10.EXE.gone"), rig.Path("1.10.EXE")));
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"1.10.EXE"});
  EXPECT_TRUE(rig.Get("1.10.EXE") == newest);
}

TYPED_TEST_P(FilesContract, ReplaceableUnlessAFolderIsInTheWay) {
  auto& rig = this->rig;
  rig.Put("1.10.EXE", Numbered(10, 1));
  rig.MakeFolder("2.00.EXE");
  EXPECT_TRUE(this->Files().Replaceable(rig.Path("gone.EXE")));
  EXPECT_TRUE(this->Files().Replaceable(rig.Path("1.10.EXE")));
  EXPECT_FALSE(this->Files().Replaceable(rig.Path("2.00.EXE")));
  EXPECT_TRUE(rig.Get("1.10.EXE") == Numbered(10, 1));
}

TYPED_TEST_P(FilesContract, NameSeedDiffersFromOneCallToTheNext) {
  std::set<std::uint32_t> seeds;
  for (int i = 0; i < 100; ++i) seeds.insert(this->Files().NameSeed());
  EXPECT_EQ(seeds.size(), 100u);
}

REGISTER_TYPED_TEST_SUITE_P(FilesContract, StatusTellsKindAndSizeWithoutReading,
                            ReadGivesExactlyTheBytesAskedFor, HoldGivesTheBytesReadWould,
                            CreateNewMakesOnlyFilesThatAreNotThere, RemoveDeletesAFileThatIsThere,
                            ReplacePutsTheNewFileInPlaceWithOrWithoutAnEarlierOne,
                            ReplaceableUnlessAFolderIsInTheWay,
                            NameSeedDiffersFromOneCallToTheNext);

}  // namespace files_contract
