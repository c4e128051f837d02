#pragma once
// The framing of the messages the core host's and the notifier's named pipes read: UTF-16LE text
// of one read, a fixed-length prefix skipped unread (as long as the pipe's own name), the command
// up to the first "||" and the argument after it. Pure logic, shared by both pipe servers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// What one pipe server reads and how it treats the edges of a message.
struct PipeFraming {
  std::size_t prefixLength = 0;  // characters skipped unread at the start
  std::size_t readBytes = 0;     // bytes asked for by the single read
  // true: a text without "||" is all command (core host); false: it has an empty command
  // (notifier).
  bool commandRunsToEndWithoutSeparator = true;
  // true: a read that filled all `readBytes` without a terminating zero is ignored, since the
  // message may have been cut (core host); false: it is taken as cut (notifier).
  bool ignoreFilledRead = true;
};

// The number of characters of `pipeName` after "\\.\pipe\" (the whole name when it has no such
// start): the length of the prefix a client writes before the command.
std::size_t pipePrefixLength(std::u16string_view pipeName);

// The core host's pipe: 18-character prefix ("AssistantOrvalinex"), 2,048-byte read, so a message
// holds at most 1,023 characters.
PipeFraming corePipeFraming();
// The notifier's pipe: 12-character prefix ("PopOrvalinex"), 254-byte read (127 characters).
PipeFraming notifierPipeFraming();

enum class PipeMessageStatus {
  kMessage,   // command and argument are set (the command may still be empty or unknown)
  kTooShort,  // fewer characters than the prefix (an empty or failed read included): ignored
  kTooLong,   // filled the read without a terminating zero, and the framing ignores that
};

struct PipeMessage {
  PipeMessageStatus status = PipeMessageStatus::kTooShort;
  std::u16string command;
  std::u16string argument;
};

// Parses the `bytesRead` bytes of one read (a failed read passes 0). The bytes are read as the
// zeroed read buffer holds them: little-endian UTF-16 code units, a trailing odd byte being the
// low byte of a unit whose high byte is zero; the text ends at the first zero unit.
PipeMessage parsePipeMessage(const PipeFraming& framing, const void* bytes, std::size_t bytesRead);

// The pipe mode for CreateNamedPipeW: message type, byte read mode, blocking waits, and the
// refusal of remote clients when asked (only where the system knows the flag: Vista and later;
// earlier systems reject it).
constexpr std::uint32_t kPipeTypeMessage = 0x4;
constexpr std::uint32_t kPipeRejectRemoteClients = 0x8;
constexpr std::uint32_t pipeCreationMode(bool rejectRemoteClients) {
  return kPipeTypeMessage | (rejectRemoteClients ? kPipeRejectRemoteClients : 0u);
}

// Builds the bytes a client writes: prefix + command, and "||" + argument when `withSeparator`.
std::string pipeMessageBytes(std::u16string_view prefix, std::u16string_view command,
                             std::u16string_view argument = {}, bool withSeparator = true);

}  // namespace orv
