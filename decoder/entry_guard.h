// The guard around every entry operation of the decoders.
#pragma once

#include <cstdint>
#include <new>

#include "decoder/diagnostics.h"

namespace Codec {

// Runs one entry operation's work: a diagnostic thrown out of it is reported
// to the sink as an error; running out of memory, or any other exception,
// also ends the operation with -1 and nothing escapes to the caller.
template <typename Fn>
std::int32_t GuardedEntry(BDiagnOutput& out, Fn&& fn) {
  try {
    return fn();
  } catch (const BDiagnDescr& d) {
    out.Error(d);
  } catch (const std::bad_alloc&) {
    out.Error(J2k::Except_faultMalloc());
  } catch (...) {
  }
  return -1;
}

}  // namespace Codec
