#include "converter/decoder_component.h"

#include "converter/colour_conversion.h"
#include "framework/thread_manager.h"

namespace {

// The thread manager's level for the operating system's highest priority.
constexpr std::int32_t kDecoderPriorityLevel = 4;

}  // namespace

TDecoderThreadComponent::TDecoderThreadComponent() {
  mRunning.exchange(1);
  mBusy.exchange(0);
  if (TThreadManager* manager = TThreadManager::Instance()) {
    mThreadId = manager->CreateThread(&TDecoderThreadComponent::ThreadProc, this,
                                      TThreadManager::kNoLogicalThread, kDecoderPriorityLevel);
  }
}

TDecoderThreadComponent::~TDecoderThreadComponent() {
  mRunning.exchange(0);
  mStartEvent.Set();
  // The thread may be in the middle of a frame; it touches this component
  // until it leaves its loop, so the component waits for it to end.
  if (mThreadId != 0) {
    if (TThreadManager* manager = TThreadManager::Instance()) manager->WaitForThread(mThreadId);
  }
}

void TDecoderThreadComponent::SetExpectedBitDepths(const std::uint32_t depths[3]) {
  for (int c = 0; c < 3; ++c) mExpectedDepths[c] = depths[c];
}

void TDecoderThreadComponent::StartDecode(TFrameSize size, const std::uint8_t* data, std::uint32_t bytes) {
  mExpectedWidth = size.width;
  mExpectedHeight = size.height;
  mFrameData = data;
  mFrameSize = bytes;
  if (mThreadId == 0) {
    mResult = DecodeFrame();
    mExpectedWidth = 0;
    mExpectedHeight = 0;
    mFrameData = nullptr;
    mFrameSize = 0;
    mDoneEvent.Set();
    return;
  }
  mStartEvent.Set();
}

std::uint32_t TDecoderThreadComponent::ThreadProc(void* argument) {
  auto* component = static_cast<TDecoderThreadComponent*>(argument);
  component->mBusy.exchange(1);
  while (component->mRunning.load() != 0) {
    component->mStartEvent.Wait(TEvent::kInfinite);
    if (component->mRunning.load() == 0) break;
    component->mResult = component->DecodeFrame();
    component->mExpectedWidth = 0;
    component->mExpectedHeight = 0;
    component->mFrameData = nullptr;
    component->mFrameSize = 0;
    component->mDoneEvent.Set();
  }
  component->mBusy.exchange(0);
  return 1;
}

Kumu::Result_t TDecoderThreadComponent::DecodeFrame() {
  TFrameFormat format;
  format.width = mExpectedWidth;
  format.height = mExpectedHeight;
  for (int c = 0; c < 3; ++c) format.bitDepth[c] = mExpectedDepths[c];
  const Kumu::Result_t decoded = DecodeFrameImage(mFrameData, mFrameSize, format, mImage, &mStop);
  if (decoded.Failure()) return decoded;
  return ConvertColors();
}

Kumu::Result_t TDecoderThreadComponent::ConvertColors() {
  TRgbFrame frame{nullptr, 0, 0, 0};
  const Kumu::Result_t result = ConvertXyzImageToRgbOverImage(mImage, mExpectedWidth, mExpectedHeight, frame);
  mOutputPixels = frame.data;
  mOutputRowSize = frame.rowSize;
  mOutputWidth = frame.width;
  mOutputHeight = frame.height;
  return result;
}
