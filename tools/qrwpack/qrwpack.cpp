// qrwpack: the preparers' command-line tool. It builds flash programs with
// the builder of the program itself (so its output is the same, byte for
// byte, as the Build button's), shows the package inside a program and
// checks programs' seals.
//
// The key-word and the seal marker it looks for are those of the package
// built into this tool, which is the template package of this build: neither
// is ever written out as a literal of its own, so each occurs once in every
// program.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <iostream>
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
#ifdef _WIN32
#include "platform/win32/win32_files.h"
#else
#include "platform/posix/posix_files.h"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kVersion = "qrwpack " QRW_VERSION "\n";

constexpr const char* kUsage =
    "qrwpack " QRW_VERSION "\n"
    "\n"
    "usage: qrwpack build --template TEMPLATE.EXE --models FILE.INI --model INDEX|NAME\n"
    "                     --image IMAGE [--out-dir DIR]\n"
    "       qrwpack inspect FILE.EXE\n"
    "       qrwpack verify FILE.EXE...\n"
    "       qrwpack --help\n"
    "       qrwpack --version\n"
    "\n"
    "build    writes the flash program \"%4.4s.EXE\" of IMAGE's name into DIR (default: the\n"
    "         current folder): TEMPLATE with the package header of the chosen model of\n"
    "         FILE.INI (its MODELnn sections; INDEX counts from 0, NAME is a Model value)\n"
    "         and IMAGE at the start of the image area.\n"
    "inspect  prints the package of a program: its texts, the image format, the flash\n"
    "         profile table, whether it is a template (builder), and its seal: intact,\n"
    "         empty (a template, or a program from a tool that does not seal) or broken\n"
    "         (the program is damaged; both CRC-32 values are shown, and the status is 1).\n"
    "verify   checks the seal of each program, one line per file; the status is 1 when\n"
    "         any seal is broken or any file is not a program.\n"
    "\n"
    "exit status: 0 done, 1 failed, 2 wrong usage\n";

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

// The values of build's options; an option given twice keeps its last value.
struct BuildOptions {
  std::string templatePath;
  std::string models;
  std::string model;
  std::string image;
  std::optional<std::string> outDir;

  // The first required option that is missing or empty, in usage order.
  std::optional<std::string> Missing() const {
    const std::pair<const char*, const std::string*> required[] = {
        {"--template", &templatePath}, {"--models", &models}, {"--model", &model},
        {"--image", &image}};
    for (const auto& [name, value] : required)
      if (value->empty()) return std::string(name) + " is missing";
    return std::nullopt;
  }
};

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

int Build(const BuildOptions& options) {
  if (auto problem = options.Missing()) return UsageError(*problem);

  const std::string modelsPath = options.models;
  if (!package::ProfileFile::Load(modelsPath)) return Failure(package::messages::CantLoad(modelsPath));
  package::IniProfileReader reader;
  const package::ModelFileContents contents = package::ReadModelFile(reader, modelsPath);
  if (!contents.selected)
    return Failure(package::messages::SessionError(modelsPath, contents.lastSection));
  const auto chosen = ChooseModel(contents, options.model);
  if (!chosen)
    return Failure("no model " + options.model + " in " + modelsPath + "; it holds:" +
                   ModelList(contents));

  const package::ModelTable& table = contents.table;
  const std::size_t n = *chosen;
  package::BuildRequest request;
  request.imagePath = options.image;
  request.binFileName = package::FileNameOf(request.imagePath);
  request.templatePath = options.templatePath;
  request.outputFolder = options.outDir.value_or(".");
  request.model = {table.Model[n], table.Inquiry[n], table.FwRange[n], table.Vendor[n],
                   table.Note[n]};
  request.keyWord = package::BuiltInKeyWord();
  request.sealMarker = package::BuiltInSealMarker();
  ConsoleObserver observer;
#ifdef _WIN32
  platform::win32::Win32Files files;
#else
  platform::posix::PosixFiles files;
#endif
  return package::BuildFlashProgram(request, observer, files) ? kExitOk : kExitFailure;
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

int Inspect(const std::vector<std::string>& files) {
  if (files.size() != 1) return UsageError("inspect takes one file");
  const std::string& path = files.front();
  const package::ProgramFile program = package::ReadProgramFile(path);
  if (program.problem != package::ProgramFileProblem::None) return Failure(program.message);
  PrintPackage(path, program);
  if (program.seal.state == package::SealState::Broken)
    return Failure(path + ": the seal is broken; this program is damaged");
  return kExitOk;
}

// --- verify ----------------------------------------------------------------

// One line per file: its seal, or why it is not a program.
int Verify(const std::vector<std::string>& files) {
  if (files.empty()) return UsageError("verify takes one or more files");
  bool allGood = true;
  for (const std::string& path : files) {
    const package::ProgramFile program = package::ReadProgramFile(path);
    if (program.problem != package::ProgramFileProblem::None) {
      std::cout << program.message << "\n";
      allGood = false;
      continue;
    }
    std::cout << path << ": seal " << SealDescription(program.seal) << "\n";
    if (program.seal.state == package::SealState::Broken) allGood = false;
  }
  return allGood ? kExitOk : kExitFailure;
}

// --- command line ----------------------------------------------------------

// The commands and their options. Unknown words are left to the caller
// (allow_extras), so that it can name them in qrwpack's own messages.
struct CommandLine {
  CLI::App app{"qrwpack", "qrwpack"};
  CLI::App* build = nullptr;
  CLI::App* inspect = nullptr;
  CLI::App* verify = nullptr;
  CLI::App* help = nullptr;
  bool helpFlag = false;
  bool versionFlag = false;
  BuildOptions buildOptions;
  std::vector<std::string> files;

  CommandLine() {
    app.set_help_flag();
    app.add_flag("-h,--help", helpFlag);
    app.add_flag("--version", versionFlag);
    app.allow_extras();
    app.require_subcommand(0, 1);
    build = app.add_subcommand("build");
    build->set_help_flag();
    build->allow_extras();
    for (auto [name, value] : {std::pair{"--template", &buildOptions.templatePath},
                               std::pair{"--models", &buildOptions.models},
                               std::pair{"--model", &buildOptions.model},
                               std::pair{"--image", &buildOptions.image}})
      build->add_option(name, *value)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    build->add_option("--out-dir", buildOptions.outDir)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    inspect = app.add_subcommand("inspect");
    inspect->set_help_flag();
    inspect->allow_extras();
    inspect->add_option("file", files);
    verify = app.add_subcommand("verify");
    verify->set_help_flag();
    verify->allow_extras();
    verify->add_option("file", files);
    help = app.add_subcommand("help");
  }

  int Run(int argc, char** argv) {
    try {
      app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch&) {
      // Only an option at the very end can lack its value.
      return UsageError(std::string(argv[argc - 1]) + " needs a value");
    } catch (const CLI::ParseError& error) {
      return UsageError(error.what());
    }
    if (helpFlag || help->parsed()) {
      std::cout << kUsage;
      return kExitOk;
    }
    if (versionFlag) {
      std::cout << kVersion;
      return kExitOk;
    }
    if (build->parsed()) {
      if (!build->remaining().empty()) return UsageError("unknown option " + build->remaining()[0]);
      return Build(buildOptions);
    }
    for (CLI::App* command : {inspect, verify}) {
      if (!command->parsed()) continue;
      for (const std::string& word : command->remaining())
        if (word.rfind("-", 0) == 0) return UsageError("unknown option " + word);
      return command == inspect ? Inspect(files) : Verify(files);
    }
    if (!app.remaining().empty()) return UsageError("unknown command " + app.remaining()[0]);
    return UsageError("no command");
  }
};

}  // namespace

int main(int argc, char** argv) { return CommandLine().Run(argc, argv); }
