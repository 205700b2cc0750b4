// Fuzz target: the model description file. Any bytes as the file: the
// reader must answer within its buffer, and the model list must keep its
// shape (parallel lists, texts cut to 24, the inquiry exactly 24).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "package/model_file.h"
#include "package/profile_file.h"

namespace {

// The parsed bytes as the profile reader of the model file.
class ParsedReader : public platform::ProfileReader {
 public:
  explicit ParsedReader(std::string_view text) : file_(package::ProfileFile::Parse(text)) {}
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue, const std::string&) override {
    std::string value = file_.Read(section, key, defaultValue);
    if (value.size() >= package::kProfileStringBufferSize) std::abort();
    return value;
  }

 private:
  package::ProfileFile file_;
};

void CheckShape(const package::ModelFileContents& contents) {
  const package::ModelTable& t = contents.table;
  const std::size_t n = t.Model.size();
  if (t.Inquiry.size() != n || t.FwRange.size() != n || t.BinMask.size() != n ||
      t.Vendor.size() != n || t.Note.size() != n)
    std::abort();
  for (std::size_t i = 0; i < contents.comboItems.size(); ++i) {
    if (t.Model[i].size() > 24 || t.FwRange[i].size() > 24 || t.Vendor[i].size() > 24 ||
        t.Note[i].size() > 24 || t.Inquiry[i].size() != 24)
      std::abort();
  }
  // Every section read has its entry; only a list of 100 complete models
  // ends without reading one more.
  const std::size_t items = contents.comboItems.size();
  if (n != items + 1 && !(contents.selected && items == 100 && n == 100)) std::abort();
  if (contents.selected && items == 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ParsedReader reader(text);
  CheckShape(package::ReadModelFile(reader, "QRWFLASH.INI"));
  // Odd names asked of the same file.
  const package::ProfileFile file = package::ProfileFile::Parse(text);
  const std::size_t half = size / 2;
  if (file.Read(text.substr(0, half), text.substr(half), "FAIL").size() >=
      package::kProfileStringBufferSize)
    std::abort();
  return 0;
}
