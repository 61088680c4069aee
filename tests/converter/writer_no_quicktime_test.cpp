// Without QuickTime the first open prints the start-up notes and fails;
// QuickTime is not tried again in that process.  (Its own program: the
// start is tried once per process.)
#include <gtest/gtest.h>

#include "converter/quicktime_video_file.h"
#include "platform/quicktime/quicktime_faults.h"

TEST(WriterWithoutQuickTime, OpenFailsAndIsNotRetried) {
  qt::faults::Arm(qt::faults::Call::InitializeQTML, qt::noCodecErr);
  qt::faults::Arm(qt::faults::Call::EnterMovies, qt::noCodecErr);
  testing::internal::CaptureStderr();
  TPtr<TQuickTimeVideoFile> writer(new TQuickTimeVideoFile);
  Kumu::Result_t result = writer->Open(TString(u"/tmp/never.mov"));
  const std::string notes = testing::internal::GetCapturedStderr();
  EXPECT_EQ(notes,
            "Initializing QuickTime (QTML) FAILED (QuickTime might not be installed)...\n"
            "Initializing QuickTime (EnterMovies) FAILED (QuickTime might not be installed)...\n");
  EXPECT_EQ(result.Value(), -1);
  EXPECT_STREQ(result.Symbol(), "QuickTimeVideoFile");
  EXPECT_STREQ(result.Label(), "QuickTime 7.1 or higher must be installed");
  // Nothing armed any more, but the failed start stays: no new notes.
  qt::faults::Clear();
  testing::internal::CaptureStderr();
  result = writer->Open(TString(u"/tmp/never.mov"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_STREQ(result.Label(), "QuickTime 7.1 or higher must be installed");
  EXPECT_EQ(StartQuickTime(), 0);
}
