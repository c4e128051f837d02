#include "pipe_message.h"

#include "product.h"

namespace orv {

namespace {
constexpr std::u16string_view kPipeNamespace = u"\\\\.\\pipe\\";
constexpr std::u16string_view kSeparator = u"||";
}  // namespace

std::size_t pipePrefixLength(std::u16string_view pipeName) {
  if (pipeName.substr(0, kPipeNamespace.size()) == kPipeNamespace)
    return pipeName.size() - kPipeNamespace.size();
  return pipeName.size();
}

PipeFraming corePipeFraming() {
  PipeFraming f;
  f.prefixLength = pipePrefixLength(kCorePipeNameU16);
  f.readBytes = 2048;
  f.commandRunsToEndWithoutSeparator = true;
  f.ignoreFilledRead = true;
  return f;
}

PipeFraming notifierPipeFraming() {
  PipeFraming f;
  f.prefixLength = pipePrefixLength(kNotifierPipeNameU16);
  f.readBytes = 254;
  f.commandRunsToEndWithoutSeparator = false;
  f.ignoreFilledRead = false;
  return f;
}

PipeMessage parsePipeMessage(const PipeFraming& framing, const void* bytes, std::size_t bytesRead) {
  PipeMessage message;
  if (bytes == nullptr) bytesRead = 0;
  if (bytesRead > framing.readBytes) bytesRead = framing.readBytes;  // a read never returns more
  const auto* b = static_cast<const unsigned char*>(bytes);

  std::u16string text;
  bool terminated = false;
  for (std::size_t i = 0; i < bytesRead; i += 2) {
    const unsigned low = b[i];
    const unsigned high = (i + 1 < bytesRead) ? b[i + 1] : 0u;
    const char16_t unit = static_cast<char16_t>(low | (high << 8));
    if (unit == 0) {
      terminated = true;
      break;
    }
    text.push_back(unit);
  }

  if (!terminated && framing.ignoreFilledRead && bytesRead == framing.readBytes) {
    message.status = PipeMessageStatus::kTooLong;
    return message;
  }
  if (text.size() < framing.prefixLength) {
    message.status = PipeMessageStatus::kTooShort;
    return message;
  }

  message.status = PipeMessageStatus::kMessage;
  const std::size_t separator = text.find(kSeparator);
  if (separator == std::u16string::npos) {
    if (framing.commandRunsToEndWithoutSeparator)
      message.command = text.substr(framing.prefixLength);
    return message;
  }
  if (separator >= framing.prefixLength)
    message.command = text.substr(framing.prefixLength, separator - framing.prefixLength);
  message.argument = text.substr(separator + kSeparator.size());
  return message;
}

std::string pipeMessageBytes(std::u16string_view prefix, std::u16string_view command,
                             std::u16string_view argument, bool withSeparator) {
  std::u16string text(prefix);
  text += command;
  if (withSeparator) {
    text += kSeparator;
    text += argument;
  }
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return out;
}

}  // namespace orv
