#pragma once
// The commands of the core host's pipe and the pipe's creation mode. Pure logic.
#include <cstdint>
#include <string>

#include "pipe_commands.h"

namespace orv::core {

// What the core host does with each command of its pipe. The pipe server calls the handler on its
// own thread, one command at a time; `argument` is the text after "||" (no command uses it).
class CoreCommandHandler {
 public:
  virtual ~CoreCommandHandler() = default;
  // "PopAss": restore a minimised window
  virtual void popAss(const std::u16string& argument) = 0;
  // "QuitCmd": end the process at once
  virtual void quit(const std::u16string& argument) = 0;
  // "DownLoadErrorCmd": tell the user a download failed
  virtual void downloadError(const std::u16string& argument) = 0;
  // "UserConfirmCmd": recognised, no action
  virtual void userConfirm(const std::u16string& argument) = 0;
};

// The core host's pipe commands: a new command is one row here and one handler method.
inline constexpr PipeCommand<CoreCommandHandler> kCoreCommands[] = {
    {u"PopAss", &CoreCommandHandler::popAss},
    {u"QuitCmd", &CoreCommandHandler::quit},
    {u"DownLoadErrorCmd", &CoreCommandHandler::downloadError},
    {u"UserConfirmCmd", &CoreCommandHandler::userConfirm},
};

// The core host's pipe mode: remote clients are refused wherever the system knows the flag.
std::uint32_t corePipeMode(bool vistaOrLater);

}  // namespace orv::core
