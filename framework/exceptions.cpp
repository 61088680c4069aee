#include "framework/exceptions.h"

#include "framework/framework_hooks.h"

namespace {
TString gOutOfMemoryText;
}

TReadableException::TReadableException(const TString& message) : mMessage(message) { Log(); }

TReadableException::TReadableException(const TReadableException& other)
    : std::exception(other), mMessage(other.mMessage) {}

TReadableException& TReadableException::operator=(const TReadableException& other) {
  if (this != &other) {
    std::exception::operator=(other);
    mMessage = other.mMessage;
    mNarrowReady = false;
  }
  return *this;
}

TReadableException::~TReadableException() = default;

void TReadableException::Log() const noexcept {
  auto write = FrameworkHooks().writeLog;
  if (!write) return;
  try {
    write("Exception", mMessage);
  } catch (...) {
  }
}

const char* TReadableException::what() const noexcept {
  if (!mNarrowReady) {
    try {
      mMessage.ToNarrowArray(mNarrow, 0);
      mNarrow.EnsureSize(mNarrow.Size() + 1);
      mNarrow.Data()[mNarrow.Size() - 1] = 0;
      mNarrowReady = true;
    } catch (...) {
      mNarrow.Free();
      return "";
    }
  }
  return mNarrow.Data() ? mNarrow.Data() : "";
}

TOutOfMemoryException::TOutOfMemoryException() : TReadableException(gOutOfMemoryText) {}

void SetOutOfMemoryText() {
  gOutOfMemoryText =
      TString::ExpandTemplates(TString(u"Out of Memory! Please try to free up some memory and try again."));
}

void ClearOutOfMemoryText() { gOutOfMemoryText.SetEmpty(); }

const TString& OutOfMemoryText() { return gOutOfMemoryText; }
