// qrwpack: the preparers' command-line tool. It builds flash programs with
// the builder of the program itself (so its output is the same, byte for
// byte, as the Build button's) and shows the package inside a program.
//
// The key-word it looks for is the one of the package built into this tool,
// which is the template package of this build: the key-word is never written
// out as a literal of its own, so it occurs once in every program.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "package/builder.h"
#include "package/builder_messages.h"
#include "package/model_file.h"
#include "package/package_data.h"
#include "package/package_region.h"
#include "package/package_texts.h"
#include "package/profile_file.h"
#include "package/program_file.h"
#include "package/seal.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: qrwpack build --template TEMPLATE.EXE --models FILE.INI --model INDEX|NAME\n"
    "                     --image IMAGE [--out-dir DIR]\n"
    "       qrwpack inspect FILE.EXE\n"
    "       qrwpack --help\n"
    "\n"
    "build    writes the flash program \"%4.4s.EXE\" of IMAGE's name into DIR (default: the\n"
    "         current folder): TEMPLATE with the package header of the chosen model of\n"
    "         FILE.INI (its MODELnn sections; INDEX counts from 0, NAME is a Model value)\n"
    "         and IMAGE at the start of the image area.\n"
    "inspect  prints the package of a program: its texts, the image format, the flash\n"
    "         profile table and whether it is a template (builder).\n"
    "\n"
    "exit status: 0 done, 1 failed, 2 wrong usage\n";

using Bytes = std::vector<std::uint8_t>;

int UsageError(const std::string& problem) {
  std::cerr << "qrwpack: " << problem << "\n" << kUsage;
  return kExitUsage;
}

int Failure(const std::string& problem) {
  std::cerr << "qrwpack: " << problem << "\n";
  return kExitFailure;
}

// --- build -----------------------------------------------------------------

class ConsoleObserver : public package::BuildObserver {
 public:
  void Status(const std::string& caption) override { std::cout << caption << "\n"; }
  void ProgressStart(std::int32_t) override {}
  void ProgressStep() override {}
  void ProgressDone() override {}
  void Failure(const std::string& message) override {
    std::cerr << "qrwpack: " << message << "\n";
  }
};

struct BuildOptions {
  std::map<std::string, std::string> values;
  std::string Get(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
};

std::optional<std::string> ParseBuildOptions(int argc, char** argv, BuildOptions& options) {
  static const std::vector<std::string> kKnown = {"--template", "--models", "--model", "--image",
                                                  "--out-dir"};
  for (int i = 2; i < argc; ++i) {
    const std::string name = argv[i];
    if (std::find(kKnown.begin(), kKnown.end(), name) == kKnown.end())
      return "unknown option " + name;
    if (i + 1 >= argc) return name + " needs a value";
    options.values[name] = argv[++i];
  }
  for (const char* required : {"--template", "--models", "--model", "--image"})
    if (options.Get(required).empty()) return std::string(required) + " is missing";
  return std::nullopt;
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The model chosen by its index in the list or by its Model text.
std::optional<std::size_t> ChooseModel(const package::ModelFileContents& contents,
                                       const std::string& choice) {
  const std::size_t count = contents.comboItems.size();
  if (IsNumber(choice)) {
    if (choice.size() > 3) return std::nullopt;
    const std::size_t index = std::stoul(choice);
    if (index < count) return index;
    return std::nullopt;
  }
  for (std::size_t n = 0; n < count; ++n)
    if (contents.table.Model[n] == choice) return n;
  return std::nullopt;
}

std::string ModelList(const package::ModelFileContents& contents) {
  std::string list;
  for (std::size_t n = 0; n < contents.comboItems.size(); ++n)
    list += "\n  " + std::to_string(n) + ": " + contents.table.Model[n];
  return list;
}

int Build(int argc, char** argv) {
  BuildOptions options;
  if (auto problem = ParseBuildOptions(argc, argv, options)) return UsageError(*problem);

  const std::string modelsPath = options.Get("--models");
  if (!package::ProfileFile::Load(modelsPath)) return Failure(package::messages::CantLoad(modelsPath));
  package::IniProfileReader reader;
  const package::ModelFileContents contents = package::ReadModelFile(reader, modelsPath);
  if (!contents.selected)
    return Failure(package::messages::SessionError(modelsPath, contents.lastSection));
  const auto chosen = ChooseModel(contents, options.Get("--model"));
  if (!chosen)
    return Failure("no model " + options.Get("--model") + " in " + modelsPath + "; it holds:" +
                   ModelList(contents));

  const package::ModelTable& table = contents.table;
  const std::size_t n = *chosen;
  package::BuildRequest request;
  request.imagePath = options.Get("--image");
  request.binFileName = package::FileNameOf(request.imagePath);
  request.templatePath = options.Get("--template");
  request.outputFolder = options.values.count("--out-dir") ? options.Get("--out-dir") : ".";
  request.model = {table.Model[n], table.Inquiry[n], table.FwRange[n], table.Vendor[n],
                   table.Note[n]};
  request.keyWord = package::BuiltInKeyWord();
  ConsoleObserver observer;
  return package::BuildFlashProgram(request, observer) ? kExitOk : kExitFailure;
}

// --- inspect ---------------------------------------------------------------

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string ImageDescription(const package::PackageView& view) {
  if (package::IsTemplate(view)) return "none (the image area begins with VEKO)";
  const package::ImageFormat format = package::CheckNewFormatBIN(view.ImageArea());
  if (!format.signatureFound) return "no format signature; taken as 262144 bytes, no flash profile";
  if (format.NeedsFlashProfile)
    return "new format (05 80 at 0x1100), " + std::to_string(format.ImageLength) +
           " bytes, flash profile needed";
  return "old format (05 80 at 0x4000), " + std::to_string(format.ImageLength) +
         " bytes, no flash profile";
}

void PrintProfiles(const package::PackageView& view) {
  const std::uint8_t* table = view.ProfileTable();
  std::size_t start = 0;
  for (std::size_t i = 0; i < package::kProfileEntries; ++i) {
    const std::uint8_t* entry = table + 4 * i;
    const unsigned length = (static_cast<unsigned>(entry[2]) << 8) | entry[3];
    std::cout << "Profile " << i << ":    maker " << Hex(entry[0], 2) << ", device "
              << Hex(entry[1], 2) << ", " << length << " bytes at block offset " << start << "\n";
    start += length;
  }
}

std::string SealDescription(const package::SealCheck& seal);

void PrintPackage(const std::string& path, const package::ProgramFile& program) {
  const package::PackageView view = program.Package();
  std::cout << "File:         " << path << "\n"
            << "Key-word at:  0x" << Hex(static_cast<unsigned>(program.keyWordAt), 8) << "\n"
            << "Seal at:      0x" << Hex(static_cast<unsigned>(program.sealAt), 8) << "\n"
            << "Seal:         " << SealDescription(program.seal) << "\n"
            << "Model:        " << view.Model() << "\n"
            << "Inquiry:      \"" << view.Inquiry() << "\"\n"
            << "FWRange:      " << view.FwRange() << "\n"
            << "Vendor:       " << view.Vendor() << "\n"
            << "Note:         " << view.Note() << "\n"
            << "NewRevision:  " << view.NewRevision() << "\n"
            << "Template:     " << (package::IsTemplate(view) ? "yes (starts as builder)" : "no")
            << "\n"
            << "Image:        " << ImageDescription(view) << "\n";
  PrintProfiles(view);
}

std::string SealDescription(const package::SealCheck& seal) {
  switch (seal.state) {
    case package::SealState::Empty: return "empty";
    case package::SealState::Intact: return "intact, CRC-32 " + package::Hex32(seal.stored);
    case package::SealState::Broken:
      return "broken: sealed " + package::Hex32(seal.stored) + ", found " +
             package::Hex32(seal.computed);
  }
  return "";
}

int Inspect(int argc, char** argv) {
  if (argc != 3) return UsageError("inspect takes one file");
  const std::string path = argv[2];
  const package::ProgramFile program = package::ReadProgramFile(path);
  if (program.problem != package::ProgramFileProblem::None) return Failure(program.message);
  PrintPackage(path, program);
  if (program.seal.state == package::SealState::Broken)
    return Failure(path + ": the seal is broken; this program is damaged");
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command");
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return kExitOk;
  }
  if (command == "build") return Build(argc, argv);
  if (command == "inspect") return Inspect(argc, argv);
  return UsageError("unknown command " + command);
}
