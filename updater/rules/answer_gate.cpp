#include "answer_gate.h"

namespace orv::updater {

void AnswerGate::ask(Question question) {
  std::lock_guard<std::mutex> lock(mutex_);
  asked_ = question;
  answered_ = false;
}

std::optional<int> AnswerGate::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return endCode_.has_value() || answered_; });
  if (endCode_) return endCode_;
  asked_ = Question::None;
  answered_ = false;
  return std::nullopt;
}

std::optional<int> AnswerGate::pause(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, duration, [this] { return endCode_.has_value(); });
  return endCode_;
}

void AnswerGate::goOn(Question question) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (question == Question::None || question == Question::Unanswerable) return;
  if (asked_ != question) return;
  answered_ = true;
  changed_.notify_all();
}

void AnswerGate::end(int exitCode) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (endCode_) return;
  endCode_ = exitCode;
  changed_.notify_all();
}

std::optional<int> AnswerGate::endCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endCode_;
}

}  // namespace orv::updater
