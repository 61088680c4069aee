#include "framework/error_report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/files.h"
#include "framework/log.h"
#include "framework/text.h"
#include "framework/thread_manager.h"
#include "tests/framework/startup_test_util.h"
#include "tests/framework/framework_test_env.h"

namespace {

// What the box hook saw.
struct Box {
  std::string text, title;
  std::vector<std::string> buttons;
};
std::vector<Box> gBoxes;
bool gBoxThrows = false;

std::string Narrow(const TString& s) { return s.ToNarrow(3); }

std::int32_t RecordBox(const TString& text, const TString& title, const TStringArray& buttons) {
  if (gBoxThrows) throw TOutOfMemoryException();
  Box box{Narrow(text), Narrow(title), {}};
  for (std::int32_t i = 0; i < buttons.Count(); ++i) box.buttons.push_back(Narrow(buttons[i]));
  gBoxes.push_back(box);
  return 0;
}

// Collects what one descriptor (1 or 2) receives during its lifetime.
class CaptureOutput {
 public:
  CaptureOutput(int fd, const std::string& path) : mFd(fd), mPath(path) {
    fflush(stdout);
    fflush(stderr);
    mSaved = dup(fd);
    mFile = fopen(path.c_str(), "w");
    dup2(fileno(mFile), fd);
  }
  ~CaptureOutput() { Stop(); }
  std::string Stop() {
    if (mFile) {
      fflush(stdout);
      fflush(stderr);
      dup2(mSaved, mFd);
      close(mSaved);
      fclose(mFile);
      mFile = nullptr;
    }
    return ReadWholeFile(mPath);
  }

 private:
  int mFd;
  std::string mPath;
  int mSaved = -1;
  FILE* mFile = nullptr;
};

TSystemGlobals* NewGlobals() { return new TSystemGlobals; }

class ErrorReportTest : public FrameworkTest {
 protected:
  ErrorReportTest() {
    gBoxes.clear();
    gBoxThrows = false;
    mLog.Reset(new TLog(mScratch.Folder(), TString(u"Log.txt"), 0, false));
    SetApplicationLog(mLog.Get());
    mGlobals = CreateSingleton<TSystemGlobals>(&NewGlobals);
    mGlobals->mBoxHook = &RecordBox;
  }
  ~ErrorReportTest() override {
    DestroySingleton<TSystemGlobals>();
    SetApplicationLog(nullptr);
  }
  std::string LogText() {
    SetApplicationLog(nullptr);
    mLog.Reset();
    return ReadWholeFile(mScratch.Path() + "Log.txt");
  }
  std::string Scratch(const char* name) const { return mScratch.Path() + name; }

  ScratchFolder mScratch;
  TPtr<TLog> mLog;
  TSystemGlobals* mGlobals = nullptr;
};

TEST_F(ErrorReportTest, TheGlobalsStartWithTheDefaultsAndInstallTheReportHook) {
  EXPECT_EQ(TSystemGlobals::Instance(), mGlobals);
  EXPECT_EQ(mGlobals->mHandler, &DefaultErrorHandler);
  EXPECT_EQ(mGlobals->mQuietCount, 0);
  EXPECT_FALSE(mGlobals->mInformationOff);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_NE(FrameworkHooks().reportMessage, nullptr);
  DestroySingleton<TSystemGlobals>();
  EXPECT_EQ(FrameworkHooks().reportMessage, nullptr);
  EXPECT_EQ(TSystemGlobals::Instance(), nullptr);
}

TEST_F(ErrorReportTest, AnErrorOnTheMainThreadIsLoggedAndShownInABox) {
  ReportMessage(TString(u"Disk\n  full  \n\n"), kSeverityError);
  ReportMessage(TString(u"Careful"), kSeverityWarning);
  ASSERT_EQ(gBoxes.size(), 2u);
  EXPECT_EQ(gBoxes[0].text, "Disk\n  full  \n\n");
  EXPECT_EQ(gBoxes[0].title, "Error");
  EXPECT_EQ(gBoxes[0].buttons, std::vector<std::string>{"Ok"});
  EXPECT_EQ(gBoxes[1].title, "Warning");
  const std::string log = LogText();
  EXPECT_NE(log.find("\r\nError Message: Disk\r\nError Message: full\r\n\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Warning Message: Careful\r\n"), std::string::npos);
}

TEST_F(ErrorReportTest, InformationGoesToTheConsoleUnlessSwitchedOff) {
  CaptureOutput out(1, Scratch("out.txt"));
  ReportMessage(TString(u"For your information"), kSeverityInformation);
  mGlobals->mInformationOff = true;
  ReportMessage(TString(u"Not shown"), kSeverityInformation);
  const std::string text = out.Stop();
  EXPECT_EQ(text, "For your information\n");
  EXPECT_TRUE(gBoxes.empty());
}

TEST_F(ErrorReportTest, QuietReportsLogTheLinesAndPassThemOnAsInformation) {
  mGlobals->mQuietCount = 1;
  EXPECT_TRUE(IsQuiet());
  CaptureOutput out(1, Scratch("out.txt"));
  ReportMessage(TString(u"first line\nsecond line"), kSeverityError);
  ReportMessage(TString(u"a warning"), kSeverityWarning);
  const std::string text = out.Stop();
  EXPECT_TRUE(gBoxes.empty());
  EXPECT_EQ(text, "first line\nsecond line\na warning\n");
  const std::string log = LogText();
  EXPECT_NE(log.find("Error Message: first line\r\nError Message: second line\r\n"), std::string::npos);
  EXPECT_NE(log.find("Warning Message: a warning\r\n"), std::string::npos);
  // A box asked for directly stays closed while quiet, but its lines are
  // logged.
  ShowErrorMessageBox(TString(u"boxed"), TString(u"Error"), false, nullptr);
  EXPECT_TRUE(gBoxes.empty());
}

TEST_F(ErrorReportTest, AnInstalledHandlerReceivesItsContext) {
  struct Seen {
    void* context = nullptr;
    std::string message;
    std::int32_t severity = -1;
  };
  static Seen seen;
  int context = 0;
  mGlobals->mHandlerContext = &context;
  mGlobals->mHandler = [](void* ctx, const TString& message, std::int32_t severity) {
    seen = {ctx, Narrow(message), severity};
  };
  ReportMessage(TString(u"handled"), kSeverityWarning);
  EXPECT_EQ(seen.context, &context);
  EXPECT_EQ(seen.message, "handled");
  EXPECT_EQ(seen.severity, kSeverityWarning);
  EXPECT_TRUE(gBoxes.empty());
}

std::uint32_t ReportFromWorker(void*) {
  ReportMessage(TString(u"decoder failed"), kSeverityError);
  ReportMessage(TString(u"decoder slow"), kSeverityWarning);
  return 0;
}

TEST_F(ErrorReportTest, AnErrorFromAThreadWithoutTheMainIdNeverOpensABox) {
  CreateThreadManager();
  ASSERT_NE(TThreadManager::Instance(), nullptr);
  std::string text;
  {
    CaptureOutput out(1, Scratch("out.txt"));
    const std::uint32_t id = TThreadManager::Instance()->CreateThread(&ReportFromWorker, nullptr, -1, 2);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(TThreadManager::Instance()->WaitForThread(id));
    text = out.Stop();
  }
  DestroyThreadManager();
  EXPECT_TRUE(gBoxes.empty());
  EXPECT_EQ(text, "decoder failed\ndecoder slow\n");
  const std::string log = LogText();
  EXPECT_NE(log.find("System: Error: decoder failed\r\nSystem: Warning: decoder slow\r\n"), std::string::npos)
      << log;
}

TEST_F(ErrorReportTest, WithoutAHookTheBoxIsALineOnTheErrorStream) {
  mGlobals->mBoxHook = nullptr;
  CaptureOutput err(2, Scratch("err.txt"));
  ReportMessage(TString(u"Something broke"), kSeverityError);
  ShowWarningMessageBox(TString(u"Mind the gap"), TString(u"Note"), nullptr);
  const std::string text = err.Stop();
  EXPECT_EQ(text, "Error: Something broke\nNote: Mind the gap\n");
}

TEST_F(ErrorReportTest, TheBugReportRequestIsExpandedAndAppended) {
  const std::string request = Narrow(GetBugReportRequest());
  EXPECT_EQ(request.rfind("\n\nPlease report this problem by sending a mail with the Log.txt,\n", 0), 0u);
  EXPECT_EQ(request.find("$M"), std::string::npos);
  const std::string address = Narrow(GetProductSupportEmail());
  ASSERT_FALSE(address.empty());
  EXPECT_EQ(request.substr(request.size() - address.size()), address);
  TStringArray buttons(TString(u"Retry"), TString(u"Cancel"));
  ShowErrorMessageBox(TString(u"Failed"), TString(u"Oops"), true, &buttons);
  ASSERT_EQ(gBoxes.size(), 1u);
  EXPECT_EQ(gBoxes[0].text, "Failed" + request);
  EXPECT_EQ(gBoxes[0].buttons, (std::vector<std::string>{"Retry", "Cancel"}));
}

TEST_F(ErrorReportTest, NoMemoryForTheBoxEndsItSilently) {
  gBoxThrows = true;
  EXPECT_NO_THROW(ReportMessage(TString(u"cannot show"), kSeverityError));
}

TEST_F(ErrorReportTest, WithoutTheGlobalsTheDefaultHandlerStillReports) {
  DestroySingleton<TSystemGlobals>();
  CaptureOutput err(2, Scratch("err.txt"));
  ReportMessage(TString(u"early failure"), kSeverityError);
  EXPECT_EQ(err.Stop(), "Error: early failure\n");
  EXPECT_NE(LogText().find("Error Message: early failure\r\n"), std::string::npos);
}

TEST(ErrorText, TheLastSystemErrorReadsAsText) {
  errno = ENOENT;
  EXPECT_EQ(GetLastErrorText().ToNarrow(3), std::string("No such file or directory"));
  errno = 0;
  EXPECT_EQ(GetLastErrorText().ToNarrow(3), std::string("Unknown error"));
  errno = 123456;
  EXPECT_EQ(GetLastErrorText().ToNarrow(3), std::string("Unknown error 123456"));
}

std::vector<std::string> gChanged;

TEST_F(ErrorReportTest, FileChangesReachTheListenersUnlessExcluded) {
  gChanged.clear();
  int data = 0;
  AddFileListener(
      [](void* d, const TString& path) {
        EXPECT_NE(d, nullptr);
        gChanged.push_back(Narrow(path));
      },
      &data);
  AddExcludedPath(TString(u"/quiet/"));
  NotifyFileChange(TString(u"/loud/a.txt"));
  NotifyFileChange(TString(u"/quiet/"));
  NotifyFileChange(TString(u"/QUIET/inner/b.txt"));
  NotifyFileChange(TString(u"/quieter/c.txt"));
  EXPECT_EQ(gChanged, (std::vector<std::string>{"/loud/a.txt", "/quieter/c.txt"}));
  // The file layer reports through the same path.
  gChanged.clear();
  ASSERT_TRUE(CreateFolder(TString::FromNarrow(Scratch("made/").c_str(), 3), false));
  EXPECT_FALSE(gChanged.empty());
}

TEST_F(ErrorReportTest, TerminateApplicationRunsTheCallbacksAndExitsWithOne) {
  AddExitCallback([] { std::fputs("callback one\n", stderr); });
  AddExitCallback([] { std::fputs("callback two\n", stderr); });
  EXPECT_EXIT(TerminateApplication(), ::testing::ExitedWithCode(1), "callback one\ncallback two");
}

}  // namespace
