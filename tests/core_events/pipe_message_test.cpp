// The pipe message framing shared by the core host's and the notifier's pipes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipe_commands.h"
#include "pipe_message.h"

namespace orv::core {
namespace {

const std::u16string kCorePrefix = u"AssistantOrvalinex";
const std::u16string kNotifierPrefix = u"PopOrvalinex";

PipeMessage parseCore(const std::string& bytes) {
  return parsePipeMessage(corePipeFraming(), bytes.data(), bytes.size());
}
PipeMessage parseNotifier(const std::string& bytes) {
  return parsePipeMessage(notifierPipeFraming(), bytes.data(), bytes.size());
}
std::string bytesOf(const std::u16string& text) { return pipeMessageBytes(text, u"", u"", false); }

TEST(PipePrefix, IsTheLengthOfThePipesOwnName) {
  EXPECT_EQ(pipePrefixLength(u"\\\\.\\pipe\\AssistantOrvalinex"), 18u);
  EXPECT_EQ(pipePrefixLength(u"\\\\.\\pipe\\PopOrvalinex"), 12u);
  EXPECT_EQ(pipePrefixLength(u"NoNamespace"), 11u);
  EXPECT_EQ(corePipeFraming().prefixLength, kCorePrefix.size());
  EXPECT_EQ(notifierPipeFraming().prefixLength, kNotifierPrefix.size());
  EXPECT_EQ(corePipeFraming().readBytes, 2048u);
  EXPECT_EQ(notifierPipeFraming().readBytes, 254u);
}

TEST(PipeMessageBytes, AreLittleEndianUtf16WithoutTerminator) {
  const std::string b = pipeMessageBytes(u"P", u"\u4E0B", u"x");
  EXPECT_EQ(b, std::string("P\0\x0B\x4E|\0|\0x\0", 10));
}

TEST(CorePipeMessage, CommandRunsToTheSeparatorAndTheArgumentAfterIt) {
  const PipeMessage m = parseCore(pipeMessageBytes(kCorePrefix, u"QuitCmd", u"anything"));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"QuitCmd");
  EXPECT_EQ(m.argument, u"anything");
}

TEST(CorePipeMessage, WithoutSeparatorTheCommandRunsToTheEnd) {
  const PipeMessage m = parseCore(pipeMessageBytes(kCorePrefix, u"QuitCmd", u"", false));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"QuitCmd");
  EXPECT_EQ(m.argument, u"");
}

TEST(CorePipeMessage, ThePrefixIsSkippedUnread) {
  const PipeMessage m = parseCore(pipeMessageBytes(u"xxxxxxxxxxxxxxxxxx", u"PopAss"));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"PopAss");
}

TEST(CorePipeMessage, TwoCommandsInOneWriteAreOneMessageWhoseRestIsTheArgument) {
  const std::string twice =
      pipeMessageBytes(kCorePrefix, u"PopAss") + pipeMessageBytes(kCorePrefix, u"QuitCmd");
  const PipeMessage m = parseCore(twice);
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"PopAss");
  EXPECT_EQ(m.argument, kCorePrefix + u"QuitCmd||");
}

TEST(CorePipeMessage, TextEndsAtTheFirstZero) {
  std::string b = pipeMessageBytes(kCorePrefix, u"QuitCmd", u"", false);
  b += std::string(2, '\0');
  b += pipeMessageBytes(u"||more", u"", u"", false);
  const PipeMessage m = parseCore(b);
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"QuitCmd");
  EXPECT_EQ(m.argument, u"");
}

TEST(CorePipeMessage, ShorterThanThePrefixIsIgnored) {
  EXPECT_EQ(parseCore("").status, PipeMessageStatus::kTooShort);
  EXPECT_EQ(parsePipeMessage(corePipeFraming(), nullptr, 0).status, PipeMessageStatus::kTooShort);
  // 17 characters, even when they end in a command name.
  const std::u16string seventeen = u"AssistantOrQuitCmd";
  EXPECT_EQ(parseCore(bytesOf(seventeen.substr(0, 17))).status, PipeMessageStatus::kTooShort);
  // Exactly the prefix: a message with an empty command.
  const PipeMessage m = parseCore(bytesOf(kCorePrefix));
  EXPECT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"");
}

TEST(CorePipeMessage, SeparatorInsideThePrefixGivesAnEmptyCommand) {
  const PipeMessage m = parseCore(bytesOf(u"Assist||Orvalinex PopAss"));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"");
  EXPECT_EQ(m.argument, u"Orvalinex PopAss");
}

TEST(CorePipeMessage, OneThousandTwentyThreeCharactersAreAMessage) {
  std::u16string text = kCorePrefix + u"PopAss||";
  text += std::u16string(1023 - text.size(), u'a');
  ASSERT_EQ(text.size(), 1023u);
  const PipeMessage m = parseCore(bytesOf(text));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"PopAss");
  EXPECT_EQ(m.argument.size(), 1023u - 26u);
  // With its terminating zero it fills the buffer and is still whole.
  const PipeMessage z = parseCore(bytesOf(text) + std::string(2, '\0'));
  EXPECT_EQ(z.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(z.command, u"PopAss");
}

TEST(CorePipeMessage, AMessageFillingTheReadIsIgnoredNotCut) {
  std::u16string text = kCorePrefix + u"QuitCmd||";
  text += std::u16string(1024 - text.size(), u'a');
  ASSERT_EQ(text.size(), 1024u);
  EXPECT_EQ(parseCore(bytesOf(text)).status, PipeMessageStatus::kTooLong);
  // A read never delivers more than its size; longer input counts as a filled read.
  EXPECT_EQ(parseCore(bytesOf(text + u"QuitCmd")).status, PipeMessageStatus::kTooLong);
}

TEST(CorePipeMessage, AnOddLastByteIsALowByteOverAZeroHighByte) {
  std::string b = pipeMessageBytes(kCorePrefix, u"PopAs", u"", false) + "s";
  const PipeMessage m = parseCore(b);
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"PopAss");
}

TEST(CorePipeMessage, NonAsciiCharactersSurviveInTheArgument) {
  const PipeMessage m = parseCore(pipeMessageBytes(kCorePrefix, u"PopAss", u"\u7F51\u94F6"));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.argument, u"\u7F51\u94F6");
}

TEST(NotifierPipeMessage, WithoutSeparatorTheCommandIsEmpty) {
  const PipeMessage m = parseNotifier(pipeMessageBytes(kNotifierPrefix, u"QuitCmd", u"", false));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"");
  const PipeMessage s = parseNotifier(pipeMessageBytes(kNotifierPrefix, u"QuitCmd"));
  EXPECT_EQ(s.command, u"QuitCmd");
}

TEST(NotifierPipeMessage, LongerThan127CharactersIsCut) {
  std::u16string arg(200, u'z');
  const PipeMessage m = parseNotifier(pipeMessageBytes(kNotifierPrefix, u"UpdatePopCmd", arg));
  ASSERT_EQ(m.status, PipeMessageStatus::kMessage);
  EXPECT_EQ(m.command, u"UpdatePopCmd");
  EXPECT_EQ(m.argument.size(), 127u - 12u - 12u - 2u);
}

// The shared command table: a row runs, with the message's argument, only for its whole text in
// its letter case.
struct Counter {
  std::vector<std::u16string> arguments;
  void run(const std::u16string& argument) { arguments.push_back(argument); }
};
constexpr PipeCommand<Counter> kOneCommand[] = {{u"QuitCmd", &Counter::run}};

TEST(PipeCommandTable, OnlyTheWholeTextInItsCaseRunsARow) {
  for (const std::u16string text :
       {u"quitcmd", u"QUITCMD", u"QuitCmd ", u" QuitCmd", u"QuitCmd\n", u"Quit", u""}) {
    Counter counter;
    EXPECT_FALSE(runPipeCommand(kOneCommand, counter, {PipeMessageStatus::kMessage, text, u"a"}));
    EXPECT_TRUE(counter.arguments.empty());
  }
  Counter counter;
  EXPECT_TRUE(
      runPipeCommand(kOneCommand, counter, {PipeMessageStatus::kMessage, u"QuitCmd", u"a"}));
  EXPECT_EQ(counter.arguments, std::vector<std::u16string>{u"a"});
}

}  // namespace
}  // namespace orv::core
