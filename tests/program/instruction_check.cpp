// Disassembles a Windows program and fails on any instruction that an i586
// processor (Pentium, Pentium MMX, K6, early C3) does not have: CMOVcc,
// FCMOVcc, FCOMI, FCOMIP, FUCOMI, FUCOMIP (Pentium Pro and later) and SSE
// (any xmm register, the SSE state and fence instructions). Each one is
// named with the function it lies in, from the program's link map.
//
//   instruction_check OBJDUMP PROGRAM MAP
//
// The program may be stripped: the map of the same link gives the addresses
// of its functions and of each object's code.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// What lies at an address: the function, or else the object whose code it is.
class CodeMap {
 public:
  bool Read(const std::string& path) {
    std::ifstream map(path);
    if (!map) return false;
    std::string line;
    std::string pendingSection;
    while (std::getline(map, line)) {
      std::istringstream words(line);
      std::string first, second, third, fourth;
      words >> first >> second >> third >> fourth;
      // " .text  0x00401000  0x4a0 object" (or the name alone on its line
      // when it is long, the rest on the next).
      if (first.rfind(".text", 0) == 0) {
        if (second.empty()) {
          pendingSection = first;
          continue;
        }
        AddObject(second, third, fourth);
      } else if (!pendingSection.empty() && first.rfind("0x", 0) == 0 &&
                 second.rfind("0x", 0) == 0) {
        AddObject(first, second, third);
      } else if (first.rfind("0x", 0) == 0 && !second.empty() && third.empty() &&
                 line.rfind("                ", 0) == 0) {
        // "                0x00401000                _WinMain@16"
        functions_[std::stoul(first, nullptr, 16)] = second;
      }
      pendingSection.clear();
    }
    return !objects_.empty();
  }

  std::string Name(std::uint32_t address) const {
    std::string object = "?";
    auto o = objects_.upper_bound(address);
    std::uint32_t objectStart = 0;
    if (o != objects_.begin()) {
      --o;
      objectStart = o->first;
      object = o->second;
    }
    auto f = functions_.upper_bound(address);
    if (f != functions_.begin()) {
      --f;
      if (f->first >= objectStart) return f->second + " in " + object;
    }
    return "code of " + object;
  }

 private:
  void AddObject(const std::string& address, const std::string& size,
                 const std::string& object) {
    if (address.rfind("0x", 0) != 0 || size.rfind("0x", 0) != 0 || object.empty()) return;
    if (std::stoul(size, nullptr, 16) == 0) return;
    std::string name = object;
    const auto slash = name.find_last_of('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    objects_[std::stoul(address, nullptr, 16)] = name;
  }

  std::map<std::uint32_t, std::string> objects_;
  std::map<std::uint32_t, std::string> functions_;
};

// The reason an i586 cannot run the instruction, or nothing.
std::string Fault(const std::string& mnemonic, const std::string& operands) {
  static const std::set<std::string> kPentiumPro = {"fcomi", "fcomip", "fucomi", "fucomip"};
  static const std::set<std::string> kSse = {"ldmxcsr", "stmxcsr", "sfence", "lfence", "mfence",
                                             "prefetchnta", "prefetcht0", "prefetcht1",
                                             "prefetcht2", "movnti", "clflush"};
  if (mnemonic.rfind("cmov", 0) == 0 || mnemonic.rfind("fcmov", 0) == 0 ||
      kPentiumPro.count(mnemonic))
    return "Pentium Pro instruction";
  if (kSse.count(mnemonic) || operands.find("%xmm") != std::string::npos ||
      operands.find("%ymm") != std::string::npos)
    return "SSE instruction";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: instruction_check OBJDUMP PROGRAM MAP\n");
    return 2;
  }
  const std::string objdump = argv[1], program = argv[2], mapPath = argv[3];
  CodeMap map;
  if (!map.Read(mapPath)) {
    std::fprintf(stderr, "instruction_check: no code in the map %s\n", mapPath.c_str());
    return 2;
  }
  const std::string command = objdump + " -d --no-show-raw-insn '" + program + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  if (!pipe) {
    std::fprintf(stderr, "instruction_check: cannot run %s\n", command.c_str());
    return 2;
  }
  const std::string name = program.substr(program.find_last_of('/') + 1);
  std::size_t instructions = 0;
  std::map<std::string, std::vector<std::string>> faults;  // function -> instructions
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe.get())) {
    // "  401000:\tcmove  %edx,%eax"
    const std::string line(buffer);
    const auto colon = line.find(":\t");
    if (colon == std::string::npos) continue;
    std::uint32_t address = 0;
    try {
      address = static_cast<std::uint32_t>(std::stoul(line.substr(0, colon), nullptr, 16));
    } catch (...) {
      continue;
    }
    std::istringstream text(line.substr(colon + 2));
    std::string mnemonic, operands;
    text >> mnemonic;
    std::getline(text, operands);
    if (mnemonic.empty()) continue;
    ++instructions;
    const std::string fault = Fault(mnemonic, operands);
    if (!fault.empty()) {
      char at[16];
      std::snprintf(at, sizeof at, "%08x", address);
      faults[map.Name(address)].push_back(std::string(at) + " " + mnemonic + " (" + fault + ")");
    }
  }
  if (pclose(pipe.release()) != 0 || instructions == 0) {
    std::fprintf(stderr, "instruction_check: %s did not disassemble %s\n", objdump.c_str(),
                 program.c_str());
    return 2;
  }
  for (const auto& [function, list] : faults) {
    std::printf("%s: %s:\n", name.c_str(), function.c_str());
    for (const std::string& instruction : list) std::printf("    %s\n", instruction.c_str());
  }
  if (!faults.empty()) {
    std::printf("%s: %zu functions hold instructions an i586 lacks\n", name.c_str(), faults.size());
    return 1;
  }
  std::printf("%s: %zu instructions, all i586\n", name.c_str(), instructions);
  return 0;
}
