#pragma once
// The start-up the product's programs share. A program's application object composes a
// ProgramShell: it reads the command line into tokens, registers the program's instance message
// and lets it through the message filter, asks running copies to end ("-t"), takes the
// single-instance mutex, and prepares OLE and the common controls for the main dialog's run.
// What lies between those steps (the options, the checks, what a second copy does) is the
// program's own.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "scoped_com.h"
#include "scoped_handle.h"

namespace orv {

// What a start-up decided: this copy runs its main dialog, or the program ends now.
enum class StartResult { kRun, kEnd };

// A program's application object: its start-up and, when that says "run", its main dialog's run.
class DialogProgram {
 public:
  virtual StartResult InitInstance() = 0;
  virtual void Run() = 0;

 protected:
  DialogProgram() = default;
  ~DialogProgram() = default;
  DialogProgram(const DialogProgram&) = delete;
  DialogProgram& operator=(const DialogProgram&) = delete;
};

// The entry point's whole work, exit code 0: every way a program ends returns from its entry
// point, so the process ends with its objects taken down in order.
int runProgram(DialogProgram& program);

class ProgramShell {
 public:
  struct Names {
    const wchar_t* instanceMessage;
    const wchar_t* instanceMutex;
  };
  // Where the instance message goes through the message filter: for the whole process at once,
  // or later by the main dialog for its own window (admitWindowMessage).
  enum class Admission { kProcess, kByWindow };
  // Whether a command line of blanks alone (no tokens at all) still runs the program.
  enum class WithoutTokens { kGoOn, kEnd };
  // OLE for the programs that host controls; the common controls for all.
  enum class Ole { kWithout, kWith };

  explicit ProgramShell(Names names) : names_(names) {}
  ProgramShell(const ProgramShell&) = delete;
  ProgramShell& operator=(const ProgramShell&) = delete;

  // The command line split into tokens (token 0 is the program), then the instance message
  // registered ("Can not initialize." when that fails) and, for kProcess, admitted. "end" for an
  // empty command line, no tokens where they are required, or no message.
  [[nodiscard]] StartResult begin(Admission admission, WithoutTokens withoutTokens);

  const std::vector<std::wstring>& tokens() const { return tokens_; }
  // The registered instance message; 0 before begin().
  UINT instanceMessage() const { return instanceMessage_; }

  // Posts the instance message to every top-level window.
  void broadcast(WPARAM wParam, LPARAM lParam) const;
  // "-t": asks running copies to end (wParam 1) and says "end" for this one.
  [[nodiscard]] StartResult closeRunningCopies() const;

  // Takes the single-instance mutex and keeps it for the life of the shell (the process). False
  // when another copy holds it or it cannot be created.
  [[nodiscard]] bool takeInstanceMutex(SECURITY_ATTRIBUTES* security = nullptr);

  // What the main dialog's windows need: OLE on this thread (kWith), then every common control
  // class. OLE stays initialised until endOle(), which the program calls once the controls it
  // hosted are gone.
  void prepareWindows(Ole ole);
  void endOle() { ole_.reset(); }

 private:
  Names names_;
  std::vector<std::wstring> tokens_;
  UINT instanceMessage_ = 0;
  ScopedHandle mutex_;
  std::optional<ScopedComInit> ole_;
};

}  // namespace orv
