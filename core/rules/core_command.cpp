#include "core_command.h"

namespace orv::core {

std::optional<CoreCommand> coreCommandFromText(std::u16string_view text) {
  if (text == u"PopAss") return CoreCommand::kPopAss;
  if (text == u"QuitCmd") return CoreCommand::kQuitCmd;
  if (text == u"DownLoadErrorCmd") return CoreCommand::kDownLoadErrorCmd;
  if (text == u"UserConfirmCmd") return CoreCommand::kUserConfirmCmd;
  return std::nullopt;
}

std::uint32_t corePipeMode(bool vistaOrLater) { return pipeCreationMode(vistaOrLater); }

}  // namespace orv::core
