#pragma once
// The commands of the notifier's pipe. Pure logic.
#include <string>

#include "pipe_commands.h"

namespace orv::notifier {

// What the notifier does with each command of its pipe. The pipe server calls the handler on its
// own thread, one command at a time; `argument` is the text after "||" (no command uses it).
class NotifierCommandHandler {
 public:
  virtual ~NotifierCommandHandler() = default;
  // "QuitCmd": end the process at once
  virtual void quit(const std::u16string& argument) = 0;
  // "UserConfirmCmd": ask yes or no, answered by an event
  virtual void userConfirm(const std::u16string& argument) = 0;
  // "UpdatePopCmd": show the update balloon
  virtual void updatePop(const std::u16string& argument) = 0;
};

// The notifier's pipe commands: a new command is one row here, one handler method and one line
// in the table's test.
inline constexpr PipeCommand<NotifierCommandHandler> kNotifierCommands[] = {
    {u"QuitCmd", &NotifierCommandHandler::quit},
    {u"UserConfirmCmd", &NotifierCommandHandler::userConfirm},
    {u"UpdatePopCmd", &NotifierCommandHandler::updatePop},
};

}  // namespace orv::notifier
