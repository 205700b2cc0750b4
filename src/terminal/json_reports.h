// qrwflash's --json documents: what `drives` found and what `flash` did,
// in the fields the manual page describes (and data/qrw-json.schema.json
// gives), as one document on standard output.
#pragma once

#include <string>
#include <vector>

#include "terminal/drive_run.h"
#include "terminal/flash_tool.h"
#include "text/json.h"

namespace terminal {

// What both commands' documents begin with: the command, the program file
// and the signature's line (null when the program was refused before it).
struct JsonHead {
  std::string command;
  std::string program;
  std::string signature;
  // Why the program itself was refused (not a program, damaged, changed
  // after it was signed); empty otherwise.
  std::string problem;
};

text::Json DrivesDocument(const JsonHead& head, const std::vector<ListedDrive>& drives,
                          const std::vector<std::string>& problems, int status);
text::Json FlashDocument(const JsonHead& head, const std::vector<DriveRun>& runs, int status);

}  // namespace terminal
