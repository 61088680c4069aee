// The application's log file "Log.txt" in the application-data folder.
//
// Every line carries a category; each run starts with a header block; a log
// that has grown past 4 MB is cut to its last 1 MB when it is opened; lines
// may be echoed to the console.  Lines end in CR LF and are UTF-8.
//
// Any thread may log.  One lock serialises whole lines, so concurrent
// threads never lose or interleave them; a thread that causes a log write
// while it is already writing one (an exception constructed inside the log,
// say) is not logged again - that guard is kept per operating-system thread.
// Several runs may share the file: each entry (the header block, a line with
// the blank line before it) goes into the file in one append, so entries of
// runs at the same time follow each other whole.  A run that cuts the log
// replaces the file by a new one while the other runs keep writing; so that
// no entry goes into the replaced file, every run appends under a lock on
// the file that excludes the other appends and the cut, and only once its
// descriptor is the file now at the log's path (it opens that file again
// when not), and the cut holds the lock from its check of the size until
// the new file is in place and what landed in the replaced file is copied.
// No run waits long for the log: a lock not had within kLockWaitMs is done
// without (the line is appended all the same, and a cut that held the lock
// meanwhile copies it into its new file, or, when it landed in the replaced
// file after the rename, appends it to the new log; the cut is left to a
// later run), and not waited for again until it is had again.  A cut is
// tried once a run; one that fails leaves the log as it was.  A run that may
// not both read and write the log, or that the system would not let replace
// it (another user's log in a sticky folder), does not cut it.  Only a
// regular file is used as the log: a FIFO or a device at its name is never
// opened, and the run goes on without its log.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "framework/arrays.h"
#include "framework/reference_countable.h"
#include "framework/sync.h"
#include "framework/tstring.h"

class TLog : public TReferenceCountable {
 public:
  // Sizes of the cut: a log longer than kCutThreshold bytes keeps only its
  // last kCutKeep bytes.
  static constexpr std::uint64_t kCutThreshold = 0x400000;
  static constexpr std::uint64_t kCutKeep = 0x100000;
  // Two lines further apart than this get a blank line between them.
  static constexpr std::uint64_t kSeparateAfterMs = 2000;
  // Size of the formatting buffer of Write (including the terminator).
  static constexpr std::size_t kFormatBufferSize = 4096;
  // The longest wait for the log's lock, in milliseconds.
  static constexpr std::uint32_t kLockWaitMs = 2000;

  // Milliseconds of a monotonic clock (tests inject their own).
  using Clock = std::uint64_t (*)();

  // `overwriteMode` 0 appends to an existing log (with the size cut and a
  // separator between runs), a positive value overwrites it.  The file is
  // not opened until the first line.
  TLog(const TString& folder, const TString& fileName, std::int32_t overwriteMode, bool echoToConsole);
  // Writes "Closing log file..." when the file is open, then closes it.
  ~TLog() override;

  // The application's log, or null.
  static TLog* Instance();

  // Formats with printf into kFormatBufferSize bytes (longer output is cut,
  // never in the middle of a UTF-8 sequence) and writes it as one line.
  void Write(const char* category, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void WriteV(const char* category, const char* format, va_list args);
  // Writes one line of 8-bit (UTF-8) text.  Never throws: a line that cannot
  // be written is lost.
  void WriteMessage(const char* category, const char* text);
  // The same for a TString.
  void WriteText(const char* category, const TString& text);

  void SetEchoToConsole(bool echo);
  bool IsEchoToConsole() const;

  // Whether the file is open; its full path.
  bool IsOpen() const { return mFd >= 0; }
  const TString& FilePath() const { return mPath; }

  // Test control: the clock that decides the blank lines.
  void SetClockForTesting(Clock clock) { mClock = clock ? clock : DefaultClock(); }
  static Clock DefaultClock();

 private:
  // Opens the file (cut, folder, header); throws TReadableException.
  void OpenFile();
  // Cuts an over-long log to its last kCutKeep bytes through a new file
  // renamed over it; the log stays whole when that fails (it throws then).
  void CutFile();
  // Cuts the file open as `in` when it is still the log and still too long;
  // the caller holds the exclusive lock on `in` when `locked` (else the
  // file system gives none).  False when `in` is no longer the file at the
  // log's path (another run cut it meanwhile).
  bool CutLockedFile(int in, bool locked);
  // Removes the cuts' new files that runs killed during their cut left in
  // the log's folder; the caller holds the exclusive lock.
  void RemoveLeftCutFiles();
  void WriteLine(const char* category, const char* text);
  // Adds one line to `entry` as the file takes it (the blank line that
  // separates it from the line before, the category, the text, CR LF) when
  // the file is open, and echoes it to the console when asked.
  void AddLine(TString& entry, const TString& category, const TString& text);
  // Writes `entry` (whole lines) to the file in one append.
  void WriteEntry(const TString& entry);
  void CloseFile() noexcept;

  TString mFolder;
  TString mFileName;
  TString mLastCategory;
  std::uint64_t mLastLineMs = 0;
  Clock mClock;
  std::int32_t mOverwriteMode;
  bool mEchoToConsole;
  bool mHeaderEnabled = true;
  bool mCutTried = false;
  // How long the next lock is waited for: 0 once a lock was not had in time.
  std::uint32_t mLockWaitMs = kLockWaitMs;
  TString mPath;
  // mPath as zero-terminated UTF-8, for the system calls.
  TByteArray mPathBytes;
  int mFd = -1;
  // Serialises whole lines (and the opening of the file).
  mutable TCriticalSection mSection;
};

// Creates the application's log ("Log.txt" in ApplicationDataFolder,
// appending, echo on), installs it as TLog::Instance and as the framework's
// log hook.
void OpenApplicationLog();
// Removes the log hook and releases the application's log (which writes its
// closing line).
void CloseApplicationLog();
// Installs `log` as the application's log (null: none).  OpenApplicationLog
// uses it; tests install logs of their own.
void SetApplicationLog(TLog* log);

// Appends `size` bytes in one write to the log at `path` through *fd (a
// descriptor of platformRawOpenForAppend), the way every run sharing the
// log does: under the log's lock, which excludes the other appends and the
// cut, and only once *fd is the file now at `path`.  When another run has
// cut the log meanwhile, *fd names the file that was replaced: it is closed
// and *fd becomes a new descriptor of the file at `path` (-1 when that
// cannot be opened).  The lock is waited for at most `lockWaitMs` (0: tried
// once); when it is not had (another holds it, the descriptor may not hold
// it, the file system gives none), the bytes are appended without it, and
// *lockBusy (when given) tells whether another held it.  False when
// nothing was written.  Only system calls and no allocation, so that the
// crash handler can use it from a signal handler.
bool AppendToSharedLog(int* fd, const char* path, const void* data, std::size_t size,
                       std::uint32_t lockWaitMs, bool* lockBusy = nullptr);

// What the crash handler needs to write into the log without the log's
// lock or allocation: the application log's path as zero-terminated UTF-8
// (empty when there is no application log), and whether it echoes to the
// console.  Readable from a signal handler.
const char* LogCrashPath();
bool LogCrashEcho();
