#include "drive/drive_commands.h"

namespace drive {

DriveCommands::DriveCommands(CommandContext context) : ctx_(context) {}

}  // namespace drive
