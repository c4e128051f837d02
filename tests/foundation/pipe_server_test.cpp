// The shared pipe server with the notifier's options: the command runs before the client is
// disconnected, the text is cut after 127 characters, and messages without "||" have an empty
// command. Real pipe clients on a pipe of the test's own.
#include "pipe_server.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipe_client.h"
#include "processes.h"
#include "product.h"
#include "scoped_handle.h"

namespace orv {
namespace {

class SharedPipeServer : public ::testing::Test {
 protected:
  void start(bool disconnectBeforeCommand) {
    PipeServerOptions options;
    options.name = L"\\\\.\\pipe\\PopOrvalinexTest" + std::to_wstring(::GetCurrentProcessId()) +
                   (disconnectBeforeCommand ? L"a" : L"b");
    options.framing = notifierPipeFraming();
    options.disconnectBeforeCommand = disconnectBeforeCommand;
    name_ = options.name;
    server_ = std::make_unique<PipeServer>(options, [this](const PipeMessage& m) {
      if (m.command == u"Slow") ::Sleep(1000);  // recorded only once it has run
      std::lock_guard<std::mutex> g(mutex_);
      commands_.push_back(m.command);
      arguments_.push_back(m.argument);
    });
    ASSERT_TRUE(server_->create());
    thread_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
  }
  bool send(const std::u16string& text) {
    return writePipeMessage(name_, pipeMessageBytes(u"", text, u"", false), 10000);
  }
  std::vector<std::u16string> commands() {
    std::lock_guard<std::mutex> g(mutex_);
    return commands_;
  }

  std::wstring name_;
  std::unique_ptr<PipeServer> server_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::u16string> commands_, arguments_;
};

TEST_F(SharedPipeServer, NotifierMessagesAreParsedWithItsFraming) {
  start(false);
  ASSERT_TRUE(send(u"PopOrvalinexQuitCmd||x"));
  ASSERT_TRUE(send(u"PopOrvalinexQuitCmd"));  // no "||": an empty command
  ASSERT_TRUE(send(u"0123456789abUpdatePopCmd||"));
  // The server reads 254 bytes and lets the client go: the rest of this write is never read, so
  // the write itself may fail.
  send(u"PopOrvalinex" + std::u16string(200, u'a') + u"||tail");
  ASSERT_TRUE(test::waitUntil([&] { return commands().size() == 4; }, 10000));
  const auto seen = commands();
  EXPECT_EQ(seen[0], u"QuitCmd");
  EXPECT_EQ(seen[1], u"");
  EXPECT_EQ(seen[2], u"UpdatePopCmd");
  EXPECT_EQ(seen[3], u"") << "the separator lies beyond the 127 characters read";
  std::lock_guard<std::mutex> g(mutex_);
  EXPECT_EQ(arguments_[0], u"x");
}

TEST_F(SharedPipeServer, TheClientIsLetGoOnlyAfterTheCommandHasRun) {
  start(false);
  // The client writes, then reads until the server disconnects it: by then the command ran.
  ScopedHandle client;
  ASSERT_TRUE(test::waitUntil(
      [&] {
        client.reset(::CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        return client.valid();
      },
      10000));
  const std::string bytes = pipeMessageBytes(u"PopOrvalinex", u"Slow");
  DWORD written = 0;
  ASSERT_TRUE(
      ::WriteFile(client.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  char buffer[16];
  DWORD read = 0;
  EXPECT_FALSE(::ReadFile(client.get(), buffer, sizeof(buffer), &read, nullptr));
  std::lock_guard<std::mutex> g(mutex_);
  ASSERT_EQ(commands_.size(), 1u) << "disconnected before the command had run";
  EXPECT_EQ(commands_[0], u"Slow");
}

}  // namespace
}  // namespace orv
