#pragma once
// The commands of the core host's pipe and the pipe's creation mode. Pure logic.
#include <cstdint>
#include <optional>
#include <string_view>

#include "pipe_message.h"

namespace orv::core {

enum class CoreCommand {
  kPopAss,            // bring a minimised window back, if the scripts agree
  kQuitCmd,           // end the process at once
  kDownLoadErrorCmd,  // tell the user a download failed
  kUserConfirmCmd,    // recognised, no action
};

// The command a pipe message names: whole text, case-sensitive; anything else is not a command.
std::optional<CoreCommand> coreCommandFromText(std::u16string_view text);

// The core host's pipe mode: remote clients are refused wherever the system knows the flag.
std::uint32_t corePipeMode(bool vistaOrLater);

}  // namespace orv::core
