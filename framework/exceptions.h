// The framework's exceptions: a readable message that is logged under
// "Exception" the moment the exception is made from it.
#pragma once

#include <exception>

#include "framework/arrays.h"
#include "framework/tstring.h"

class TReadableException : public std::exception {
 public:
  // Stores the message and logs it.
  explicit TReadableException(const TString& message);
  // Copies carry the message; they are not logged again.
  TReadableException(const TReadableException& other);
  TReadableException& operator=(const TReadableException& other);
  ~TReadableException() override;

  const TString& Message() const noexcept { return mMessage; }
  // The message as UTF-8 text, kept in the exception itself.
  const char* what() const noexcept override;

  // Writes the message under "Exception" when the log exists; nothing that
  // goes wrong while logging escapes.
  void Log() const noexcept;

 private:
  TString mMessage;
  mutable TByteArray mNarrow;
  mutable bool mNarrowReady = false;
};

// Thrown when memory is exhausted; carries the out-of-memory text.
class TOutOfMemoryException : public TReadableException {
 public:
  TOutOfMemoryException();
  TOutOfMemoryException(const TOutOfMemoryException& other) = default;
};

// The out-of-memory text: set at start-up (with templates expanded), emptied
// at shutdown.
void SetOutOfMemoryText();
void ClearOutOfMemoryText();
const TString& OutOfMemoryText();
