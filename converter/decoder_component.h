// One decoder worker of the conversion run: a thread that waits for a
// frame, decodes its JPEG 2000 data, converts it to 8-bit RGB and signals
// completion.  The run hands a frame over with StartDecode and reads the
// result and the output only after the done event fired.
#pragma once

#include <atomic>
#include <cstdint>

#include "converter/frame_decoding.h"
#include "framework/arrays.h"
#include "framework/sync.h"
#include "mxf/KM_error.h"

struct TFrameSize {
  std::uint32_t width;
  std::uint32_t height;
};

class TDecoderThreadComponent {
 public:
  // Starts the worker thread (through the thread manager, without a logical
  // id, at the highest priority).
  TDecoderThreadComponent();
  // Stops the worker thread and waits until it has ended.
  ~TDecoderThreadComponent();
  TDecoderThreadComponent(const TDecoderThreadComponent&) = delete;
  TDecoderThreadComponent& operator=(const TDecoderThreadComponent&) = delete;

  // The bit depths the track gives for its three components (0: not given);
  // a frame of another depth is refused.  Set before the first StartDecode.
  void SetExpectedBitDepths(const std::uint32_t depths[3]);

  // Hands a frame to the worker: stores the input, then sets the start event.
  // Without a worker thread the frame is decoded here, before the call
  // returns, and the done event is set all the same.
  void StartDecode(TFrameSize size, const std::uint8_t* data, std::uint32_t bytes);

  TEvent& GetDoneEvent() { return mDoneEvent; }
  Kumu::Result_t GetResult() const { return mResult; }
  // Why the last decode failed (read, like the result, after the done event).
  const TFrameStop& GetStop() const { return mStop; }
  // The RGB rows (GetSize() bytes each, GetHeight() of them).  They are
  // written over the decoded image's planes, so they stay only until the
  // next StartDecode.
  const std::uint8_t* GetPixels() const { return mOutputPixels; }
  std::uint32_t GetSize() const { return mOutputRowSize; }
  std::uint32_t GetWidth() const { return mOutputWidth; }
  std::uint32_t GetHeight() const { return mOutputHeight; }

  // Decodes the current input into the output (on the worker thread).
  Kumu::Result_t DecodeFrame();
  // Converts the decoded image into the output, over the image's own
  // planes (the last step of DecodeFrame).
  Kumu::Result_t ConvertColors();

 private:
  static std::uint32_t ThreadProc(void* component);

  // Input.
  std::uint32_t mExpectedWidth = 0;
  std::uint32_t mExpectedHeight = 0;
  const std::uint8_t* mFrameData = nullptr;
  std::uint32_t mFrameSize = 0;
  std::uint32_t mExpectedDepths[3] = {0, 0, 0};
  // The decoded frame, kept with its planes from frame to frame.
  Codec::ImageBuffer mImage;
  // Output.
  const std::uint8_t* mOutputPixels = nullptr;
  std::uint32_t mOutputRowSize = 0;
  std::uint32_t mOutputWidth = 0;
  std::uint32_t mOutputHeight = 0;
  Kumu::Result_t mResult = Kumu::RESULT_FALSE;
  TFrameStop mStop;
  // Hand-over.
  TEvent mStartEvent;
  TEvent mDoneEvent;
  std::atomic<std::int32_t> mBusy{0};
  std::atomic<std::int32_t> mRunning{0};
  std::uint32_t mThreadId = 0;  // 0: no thread could be started
};
