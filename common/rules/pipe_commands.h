#pragma once
// A pipe's command table: each row pairs a command's text with the method of the program's handler
// interface that runs it, so a new command is one row and one handler method. Pure logic, shared
// by both pipe servers.
#include <cstddef>
#include <string>
#include <string_view>

#include "pipe_message.h"

namespace orv {

template <class Handler>
struct PipeCommand {
  using HandlerType = Handler;  // names the handler where a derived one must not be deduced
  std::u16string_view text;
  void (Handler::*run)(const std::u16string& argument);
};

// Runs, with the message's argument, the row whose text is the message's whole command (compared
// case-sensitively). Returns whether a row matched; an unknown or empty command runs nothing.
template <class Handler, std::size_t N>
bool runPipeCommand(const PipeCommand<Handler> (&table)[N],
                    typename PipeCommand<Handler>::HandlerType& handler,
                    const PipeMessage& message) {
  for (const PipeCommand<Handler>& row : table) {
    if (row.text == message.command) {
      (handler.*row.run)(message.argument);
      return true;
    }
  }
  return false;
}

}  // namespace orv
