// Operating-system services the framework needs, named for what they do.
// This is the only place that calls the system directly; the POSIX/Linux
// implementations live in system.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

// Size of a memory page in bytes.
std::size_t platformPageSize();

// Asks the system to back the whole 2 MB pages inside [p, p + bytes) with
// large pages, so that a large buffer is mapped in a few faults rather than
// one per page.  A hint: nothing changes where the system cannot.
void platformAdviseLargePages(void* p, std::size_t bytes);

// Has the system supply the whole pages inside [p, p + bytes) now, in one
// call, as the first writes to them would one page at a time: for a fresh
// block that is written whole anyway, the same pages at a lower cost.  The
// contents stay as they are.  A hint: nothing changes where the system cannot.
void platformPrefault(void* p, std::size_t bytes);

// Has the system back this process's memory with ordinary pages only, large
// pages asked for by platformAdviseLargePages or by a library included (the
// setting is inherited by child processes).  Where a large page costs far
// more to supply and clear than the pages it replaces (as on virtual
// machines whose host backs a fresh large page on first touch), this cuts
// the system time of a program that touches much fresh memory.  False when
// the system refuses.
bool platformDeclineLargePages();

// Has the memory allocator serve blocks of up to 64 MB from its heaps and
// keep freed memory for later blocks instead of returning it to the system
// at once: a program that allocates and frees large frame buffers again and
// again then has their pages supplied and cleared once, not on every frame.
void platformKeepFreedMemory();

// Milliseconds of a monotonic clock (never goes back, unaffected by changes
// of the wall-clock time).  Only differences are meaningful.
std::uint64_t platformMonotonicMs();

// The operating system's id of the calling thread (never 0).
std::uint32_t platformCurrentThreadId();

// Local calendar date and time of day.
struct PlatformLocalTime {
  std::int32_t year, month, day;      // month 1-12, day 1-31
  std::int32_t hour, minute, second;  // 0-23, 0-59, 0-60
};
PlatformLocalTime platformLocalTime();

// Thread-local storage slots holding one pointer per thread (null in every
// thread until set).  platformTlsAlloc returns false when the system has no
// free slot.
using PlatformTlsKey = std::uint32_t;
bool platformTlsAlloc(PlatformTlsKey* key);
void platformTlsFree(PlatformTlsKey key);
void* platformTlsGet(PlatformTlsKey key);
bool platformTlsSet(PlatformTlsKey key, void* value);

// Makes sure the process may keep at least `count` files open, raising its
// soft limit when it is lower (never above the hard limit).  False when the
// limit cannot be read or raised; the thread's last system error (the one
// perror reports) then says why.
bool platformEnsureOpenFileLimit(std::uint64_t count);
