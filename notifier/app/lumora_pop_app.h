#pragma once
// CLumoraPopApp: the tray notifier's application object. Its start-up reads the command line and
// answers "-t" by asking running copies to end; its run is the hidden main dialog's, which takes
// the single-instance mutex once its window exists.
#include <windows.h>

#include "program_shell.h"

namespace orv::notifier {

class CLumoraPopApp final : public DialogProgram {
 public:
  CLumoraPopApp();

  // "run" unless the command line is empty, the quit message cannot be registered or "-t" asked
  // running copies to end.
  StartResult InitInstance() override;
  // The main dialog's modal run.
  void Run() override;

 private:
  ProgramShell shell_;
};

}  // namespace orv::notifier
