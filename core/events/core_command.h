#pragma once
// The commands of the core host's pipe and the pipe's creation mode. Pure logic.
#include <cstdint>
#include <optional>
#include <string_view>

namespace orv {

enum class CoreCommand {
  kPopAss,            // bring a minimised window back, if the scripts agree
  kQuitCmd,           // end the process at once
  kDownLoadErrorCmd,  // tell the user a download failed
  kUserConfirmCmd,    // recognised, no action
};

// The command a pipe message names: whole text, case-sensitive; anything else is not a command.
std::optional<CoreCommand> coreCommandFromText(std::u16string_view text);

// The pipe mode for CreateNamedPipeW: message type, byte read mode, blocking waits, and the
// refusal of remote clients where the system knows it (Vista and later; earlier systems reject
// the unknown flag).
constexpr std::uint32_t kPipeTypeMessage = 0x4;
constexpr std::uint32_t kPipeRejectRemoteClients = 0x8;
std::uint32_t corePipeMode(bool vistaOrLater);

}  // namespace orv
