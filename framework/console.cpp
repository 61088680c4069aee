#include "framework/console.h"

#include <cstdio>

void WriteConsoleLine(const TString& text) {
  TByteArray bytes;
  text.ToNarrowArray(bytes, 0);
  // One more byte for the terminator.
  const std::int32_t length = bytes.Size();
  bytes.Resize(length + 1);
  bytes[length] = 0;
  std::puts(bytes.Data());
}

void WriteConsoleText(const char* text) { std::puts(text ? text : ""); }

void EnableLowFragmentationHeap() {
  // The runtime heap here has no low-fragmentation switch; it already keeps
  // small blocks in size classes.
}
