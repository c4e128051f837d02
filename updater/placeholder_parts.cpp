#include "placeholder_parts.h"

namespace orv::updater {
namespace {

class IdleUpdateFlow final : public UpdateFlow {
 public:
  void start(UpdaterWindow&) override {}
  void confirmUpdate() override {}
  void confirmRetry() override {}
  void confirmRetryTooTimes(bool) override {}
  void confirmCloseIe(bool) override {}
};

class IdleDesktopCopy final : public DesktopCopy {
 public:
  void copy(const std::wstring&) override {}
};

}  // namespace

std::unique_ptr<UpdateFlow> createIdleUpdateFlow() { return std::make_unique<IdleUpdateFlow>(); }
std::unique_ptr<DesktopCopy> createIdleDesktopCopy() { return std::make_unique<IdleDesktopCopy>(); }

}  // namespace orv::updater
