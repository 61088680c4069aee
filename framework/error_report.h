// Error and warning reporting: ReportMessage hands a message with a severity
// to the handler held by the TSystemGlobals singleton.  The default handler
// logs it and, on the main logical thread, shows an error or warning box;
// elsewhere it writes the message to the console.  On this platform a
// "box" is a line on the error stream (or a call of the box hook, which the
// tests install).
//
// TSystemGlobals also holds the lists that the framework's exit and file
// operations notify, and the process's temporary-folder text.
#pragma once

#include <cstdint>

#include "framework/arrays.h"
#include "framework/thread_context.h"
#include "framework/tstring.h"

// Severities of ReportMessage.
enum : std::int32_t {
  kSeverityInformation = 0,
  kSeverityWarning = 1,
  kSeverityError = 2,
};

class TSystemGlobals : public TSingleton<TSystemGlobals> {
 public:
  // The message handler: (handler context, message, severity).
  using Handler = void (*)(void* context, const TString& message, std::int32_t severity);
  // Replaces the box: (text, title, button texts); the result is the index
  // of the chosen button.
  using BoxHook = std::int32_t (*)(const TString& text, const TString& title, const TStringArray& buttons);
  // Run by TerminateApplication, in list order.
  using ExitCallback = void (*)();
  // Called by NotifyFileChange with its data and the changed path.
  struct FileListener {
    void (*callback)(void* data, const TString& path) = nullptr;
    void* data = nullptr;
    bool operator==(const FileListener& other) const {
      return callback == other.callback && data == other.data;
    }
  };

  TSystemGlobals();
  ~TSystemGlobals() override;
  // Installs / removes ReportMessage as the framework's report hook.
  void OnCreated() override;
  void OnDestroying() override;

  // Not used by anything in this system.
  std::uintptr_t mReserved = 0;
  // Owner of the framework's boxes and shell operations (none here).
  void* mMainWindow = nullptr;
  Handler mHandler;
  void* mHandlerContext = nullptr;
  BoxHook mBoxHook = nullptr;
  // When set, messages of severity 0 do not reach the handler.
  bool mInformationOff = false;
  // Above 0: no box is shown; nonzero: ReportMessage logs warnings and
  // errors itself and passes them on as information.
  std::int32_t mQuietCount = 0;
  TGrowableArray<ExitCallback> mExitCallbacks;
  TGrowableArray<ExitCallback> mSecondList;
  TGrowableArray<FileListener> mFileListeners;
  // Paths (and everything inside them) for which NotifyFileChange is silent.
  TStringArray mExcludedPaths;
  // The process's temporary folder once TempFolder has made it.
  TString mTempFolder;
};

// The window that owns boxes and shell operations (null on this platform
// unless the program sets one).
void* GetMainWindow();

// Passes a message to the installed handler (see the algorithm in the
// source).  Without the system globals the default handler is used.
void ReportMessage(const TString& message, std::int32_t severity);
void DefaultErrorHandler(void* context, const TString& message, std::int32_t severity);

// Logs the message's lines under "Error Message" / "Warning Message" and,
// unless quiet, shows it: through the box hook when one is installed, else as
// lines on the error stream.  `buttons` may be null (one "Ok" button).
void ShowErrorMessageBox(const TString& message, const TString& title, bool askForBugReport,
                         const TStringArray* buttons);
void ShowWarningMessageBox(const TString& message, const TString& title, const TStringArray* buttons);

bool IsQuiet();
// "\n\nPlease report this problem ..." with the address filled in.
TString GetBugReportRequest();
// The text of the calling thread's last system error (errno), trimmed, with
// line breaks made blanks; "Unknown error" when there is none to be had.
TString GetLastErrorText();
void* GetMessageBoxOwner();
// There is no window message queue here: returns at once.
void PumpMessages(std::uint32_t milliseconds);
// Runs the exit callbacks, flushes the output streams and ends the process
// with exit code 1.
[[noreturn]] void TerminateApplication();

// Called by the file operations after they changed `path`.
void NotifyFileChange(const TString& path);

// Set-up of the lists (start-up only; they are read without locking).
void AddExitCallback(TSystemGlobals::ExitCallback callback);
void AddFileListener(void (*callback)(void* data, const TString& path), void* data);
void AddExcludedPath(const TString& path);
