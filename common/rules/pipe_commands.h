#pragma once
// A pipe's command table: each row pairs a command's text with the method of the program's handler
// interface that runs it, so a new command is one row, one handler method and one line in the
// table's test (which method each command runs: pipeCommandMethod). Pure logic, shared by both
// pipe servers.
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

// The method of the row whose text is the whole `command` (compared case-sensitively); null for
// an unknown or empty command.
template <class Handler, std::size_t N>
auto pipeCommandMethod(const PipeCommand<Handler> (&table)[N], std::u16string_view command)
    -> decltype(PipeCommand<Handler>::run) {
  for (const PipeCommand<Handler>& row : table)
    if (row.text == command) return row.run;
  return nullptr;
}

// Runs, with the message's argument, the method of the row that matches the message's command.
// Returns whether a row matched; an unknown or empty command runs nothing.
template <class Handler, std::size_t N>
bool runPipeCommand(const PipeCommand<Handler> (&table)[N],
                    typename PipeCommand<Handler>::HandlerType& handler,
                    const PipeMessage& message) {
  const auto run = pipeCommandMethod(table, message.command);
  if (run) (handler.*run)(message.argument);
  return run != nullptr;
}

}  // namespace orv
