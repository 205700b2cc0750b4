// qrwpack: the preparers' command-line tool. It builds flash programs with
// the builder of the program itself (so its output is the same, byte for
// byte, as the Build button's), shows the package inside a program and
// checks programs' seals.
//
// The key-word and the seal marker it looks for are those of the package
// built into this tool, which is the template package of this build: neither
// is ever written out as a literal of its own, so each occurs once in every
// program.
#include <cstdint>
#include <cstdio>
#include <memory>
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
#include "signature_commands.h"
#include "text/format.h"
#include "text/json.h"
#include "text/printable.h"
#include "reason_keeping_files.h"
#ifdef _WIN32
#include "platform/win32/win32_files.h"
#else
#include "platform/posix/posix_files.h"
#endif

namespace {

#ifdef _WIN32
namespace system_files = platform::win32;
using SystemFiles = platform::win32::Win32Files;
#else
namespace system_files = platform::posix;
using SystemFiles = platform::posix::PosixFiles;
#endif

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kVersion = "qrwpack " QRW_VERSION "\n";

constexpr const char* kUsage =
    "qrwpack " QRW_VERSION "\n"
    "\n"
    "usage: qrwpack build --template TEMPLATE.EXE --models FILE.INI --model INDEX|NAME\n"
    "                     --image IMAGE [--out-dir DIR] [--sign NAME.key]\n"
    "       qrwpack inspect [--json] FILE.EXE\n"
    "       qrwpack verify [--json] FILE.EXE...\n"
    "       qrwpack keygen --out NAME [--comment TEXT]\n"
    "       qrwpack sign --key NAME.key PROGRAM.EXE...\n"
    "       qrwpack --help\n"
    "       qrwpack --version\n"
    "\n"
    "build    writes the flash program \"%4.4s.EXE\" of IMAGE's name into DIR (default: the\n"
    "         current folder; made when missing): TEMPLATE with the package header of\n"
    "         the chosen model of FILE.INI (its MODELnn sections; INDEX counts from 0,\n"
    "         NAME is a Model value) and IMAGE at the start of the image area; with\n"
    "         --sign, signed by that key.\n"
    "inspect  prints the package of a program: its texts, the image format, the flash\n"
    "         profile table, whether it is a template (builder), and its seal: intact,\n"
    "         empty (a template, or a program from a tool that does not seal) or broken\n"
    "         (the program is damaged; both CRC-32 values are shown, and the status is 1).\n"
    "verify   checks the seal and the signature of each program, one line per file;\n"
    "         the status is 1 when any seal is broken, any signature does not match\n"
    "         or any file is not a program.\n"
    "--json   (inspect, verify) one JSON document on standard output, the lines on\n"
    "         standard error (man qrwpack gives its fields).\n"
    "keygen   makes an Ed25519 key pair: NAME.key (secret, mode 0600) and NAME.pub (the\n"
    "         public key for qrwflash's users; COMMENT names its maker).\n"
    "sign     signs flash programs already built, each in place (a template is refused).\n"
    "         Signing and checking signatures need the Linux build.\n"
    "\n"
    "exit status: 0 done, 1 failed, 2 wrong usage\n";

// The tool writes through the C library's streams: the C++ streams would
// bring the prebuilt locale and stream code into qrwpack.exe, whose code
// needs a Pentium Pro. Nearly every line carries a text from a file (a
// package's fields, a model file's names, a path), so everything goes out
// through the printable filter.
void Write(const std::string& text, std::FILE* stream) {
  const std::string shown = text::Printable(text);
  std::fwrite(shown.data(), 1, shown.size(), stream);
}
// With --json, standard output carries the document alone and the lines a
// person reads go to standard error.
std::FILE* humanLines = stdout;
void Out(const std::string& text) { Write(text, humanLines); }
// The document is written as it is: its texts are escaped already, and a
// package's bytes above 0x7E are characters of it, which the printable
// filter would spoil.
void OutJson(const text::Json& document) {
  const std::string written = document.Document();
  std::fwrite(written.data(), 1, written.size(), stdout);
}
void Err(const std::string& text) { Write(text, stderr); }

int UsageError(const std::string& problem) {
  Err("qrwpack: " + problem + "\n" + kUsage);
  return kExitUsage;
}

int Failure(const std::string& problem) {
  Err("qrwpack: " + problem + "\n");
  return kExitFailure;
}

// --- build -----------------------------------------------------------------

// The builder's messages on the terminal; a failure of the output also
// names the output's path and the system's reason.
class ConsoleObserver : public package::BuildObserver {
 public:
  ConsoleObserver(std::string outputPath, const qrwpack::ReasonKeepingFiles& files)
      : outputPath_(std::move(outputPath)), files_(files) {}

  void Status(const std::string& caption) override { Out(caption + "\n"); }
  void ProgressStart(std::int32_t) override {}
  void ProgressStep() override {}
  void ProgressDone() override {}
  void Failure(const std::string& message) override {
    const std::optional<std::string>& reason = files_.Reason();
    Err("qrwpack: " + message + (reason ? ": " + outputPath_ + ": " + *reason : "") + "\n");
  }

 private:
  std::string outputPath_;
  const qrwpack::ReasonKeepingFiles& files_;
};

// The values of build's options; an option given twice keeps its last value.
struct BuildOptions {
  std::string templatePath;
  std::string models;
  std::string model;
  std::string image;
  std::optional<std::string> outDir;
  std::optional<std::string> signKey;

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
  // A folder named for the output is made when it is missing, as a
  // preparer building into a fresh folder expects.
  if (!system_files::MakeFolders(request.outputFolder))
    return Failure("cannot make the folder " + request.outputFolder + ": " +
                   system_files::LastErrorText());
  request.model = {table.Model[n], table.Inquiry[n], table.FwRange[n], table.Vendor[n],
                   table.Note[n]};
  request.keyWord = package::BuiltInKeyWord();
  request.sealMarker = package::BuiltInSealMarker();
  request.signatureMarker = package::BuiltInSignatureMarker();
  std::unique_ptr<package::RecordSigner> signer;
  if (options.signKey) {
    std::string problem;
    signer = qrwpack::LoadSigner(*options.signKey, problem);
    if (!signer) return Failure(problem);
    request.signer = signer.get();
  }
  SystemFiles systemFiles;
  qrwpack::ReasonKeepingFiles files(systemFiles, &system_files::LastErrorText);
  ConsoleObserver observer(package::JoinPath(request.outputFolder, package::OutputName(request.binFileName)),
                           files);
  return package::BuildFlashProgram(request, observer, files) ? kExitOk : kExitFailure;
}

// --- inspect ---------------------------------------------------------------

std::string Hex(unsigned value, int digits) { return text::Format("%0*X", digits, value); }

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
    Out("Profile " + std::to_string(i) + ":    maker " + Hex(entry[0], 2) + ", device " +
        Hex(entry[1], 2) + ", " + std::to_string(length) + " bytes at block offset " +
        std::to_string(start) + "\n");
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

// Whether the program carries an Authenticode signature: a maker signs the
// built programs; the builders never copy a template's.
std::string CertificateDescription(const package::CertificateTable& table) {
  switch (table.state) {
    case package::CertificateTableState::None: return "none";
    case package::CertificateTableState::Present:
      return "table of " + std::to_string(table.size) + " bytes at 0x" +
             Hex(static_cast<unsigned>(table.at), 8);
    case package::CertificateTableState::Unusable:
      return "unusable: " + package::CertificateProblemText(table);
  }
  return "";
}

void PrintPackage(const std::string& path, const package::ProgramFile& program) {
  const package::PackageView view = program.Package();
  Out("File:         " + path + "\n" +
      "Key-word at:  0x" + Hex(static_cast<unsigned>(program.keyWordAt), 8) + "\n" +
      "Seal at:      0x" + Hex(static_cast<unsigned>(program.sealAt), 8) + "\n" +
      "Seal:         " + SealDescription(program.seal) + "\n" +
      "Model:        " + view.Model() + "\n" +
      "Inquiry:      \"" + view.Inquiry() + "\"\n" +
      "FWRange:      " + view.FwRange() + "\n" +
      "Vendor:       " + view.Vendor() + "\n" +
      "Note:         " + view.Note() + "\n" +
      "NewRevision:  " + view.NewRevision() + "\n" +
      "Template:     " + (package::IsTemplate(view) ? "yes (starts as builder)" : "no") + "\n" +
      "Image:        " + ImageDescription(view) + "\n");
  PrintProfiles(view);
  Out("Certificate:  " + CertificateDescription(program.certificates) + "\n");
}

const char* SealState(const package::SealCheck& seal) {
  switch (seal.state) {
    case package::SealState::Empty: return "empty";
    case package::SealState::Intact: return "intact";
    case package::SealState::Broken: return "broken";
  }
  return "";
}

text::Json SealJson(const package::SealCheck& seal) {
  const bool empty = seal.state == package::SealState::Empty;
  text::Json json = text::Json::Object();
  json.Set("state", SealState(seal));
  json.Set("stored", empty ? text::Json() : text::Json(package::Hex32(seal.stored)));
  json.Set("computed", empty ? text::Json() : text::Json(package::Hex32(seal.computed)));
  json.Set("text", SealDescription(seal));
  return json;
}

text::Json SignatureJson(const qrwpack::SignatureShown& shown) {
  text::Json json = text::Json::Object();
  json.Set("text", shown.text);
  json.Set("matches", !shown.broken);
  return json;
}

text::Json ImageJson(const package::PackageView& view) {
  text::Json json = text::Json::Object();
  const package::ImageFormat format = package::CheckNewFormatBIN(view.ImageArea());
  const char* kind = package::IsTemplate(view)     ? "none"
                     : !format.signatureFound      ? "unmarked"
                     : format.NeedsFlashProfile    ? "new"
                                                   : "old";
  json.Set("format", kind);
  json.Set("length", package::IsTemplate(view) ? text::Json() : text::Json(static_cast<unsigned long>(format.ImageLength)));
  json.Set("flashProfile", !package::IsTemplate(view) && format.NeedsFlashProfile);
  json.Set("text", ImageDescription(view));
  return json;
}

text::Json ProfilesJson(const package::PackageView& view) {
  text::Json list = text::Json::Array();
  const std::uint8_t* table = view.ProfileTable();
  std::size_t start = 0;
  for (std::size_t i = 0; i < package::kProfileEntries; ++i) {
    const std::uint8_t* entry = table + 4 * i;
    const unsigned length = (static_cast<unsigned>(entry[2]) << 8) | entry[3];
    text::Json profile = text::Json::Object();
    profile.Set("maker", Hex(entry[0], 2));
    profile.Set("device", Hex(entry[1], 2));
    profile.Set("length", length);
    profile.Set("blockOffset", static_cast<unsigned long>(start));
    list.Add(std::move(profile));
    start += length;
  }
  return list;
}

text::Json CertificateJson(const package::CertificateTable& table) {
  const char* state = "none";
  if (table.state == package::CertificateTableState::Present) state = "present";
  if (table.state == package::CertificateTableState::Unusable) state = "unusable";
  text::Json json = text::Json::Object();
  json.Set("state", state);
  const bool present = table.state == package::CertificateTableState::Present;
  json.Set("size", present ? text::Json(static_cast<unsigned long>(table.size)) : text::Json());
  json.Set("at", present ? text::Json(static_cast<unsigned long>(table.at)) : text::Json());
  json.Set("text", CertificateDescription(table));
  return json;
}

// Everything inspect prints, as values, set into JSON.
text::Json ProgramJson(text::Json json, const std::string& path, const package::ProgramFile& program,
                       const qrwpack::SignatureShown& signature) {
  const package::PackageView view = program.Package();
  json.Set("file", path);
  json.Set("program", true);
  json.Set("problem", text::Json());
  json.Set("keyWordAt", static_cast<unsigned long>(program.keyWordAt));
  json.Set("sealAt", static_cast<unsigned long>(program.sealAt));
  json.Set("seal", SealJson(program.seal));
  json.Set("model", view.Model());
  json.Set("inquiry", view.Inquiry());
  json.Set("fwRange", view.FwRange());
  json.Set("vendor", view.Vendor());
  json.Set("note", view.Note());
  json.Set("newRevision", view.NewRevision());
  json.Set("template", package::IsTemplate(view));
  json.Set("image", ImageJson(view));
  json.Set("profiles", ProfilesJson(view));
  json.Set("certificate", CertificateJson(program.certificates));
  json.Set("signature", SignatureJson(signature));
  return json;
}

// A file that is not a program: its path and why.
text::Json NotProgramJson(text::Json json, const std::string& path, const std::string& problem) {
  json.Set("file", path);
  json.Set("program", false);
  json.Set("problem", problem);
  return json;
}

qrwpack::SignatureShown PrintSignature(const package::ProgramFile& program) {
  const qrwpack::SignatureShown shown = qrwpack::ShowSignature(program);
  Out("Signature:    " + shown.text + "\n");
  return shown;
}

text::Json CommandJson(const char* command) {
  text::Json json = text::Json::Object();
  json.Set("command", command);
  return json;
}

int Inspect(const std::vector<std::string>& files, bool json) {
  if (files.size() != 1) return UsageError("inspect takes one file");
  const std::string& path = files.front();
  const package::ProgramFile program = package::ReadProgramFile(path);
  const auto ending = [&](int status, text::Json document) {
    if (json) OutJson(document.Set("status", status));
    return status;
  };
  if (program.problem != package::ProgramFileProblem::None)
    return ending(Failure(program.message), NotProgramJson(CommandJson("inspect"), path, program.message));
  PrintPackage(path, program);
  const qrwpack::SignatureShown signature = PrintSignature(program);
  text::Json document = ProgramJson(CommandJson("inspect"), path, program, signature);
  if (program.seal.state == package::SealState::Broken)
    return ending(Failure(path + ": the seal is broken; this program is damaged"), document);
  if (signature.broken)
    return ending(Failure(path + ": the signature does not match; this program was changed after it was signed"),
                  document);
  return ending(kExitOk, document);
}

// --- verify ----------------------------------------------------------------

// One line per file: its seal, or why it is not a program.
int Verify(const std::vector<std::string>& files, bool json) {
  if (files.empty()) return UsageError("verify takes one or more files");
  bool allGood = true;
  text::Json results = text::Json::Array();
  for (const std::string& path : files) {
    const package::ProgramFile program = package::ReadProgramFile(path);
    if (program.problem != package::ProgramFileProblem::None) {
      Out(program.message + "\n");
      results.Add(NotProgramJson(text::Json::Object(), path, program.message));
      allGood = false;
      continue;
    }
    const qrwpack::SignatureShown signature = qrwpack::ShowSignature(program);
    Out(path + ": seal " + SealDescription(program.seal) + "; signature: " + signature.text + "\n");
    results.Add(ProgramJson(text::Json::Object(), path, program, signature));
    if (program.seal.state == package::SealState::Broken || signature.broken) allGood = false;
  }
  const int status = allGood ? kExitOk : kExitFailure;
  if (json) OutJson(CommandJson("verify").Set("files", std::move(results)).Set("status", status));
  return status;
}

// --- keygen and sign ------------------------------------------------------
// The values of keygen's and sign's options.
struct SignatureOptions {
  std::string out;
  std::optional<std::string> comment;
  std::string key;
};


int Keygen(const SignatureOptions& options) {
  if (options.out.empty()) return UsageError("--out is missing");
  return qrwpack::Keygen(options.out,
                         options.comment.value_or(package::FileNameOf(options.out)));
}

int Sign(const SignatureOptions& options, const std::vector<std::string>& files) {
  if (options.key.empty()) return UsageError("--key is missing");
  if (files.empty()) return UsageError("sign takes one or more programs");
  return qrwpack::Sign(options.key, files);
}

// --- command line ----------------------------------------------------------

enum class Command { None, Build, Inspect, Verify, Keygen, Sign, Help };


// The words of the command line, sorted; Run judges them. The rules:
// before the command, -h, --help and --version count wherever they stand
// and any other word is a stranger; after it, build takes its options (the
// value as the next word or after '='; an option given twice keeps its last
// value), inspect and verify take every word not starting with '-' as a
// file ("-" alone is a file), and everything else is an unknown option.
struct CommandLine {
  Command command = Command::None;
  bool help = false;
  bool version = false;
  bool json = false;  // inspect and verify: one JSON document on standard output
  BuildOptions buildOptions;
  SignatureOptions signatureOptions;
  std::vector<std::string> files;
  std::vector<std::string> strangers;        // words before any command
  std::vector<std::string> unknownOptions;   // words the command does not take
  std::optional<std::string> lacksValue;     // an option without its value

  static std::optional<Command> CommandNamed(const std::string& word) {
    if (word == "build") return Command::Build;
    if (word == "inspect") return Command::Inspect;
    if (word == "verify") return Command::Verify;
    if (word == "keygen") return Command::Keygen;
    if (word == "sign") return Command::Sign;
    if (word == "help") return Command::Help;
    return std::nullopt;
  }

  // "-h", "--help", and short help flags run together ("-hh").
  static bool IsHelp(const std::string& word) {
    if (word == "--help") return true;
    return word.size() >= 2 && word[0] == '-' && word.find_first_not_of('h', 1) == std::string::npos;
  }

  std::string* BuildOption(const std::string& name) {
    if (name == "--template") return &buildOptions.templatePath;
    if (name == "--models") return &buildOptions.models;
    if (name == "--model") return &buildOptions.model;
    if (name == "--image") return &buildOptions.image;
    if (name == "--out-dir") {
      if (!buildOptions.outDir) buildOptions.outDir.emplace();
      return &*buildOptions.outDir;
    }
    if (name == "--sign") {
      if (!buildOptions.signKey) buildOptions.signKey.emplace();
      return &*buildOptions.signKey;
    }
    return nullptr;
  }

  // The options of keygen and sign.
  std::string* SignatureOption(const std::string& name) {
    if (command == Command::Keygen && name == "--out") return &signatureOptions.out;
    if (command == Command::Keygen && name == "--comment") {
      if (!signatureOptions.comment) signatureOptions.comment.emplace();
      return &*signatureOptions.comment;
    }
    if (command == Command::Sign && name == "--key") return &signatureOptions.key;
    return nullptr;
  }

  std::string* OptionNamed(const std::string& name) {
    return command == Command::Build ? BuildOption(name) : SignatureOption(name);
  }

  // Takes the option of the command at words[i] with its value; false when
  // the word is no option of the command.
  bool TakeOption(const std::vector<std::string>& words, std::size_t& i) {
    const std::string& word = words[i];
    const std::size_t equals = word.rfind("--", 0) == 0 ? word.find('=') : std::string::npos;
    std::string* value = OptionNamed(word.substr(0, equals));
    if (value == nullptr) return false;
    if (equals != std::string::npos) {
      if (equals + 1 == word.size()) lacksValue = lacksValue.value_or(word);
      else *value = word.substr(equals + 1);
    } else if (i + 1 < words.size()) {
      *value = words[++i];
    } else {
      lacksValue = lacksValue.value_or(word);
    }
    return true;
  }

  void Parse(const std::vector<std::string>& words) {
    for (std::size_t i = 0; i < words.size(); ++i) {
      const std::string& word = words[i];
      switch (command) {
        case Command::None:
          if (IsHelp(word)) help = true;
          else if (word == "--version") version = true;
          else if (const auto named = CommandNamed(word)) command = *named;
          else strangers.push_back(word);
          break;
        case Command::Build:
        case Command::Keygen:
          if (!TakeOption(words, i)) unknownOptions.push_back(word);
          break;
        case Command::Sign:
          if (TakeOption(words, i)) break;
          if (word.size() > 1 && word[0] == '-') unknownOptions.push_back(word);
          else files.push_back(word);
          break;
        case Command::Inspect:
        case Command::Verify:
          if (word == "--json") json = true;
          else if (word.size() > 1 && word[0] == '-') unknownOptions.push_back(word);
          else files.push_back(word);
          break;
        case Command::Help: break;  // help on anything is the usage
      }
    }
  }

  int Run() const {
    if (lacksValue) return UsageError(*lacksValue + " needs a value");
    if (help || command == Command::Help) {
      Out(kUsage);
      return kExitOk;
    }
    if (version) {
      Out(kVersion);
      return kExitOk;
    }
    if (command != Command::None && !unknownOptions.empty())
      return UsageError("unknown option " + unknownOptions.front());
    switch (command) {
      case Command::Build: return Build(buildOptions);
      case Command::Inspect:
      case Command::Verify:
        if (json) humanLines = stderr;
        return command == Command::Inspect ? Inspect(files, json) : Verify(files, json);
      case Command::Keygen: return Keygen(signatureOptions);
      case Command::Sign: return Sign(signatureOptions, files);
      case Command::Help:
      case Command::None: break;
    }
    if (!strangers.empty()) return UsageError("unknown command " + strangers.front());
    return UsageError("no command");
  }
};

int Run(int argc, char** argv) {
  CommandLine line;
  line.Parse(std::vector<std::string>(argv + 1, argv + argc));
  return line.Run();
}

}  // namespace

#ifdef _WIN32
// qrwpack.exe starts from the programs' own start-up, which calls the
// console program's entry by this name: C++ forbids calling main.
int ConsoleMain(int argc, char** argv) { return Run(argc, argv); }
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
