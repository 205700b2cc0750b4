// Every text that the model description file reader and the flash program
// builder show, written once, each character counting (the two blanks that
// open "  Please wait... " too).
#pragma once

#include <cstddef>
#include <string>

namespace package::messages {

// "%4.4s" of a text: at most four characters, right-aligned in four.
inline std::string FourChars(const std::string& text) {
  const std::string cut = text.substr(0, 4);
  return std::string(4 - cut.size(), ' ') + cut;
}

// Model description file.
inline std::string CantLoad(const std::string& path) { return "Can't load " + path; }
inline std::string SessionError(const std::string& path, const std::string& section) {
  return path + " > Session " + section + " error!";
}

// Builder: status caption and outcome.
inline std::string Building(const std::string& binFileName) {
  return "Building " + binFileName + "  Please wait... ";
}
inline std::string BuildOk(const std::string& binFileName) {
  return "Build " + FourChars(binFileName) + ".EXE ok!";
}

// Builder failures.
inline std::string OpenFail(const std::string& name) { return "Open " + name + " fail!"; }
inline std::string CreateFail(const std::string& binFileName) {
  return "Create " + FourChars(binFileName) + ".EXE Fail";
}
inline std::string KeyWordNotFound(const std::string& programName) {
  return "Building fail: not found key-word in " + programName;
}
inline std::string SealNotFound(const std::string& programName) {
  return "Building fail: not found seal in " + programName;
}
inline std::string SealDoubled(const std::string& programName, std::size_t count) {
  return "Building fail: the seal occurs " + std::to_string(count) + " times in " + programName;
}
inline std::string CertificateTableUnusable(const std::string& programName,
                                            const std::string& problem) {
  return "Building fail: cannot leave out the certificate table of " + programName + ": " + problem;
}
inline std::string SignatureRecordNotFound(const std::string& programName) {
  return "Building fail: not found signature record in " + programName;
}
inline std::string SignatureRecordDoubled(const std::string& programName, std::size_t count) {
  return "Building fail: the signature record occurs " + std::to_string(count) + " times in " +
         programName;
}
inline std::string SomeProblem(const std::string& programName) {
  return "Building fail: some problem in " + programName;
}
inline std::string ReadFail(const std::string& name) { return "Read " + name + " fail!"; }
inline std::string ImageTooLarge(const std::string& binFileName, std::size_t imageArea) {
  return "Building fail: " + binFileName + " is larger than the " +
         std::to_string(imageArea) + "-byte image area";
}
inline std::string ImageOddSize(const std::string& binFileName, std::size_t size) {
  return "Building fail: " + binFileName + " holds " + std::to_string(size) +
         " bytes; a firmware image holds 262144 or 327680 bytes";
}
inline std::string NotPlainName(const std::string& binFileName) {
  return "Building fail: " + binFileName + " is not a plain file name";
}
inline std::string NotATemplate(const std::string& programName) {
  return "Building fail: " + programName + " is a flash program, not a template";
}
inline std::string WriteFail(const std::string& binFileName) {
  return "Building fail: writing " + FourChars(binFileName) + ".EXE failed";
}

}  // namespace package::messages
