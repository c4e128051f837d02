// The worker's wait for answers: answers given before the wait are kept, answers to another
// question are not, and an end is final.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "answer_gate.h"

namespace orv::updater {
namespace {

using namespace std::chrono_literals;

// What `wait` (a wait on the gate) returns when another thread ends the gate with `code` once
// the waiting thread has reached it, as the flow's answers end a waiting worker.
std::optional<int> endedAtTheWait(AnswerGate& gate, int code,
                                  const std::function<std::optional<int>()>& wait) {
  std::promise<void> atTheWait;
  std::thread ender([&] {
    atTheWait.get_future().wait();
    gate.end(code);
  });
  atTheWait.set_value();
  const std::optional<int> result = wait();
  ender.join();
  return result;
}

TEST(AnswerGate, AnAnswerBeforeTheWaitIsKept) {
  AnswerGate gate;
  gate.ask(Question::Update);
  gate.goOn(Question::Update);  // the page answered inside its own function
  EXPECT_EQ(gate.wait(), std::nullopt);
}

TEST(AnswerGate, AnAnswerFromAnotherThreadReleasesTheWait) {
  AnswerGate gate;
  gate.ask(Question::CloseIe);
  std::atomic<bool> released{false};
  std::thread worker([&] {
    EXPECT_EQ(gate.wait(), std::nullopt);
    released = true;
  });
  std::this_thread::sleep_for(50ms);  // the behaviour under test: the wait holds meanwhile
  EXPECT_FALSE(released);
  gate.goOn(Question::CloseIe);
  worker.join();
  EXPECT_TRUE(released);
}

TEST(AnswerGate, AnswersToOtherQuestionsAndEarlierOnesDoNotCount) {
  AnswerGate gate;
  gate.goOn(Question::Update);  // nobody asked yet
  gate.ask(Question::CloseIe);
  gate.goOn(Question::Update);
  gate.goOn(Question::Unanswerable);
  EXPECT_EQ(gate.pause(20ms), std::nullopt);
  EXPECT_EQ(endedAtTheWait(gate, 2, [&] { return gate.wait(); }), 2) << "only the end released it";
}

TEST(AnswerGate, OneAnswerReleasesOneWait) {
  AnswerGate gate;
  gate.ask(Question::CloseIe);
  gate.goOn(Question::CloseIe);
  EXPECT_EQ(gate.wait(), std::nullopt);
  gate.ask(Question::CloseIe);  // asked again: the earlier answer is spent
  EXPECT_EQ(endedAtTheWait(gate, 1, [&] { return gate.wait(); }), 1);
}

TEST(AnswerGate, TheFirstEndWinsAndEveryLaterWaitReturnsIt) {
  AnswerGate gate;
  gate.end(1);
  gate.end(2);
  EXPECT_EQ(gate.endCode(), 1);
  gate.ask(Question::Update);
  gate.goOn(Question::Update);
  EXPECT_EQ(gate.wait(), 1) << "an ended worker never goes on";
  EXPECT_EQ(gate.pause(10s), 1) << "a pause returns at once";
}

TEST(AnswerGate, AnEndCutsAPauseShort) {
  AnswerGate gate;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(endedAtTheWait(gate, 2, [&] { return gate.pause(30s); }), 2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST(AnswerGate, UnanswerableQuestionsWaitForTheEnd) {
  AnswerGate gate;
  gate.ask(Question::Unanswerable);
  gate.goOn(Question::Unanswerable);
  EXPECT_EQ(gate.pause(20ms), std::nullopt);
  gate.end(2);
  EXPECT_EQ(gate.wait(), 2);
}

}  // namespace
}  // namespace orv::updater
