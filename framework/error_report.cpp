#include "framework/error_report.h"

#include <stdio.h>

#include "framework/console.h"
#include "framework/exceptions.h"
#include "framework/files.h"
#include "framework/framework_hooks.h"
#include "framework/log.h"
#include "platform/crash_signals.h"
#include "platform/threads.h"

namespace {

// The main logical thread: the one that shows boxes.
constexpr std::int32_t kMainLogicalThread = 3;

void ReportHook(const TString& message, std::int32_t severity) { ReportMessage(message, severity); }

// Every non-empty line of `message`, trimmed, to the log under `category`.
void LogLines(const char* category, const TString& message) {
  TLog* log = TLog::Instance();
  if (!log) return;
  TStringArray lines = message.SplitLines();
  for (std::int32_t i = 0; i < lines.Count(); ++i) {
    TString line = lines[i];
    line.Trim();
    if (line.IsEmpty()) continue;
    log->Write(category, "%s", line.ToNarrow(0));
  }
}

void ConsoleMessage(const TString& message) {
  TByteArray bytes;
  message.ToNarrowArray(bytes, 0);
  bytes.EnsureSize(bytes.Size() + 1);
  bytes[bytes.Size() - 1] = 0;
  WriteConsoleText(bytes.Data());
}

// A box on this platform: the title and the text on the error stream.
void ShowBox(const TString& text, const TString& title, const TStringArray* buttons) {
  if (TSystemGlobals* globals = TSystemGlobals::Instance(); globals && globals->mBoxHook) {
    if (buttons) {
      globals->mBoxHook(text, title, *buttons);
    } else {
      TStringArray ok(TString(u"Ok"));
      globals->mBoxHook(text, title, ok);
    }
    return;
  }
  TString line = title;
  line.AppendText(u": ");
  line.Append(text);
  TByteArray bytes;
  line.ToNarrowArray(bytes, 0);
  bytes.EnsureSize(bytes.Size() + 1);
  bytes[bytes.Size() - 1] = '\n';
  fflush(stdout);
  fwrite(bytes.Data(), 1, static_cast<std::size_t>(bytes.Size()), stderr);
  fflush(stderr);
}

void ShowMessageBox(const TString& message, const TString& title, const char* category, bool askForBugReport,
                    const TStringArray* buttons) {
  try {
    LogLines(category, message);
    if (IsQuiet()) return;
    TString text = message;
    if (askForBugReport) text.Append(GetBugReportRequest());
    ShowBox(text, title, buttons);
    PumpMessages(250);
  } catch (const TOutOfMemoryException&) {
    // No memory for the box: it ends silently.
  }
}

}  // namespace

TSystemGlobals::TSystemGlobals() : mHandler(&DefaultErrorHandler) {}

TSystemGlobals::~TSystemGlobals() = default;

void TSystemGlobals::OnCreated() {
  FrameworkHooks().reportMessage = &ReportHook;
  SetFileChangeNotifier(&NotifyFileChange);
}

void TSystemGlobals::OnDestroying() {
  if (FrameworkHooks().reportMessage == &ReportHook) FrameworkHooks().reportMessage = nullptr;
  SetFileChangeNotifier(nullptr);
}

void* GetMainWindow() {
  TSystemGlobals* globals = TSystemGlobals::Instance();
  return globals ? globals->mMainWindow : nullptr;
}

void ReportMessage(const TString& message, std::int32_t severity) {
  TSystemGlobals* globals = TSystemGlobals::Instance();
  if (!globals) {
    DefaultErrorHandler(nullptr, message, severity);
    return;
  }
  if (globals->mQuietCount != 0 && severity != kSeverityInformation) {
    LogLines(severity == kSeverityError ? "Error Message" : "Warning Message", message);
    severity = kSeverityInformation;
  }
  if (globals->mInformationOff && severity == kSeverityInformation) return;
  globals->mHandler(globals->mHandlerContext, message, severity);
}

void DefaultErrorHandler(void*, const TString& message, std::int32_t severity) {
  if (FrameworkThreadManagerExists() && FrameworkLogicalThreadId() != kMainLogicalThread) {
    TLog* log = TLog::Instance();
    if (log && severity == kSeverityWarning) log->Write("System", "Warning: %s", message.ToNarrow(0));
    if (log && severity == kSeverityError) log->Write("System", "Error: %s", message.ToNarrow(0));
    ConsoleMessage(message);
    return;
  }
  if (severity == kSeverityWarning) {
    ShowWarningMessageBox(message, TString(u"Warning"), nullptr);
  } else if (severity == kSeverityError) {
    ShowErrorMessageBox(message, TString(u"Error"), false, nullptr);
  } else {
    ConsoleMessage(message);
  }
}

void ShowErrorMessageBox(const TString& message, const TString& title, bool askForBugReport,
                         const TStringArray* buttons) {
  ShowMessageBox(message, title, "Error Message", askForBugReport, buttons);
}

void ShowWarningMessageBox(const TString& message, const TString& title, const TStringArray* buttons) {
  ShowMessageBox(message, title, "Warning Message", false, buttons);
}

bool IsQuiet() {
  TSystemGlobals* globals = TSystemGlobals::Instance();
  return globals && globals->mQuietCount > 0;
}

TString GetBugReportRequest() {
  return TString::ExpandTemplates(
      TString(u"\n\nPlease report this problem by sending a mail with the Log.txt,\na detailed "
              u"description of the error and your system configuration to: "
              u"$MBugReportEMailAddress"));
}

TString GetLastErrorText() {
  const int error = platformLastErrorCode();
  if (error == 0) return TString(u"Unknown error");
  char buffer[1024];
  platformErrorText(error, buffer, sizeof buffer);  // "Unknown error" when the system has no text
  TString result = TString::FromNarrow(buffer, 0);
  result.Trim();
  result.ReplaceLineBreaks();
  return result.IsEmpty() ? TString(u"Unknown error") : result;
}

void* GetMessageBoxOwner() { return GetMainWindow(); }

void PumpMessages(std::uint32_t) {}

void TerminateApplication() {
  if (TSystemGlobals* globals = TSystemGlobals::Instance()) {
    for (std::int32_t i = 0; i < globals->mExitCallbacks.Count(); ++i) {
      if (globals->mExitCallbacks[i]) globals->mExitCallbacks[i]();
    }
  }
  fflush(nullptr);
  platformExitNow(1);
}

void NotifyFileChange(const TString& path) {
  TSystemGlobals* globals = TSystemGlobals::Instance();
  if (!globals) return;
  for (std::int32_t i = 0; i < globals->mExcludedPaths.Count(); ++i) {
    const TString& excluded = globals->mExcludedPaths[i];
    if (excluded.IsEmpty()) continue;
    if (PathEqualsNoCase(path, excluded) || IsInsideFolder(excluded, path)) return;
  }
  for (std::int32_t i = 0; i < globals->mFileListeners.Count(); ++i) {
    const TSystemGlobals::FileListener& listener = globals->mFileListeners[i];
    if (listener.callback) listener.callback(listener.data, path);
  }
}

void AddExitCallback(TSystemGlobals::ExitCallback callback) {
  if (TSystemGlobals* globals = TSystemGlobals::Instance()) globals->mExitCallbacks.Append(callback);
}

void AddFileListener(void (*callback)(void* data, const TString& path), void* data) {
  if (TSystemGlobals* globals = TSystemGlobals::Instance()) {
    TSystemGlobals::FileListener listener;
    listener.callback = callback;
    listener.data = data;
    globals->mFileListeners.Append(listener);
  }
}

void AddExcludedPath(const TString& path) {
  if (TSystemGlobals* globals = TSystemGlobals::Instance()) globals->mExcludedPaths.Append(path);
}
