#include "program_parts.h"

#include "file_ops.h"
#include "update_flow.h"

namespace orv::updater {
namespace {

class FileDesktopCopy final : public DesktopCopy {
 public:
  void copy(const std::wstring& parameter) override { desktopCopy(parameter); }
};

}  // namespace

std::unique_ptr<UpdateFlow> createShippedUpdateFlow() { return createUpdateFlow(updateBaseUrl()); }
std::unique_ptr<DesktopCopy> createDesktopCopy() { return std::make_unique<FileDesktopCopy>(); }

}  // namespace orv::updater
