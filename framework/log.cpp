#include "framework/log.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/console.h"
#include "framework/exceptions.h"
#include "framework/files.h"
#include "framework/folders.h"
#include "framework/framework_hooks.h"
#include "framework/system_info.h"
#include "framework/text.h"
#include "platform/abnormal_end.h"
#include "platform/file_system.h"
#include "platform/raw_io.h"
#include "platform/system.h"

namespace {

// Set while the calling thread writes a line, so that a write it causes
// meanwhile (an exception made inside the log) is dropped instead of
// re-entering the log.
thread_local bool tWritingNow = false;

TPtr<TLog> gApplicationLog;

// How often an append looks for the file at the log's path again when it
// keeps finding another one there (each time, another run has just cut
// the log), and how often a cut looks for the file to cut.
constexpr int kReplacedRetries = 8;

// The application log as the crash handler sees it.
std::atomic<bool> gCrashEcho{false};
char gCrashPath[4096];

std::uint64_t MonotonicClock() { return platformMonotonicMs(); }

// Zero-terminated UTF-8 copy of a TString.
void ToPathBytes(const TString& text, TByteArray& bytes) {
  text.ToNarrowArray(bytes, 3);
  bytes.EnsureSize(bytes.Size() + 1);
  bytes[bytes.Size() - 1] = 0;
}

[[noreturn]] void ThrowLogError(const char16_t* text) {
  throw TReadableException(TString::ExpandTemplates(TString(text)));
}

const char16_t kWriteFailed[] =
    u"File I/O error: Please make sure that there is enough space available on the device!";

// Length of `text` (size bytes) without a UTF-8 sequence cut off at its end.
std::size_t WholeUtf8Length(const char* text, std::size_t size) {
  std::size_t start = size;
  // Step back over continuation bytes to the lead byte of the last sequence.
  while (start > 0 && size - start < 4 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start == 0) return size;
  const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
  std::size_t need = 1;
  if (lead >= 0xF0) {
    need = 4;
  } else if (lead >= 0xE0) {
    need = 3;
  } else if (lead >= 0xC0) {
    need = 2;
  }
  return size - (start - 1) < need ? start - 1 : size;
}

// Appends `text` with each bare line feed in it as CR LF, as every line of
// the file ends.
void AppendWithCrLf(TString& entry, const TString& text) {
  if (text.CountChar(u'\n') == 0) {
    entry.Append(text);
    return;
  }
  const std::int32_t length = text.Length();
  std::int32_t from = 0;
  for (std::int32_t i = 0; i < length; ++i) {
    if (text.CharAt(i) != u'\n' || (i > 0 && text.CharAt(i - 1) == u'\r')) continue;
    entry.Append(text.SubString(from, i));
    entry.AppendText(u"\r\n");
    from = i + 1;
  }
  entry.Append(text.SubString(from, length));
}

void WriteLogHook(const char* category, const TString& text) {
  if (TLog* log = TLog::Instance()) log->WriteText(category, text);
}

// The log's lock, on two bytes of the file, both taken exclusively (which
// needs only a descriptor open for writing, as every append has).  Every
// append passes through the turnstile (takes kTurnByte and lets it go at
// once), then holds kFileByte for its write, so appends exclude each other
// also where the file system works out O_APPEND's end per client (NFS); a
// cut holds the turnstile from before it waits for kFileByte until it is
// done.  So a cut waits for the appends under way, never for those that
// follow them.
constexpr std::uint64_t kTurnByte = 0;
constexpr std::uint64_t kFileByte = 1;

// Takes the log's lock through `fd`, keeping the turnstile for a cut
// (`cut`), waiting at most `waitMs` for its two parts together.
PlatformLock LockLog(int fd, bool cut, std::uint32_t waitMs) {
  const std::uint64_t start = waitMs ? platformMonotonicMs() : 0;
  const PlatformLock turn = platformRawLockExclusive(fd, kTurnByte, waitMs);
  if (turn != PlatformLock::kHad) return turn;
  if (!cut) platformRawUnlock(fd, kTurnByte);
  const std::uint64_t spent = waitMs ? platformMonotonicMs() - start : 0;
  const PlatformLock file = platformRawLockExclusive(
      fd, kFileByte, spent < waitMs ? static_cast<std::uint32_t>(waitMs - spent) : 0);
  if (cut && file != PlatformLock::kHad) platformRawUnlock(fd, kTurnByte);
  return file;
}

// Lets the lock LockLog took go (an append's turnstile is let go already).
void UnlockLog(int fd, bool cut) {
  platformRawUnlock(fd, kFileByte);
  if (cut) platformRawUnlock(fd, kTurnByte);
}

// The exclusive lock of a cut on the descriptor `fd` of the log, waited for
// at most `waitMs`; released and the descriptor closed when the scope ends.
class CutLock {
 public:
  CutLock(int fd, std::uint32_t waitMs) : mFd(fd), mLock(LockLog(fd, true, waitMs)) {}
  ~CutLock() {
    if (mLock == PlatformLock::kHad) UnlockLog(mFd, true);
    platformRawClose(mFd);
  }
  CutLock(const CutLock&) = delete;
  CutLock& operator=(const CutLock&) = delete;
  PlatformLock Result() const { return mLock; }

 private:
  int mFd;
  PlatformLock mLock;
};

// Whether `name` is the name of a cut's new file for the log `logName`:
// the log's name, ".cut-", then the random letters and digits.
bool IsCutFileName(const char* name, const char* logName) {
  const std::size_t length = std::strlen(logName);
  if (std::strncmp(name, logName, length) != 0 || std::strncmp(name + length, ".cut-", 5) != 0) return false;
  const char* random = name + length + 5;
  std::size_t count = 0;
  for (; random[count]; ++count) {
    if (!std::isalnum(static_cast<unsigned char>(random[count]))) return false;
  }
  return count == kPlatformUnusedNameCharacters;
}

// The folder part of `path` with its final '/', or "" for a bare name.
std::string FolderOf(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? std::string(path, static_cast<std::size_t>(slash + 1 - path)) : std::string();
}

// Whether the system lets this process rename a file over the log at
// `path`: in a sticky folder only the log's owner, the folder's owner and
// a process that may act as the log's owner may.  False also when the log
// or its folder cannot be described.
bool SystemLetsReplaceLog(const char* path) {
  const std::string folder = FolderOf(path);
  PlatformEntryInfo folderInfo;
  PlatformEntryInfo logInfo;
  return platformDescribeEntry(kPlatformCurrentFolder, folder.empty() ? "." : folder.c_str(), true,
                               &folderInfo) &&
         platformDescribeEntry(kPlatformCurrentFolder, path, false, &logInfo) &&
         platformSystemLetsReplace(folderInfo, logInfo);
}

struct CutFileSearch {
  const char* logName;
  std::string folder;
  std::vector<std::string> found;
};

void CollectCutFile(void* context, const char* name) {
  CutFileSearch& search = *static_cast<CutFileSearch*>(context);
  if (IsCutFileName(name, search.logName)) search.found.push_back(search.folder + name);
}

// How often a cut copies what was appended to the log since it last looked
// after the rename before it stops; and how often it copies and syncs what
// was appended before the rename, after which it gives up on a log that
// keeps growing, so that a slow disk costs the cutting run a few syncs, not
// one for every line the others write meanwhile.
constexpr int kCatchUpRounds = 64;
constexpr int kSyncedRounds = 4;

// Copies the bytes of `in` from `from` up to `to` to the end of `out` (a
// descriptor that appends), each part of `buffer`'s size in one write.
bool CopyToEnd(int in, int out, std::uint64_t from, std::uint64_t to, TByteArray& buffer) {
  const auto capacity = static_cast<std::uint64_t>(buffer.Size());
  while (from < to) {
    const std::uint64_t part = std::min(to - from, capacity);
    if (!platformRawReadAt(in, buffer.Data(), part, from) ||
        !platformRawAppendWhole(out, buffer.Data(), part))
      return false;
    from += part;
  }
  return true;
}

// Before the rename: brings the cut's new file `out` up to date with the
// log `in`, of which it holds all up to *from.  Appends that did not wait
// for the cut's lock (a cut that was stopped or slow holds it longer than
// they wait) land in the log it is about to replace.  It syncs `out`, looks
// whether the log has grown, copies what was added and syncs again, until a
// look after a sync finds nothing new, so that the rename follows the last
// look at once, not after a flush of the copied bytes.  *from is then the
// log's length.  False when the log was still growing after kSyncedRounds
// copies, shrank (a run emptied it), or could not be read, copied or
// synced.
bool CatchUpBeforeRename(int in, int out, std::uint64_t* from, TByteArray& buffer) {
  for (int round = 0;; ++round) {
    std::uint64_t size = 0;
    if (!platformRawSync(out) || !platformRawOpenFileSize(in, &size) || size < *from) return false;
    if (size == *from) return true;
    if (round == kSyncedRounds || !CopyToEnd(in, out, *from, size, buffer)) return false;
    *from = size;
  }
}

// After the rename: appends to the new log `out` what landed in the
// replaced log `in` after its first `from` bytes, until the replaced log's
// length stays as it was (at most kCatchUpRounds times).  An append that
// found the replaced file at the log's path just before the rename writes
// into it after; the cut, which still holds the replaced file and its lock,
// takes that over.  Other runs may append to the new log already, so the
// copy goes in whole writes to its end, under its lock taken as an append
// takes it: waited for at most *lockWaitMs, and when another held it all
// that time, the copy goes in without it and the run waits for no lock
// again.  What is still lost is an append that found the replaced file at
// the log's path before the rename and writes after the cut's last look.
void CopyLandedAfterRename(int in, int out, std::uint64_t from, TByteArray& buffer,
                           std::uint32_t* lockWaitMs) {
  PlatformLock lock = PlatformLock::kNone;
  bool lockTried = false;
  for (int round = 0; round < kCatchUpRounds; ++round) {
    std::uint64_t size = 0;
    if (!platformRawOpenFileSize(in, &size) || size <= from) break;
    if (!lockTried) {
      lockTried = true;
      lock = LockLog(out, false, *lockWaitMs);
      *lockWaitMs = lock == PlatformLock::kBusy ? 0 : TLog::kLockWaitMs;
    }
    if (!CopyToEnd(in, out, from, size, buffer)) break;
    from = size;
  }
  if (lock == PlatformLock::kHad) UnlockLog(out, false);
}

}  // namespace

bool AppendToSharedLog(int* fd, const char* path, const void* data, std::size_t size,
                       std::uint32_t lockWaitMs, bool* lockBusy) {
  if (lockBusy) *lockBusy = false;
  for (int attempt = 0; *fd >= 0; ++attempt) {
    // A lock not had in time (its holder may be a run stopped with Ctrl-Z),
    // or a file system without locks: the line is appended all the same
    // rather than lost (a cut that held the lock meanwhile copies it into
    // its new file).
    const PlatformLock lock = LockLog(*fd, false, lockWaitMs);
    const bool locked = lock == PlatformLock::kHad;
    if (lockBusy) *lockBusy = lock == PlatformLock::kBusy;
    if (lock == PlatformLock::kBusy) lockWaitMs = 0;
    // Under the lock no cut can replace the file between this check and the
    // write.  When the check never holds (a file system that gives no stable
    // identities), the line goes to the file just opened.
    if (platformRawIsFileAtPath(*fd, path) || attempt == kReplacedRetries) {
      const bool written = platformRawAppendWhole(*fd, data, size);
      if (locked) UnlockLog(*fd, false);
      return written;
    }
    if (locked) UnlockLog(*fd, false);
    platformRawClose(*fd);
    *fd = platformRawOpenForAppend(path, false);
  }
  return false;
}

TLog::Clock TLog::DefaultClock() { return &MonotonicClock; }

TLog::TLog(const TString& folder, const TString& fileName, std::int32_t overwriteMode, bool echoToConsole)
    : mFolder(folder),
      mFileName(fileName),
      mClock(DefaultClock()),
      mOverwriteMode(overwriteMode),
      mEchoToConsole(echoToConsole) {
  mLastLineMs = mClock();
  mPath = mFolder;
  if (!mPath.IsEmpty() && !mPath.EndsWith(u'/')) mPath.AppendChar(u'/');
  mPath.Append(mFileName);
  ToPathBytes(mPath, mPathBytes);
}

TLog::~TLog() {
  const bool wasWriting = tWritingNow;
  tWritingNow = true;
  {
    TCriticalSectionLock lock(&mSection);
    if (mFd >= 0) {
      try {
        WriteLine("", "Closing log file...");
      } catch (...) {
      }
    }
    CloseFile();
  }
  tWritingNow = wasWriting;
}

TLog* TLog::Instance() { return gApplicationLog.Get(); }

void TLog::Write(const char* category, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(category, format, args);
  va_end(args);
}

void TLog::WriteV(const char* category, const char* format, va_list args) {
  char buffer[kFormatBufferSize];
  buffer[0] = 0;
  const int wanted = vsnprintf(buffer, sizeof buffer, format ? format : "", args);
  if (wanted < 0) {
    buffer[0] = 0;
  } else if (static_cast<std::size_t>(wanted) >= sizeof buffer) {
    // Cut: vsnprintf kept kFormatBufferSize - 1 bytes; drop a sequence it
    // split.
    buffer[WholeUtf8Length(buffer, sizeof buffer - 1)] = 0;
  }
  WriteMessage(category, buffer);
}

void TLog::WriteMessage(const char* category, const char* text) {
  if (tWritingNow) return;
  tWritingNow = true;
  try {
    TCriticalSectionLock lock(&mSection);
    if (mFd < 0) OpenFile();
    WriteLine(category ? category : "", text ? text : "");
  } catch (...) {
    // The line is lost; the exception has not been logged (the guard above
    // kept it out).
  }
  tWritingNow = false;
}

void TLog::WriteText(const char* category, const TString& text) {
  if (tWritingNow) return;
  TByteArray bytes;
  try {
    text.ToNarrowArray(bytes, 0);
    bytes.EnsureSize(bytes.Size() + 1);
    bytes[bytes.Size() - 1] = 0;
  } catch (...) {
    return;
  }
  WriteMessage(category, bytes.Data());
}

void TLog::SetEchoToConsole(bool echo) {
  TCriticalSectionLock lock(&mSection);
  mEchoToConsole = echo;
  if (this == gApplicationLog.Get()) gCrashEcho.store(echo);
}

bool TLog::IsEchoToConsole() const {
  TCriticalSectionLock lock(&mSection);
  return mEchoToConsole;
}

void TLog::OpenFile() {
  const char* path = mPathBytes.Data();
  const bool existed = FileExists(mPath);
  if (existed && mOverwriteMode == 0 && !mCutTried) {
    // Once a run: a cut that fails (a full device, say) leaves the log as it
    // was, and the run's lines go into the uncut log.
    mCutTried = true;
    std::uint64_t size = 0;
    if (platformRawFileSize(path, &size) && size > kCutThreshold) {
      try {
        CutFile();
      } catch (...) {
      }
    }
  }
  if (!mFolder.IsEmpty() && !FolderExists(mFolder)) CreateFolder(mFolder, true);
  mFd = platformRawOpenForAppend(path, mOverwriteMode != 0);
  mLastLineMs = mClock();
  // Without a file the header is not echoed either: every later line tries
  // to open the file again and would repeat it on the console.
  if (!mHeaderEnabled || mFd < 0) return;
  TString entry;
  if (mOverwriteMode == 0 && existed) entry.AppendText(u"\r\n\r\n\r\n\r\n");
  const TString rule = TString::Repeat(TString(u"="), 60);
  TString version(u"Version : ");
  version.Append(GetProductName());
  version.AppendChar(u' ');
  version.Append(GetVersionText());
  version.Append(GetAlphaOrBetaText());
  version.AppendText(u" (");
  version.Append(GetBuildDateText());
  version.AppendChar(u')');
  TString date(u"Date    : ");
  date.Append(DateText(TDate::Today()));
  TString time(u"Time    : ");
  time.Append(TimeText(TTime::Now()));
  TString os(u"OS      : ");
  os.Append(GetOsName());
  const TString* lines[] = {&rule, &version, &date, &time, &os, &rule};
  for (const TString* line : lines) AddLine(entry, TString(), *line);
  WriteEntry(entry);
}

void TLog::CutFile() {
  const char* path = mPathBytes.Data();
  // A log the system would not let this run replace (another user's in a
  // sticky folder) is not cut: the rename would be refused only after the
  // new file was written and synced.
  if (!SystemLetsReplaceLog(path)) return;
  for (int attempt = 0; attempt <= kReplacedRetries; ++attempt) {
    // Opened for reading and writing: a run that may not write the log
    // never replaces it.
    const int in = platformRawOpenExisting(path);
    if (in < 0) ThrowLogError(u"File I/O Error");
    const CutLock lock(in, mLockWaitMs);
    if (lock.Result() == PlatformLock::kBusy) {
      // Held by another (a run stopped during its cut, say): the cut is left
      // to a later run, and this run waits for the lock no more.
      mLockWaitMs = 0;
      return;
    }
    // The descriptor, open for writing, may hold the lock.  On a file system
    // that gives no locks the cut goes on without (as the appends do), so
    // that the log is still kept to its size.
    if (CutLockedFile(in, lock.Result() == PlatformLock::kHad)) return;
  }
  // The file kept being replaced: others have cut it.
}

bool TLog::CutLockedFile(int in, bool locked) {
  // Another run may have cut the log while this one waited for the lock: it
  // then holds the replaced file, and looks again at the one now there.
  const char* path = mPathBytes.Data();
  if (!platformRawIsFileAtPath(in, path)) return false;
  std::uint64_t size = 0;
  if (!platformRawOpenFileSize(in, &size)) ThrowLogError(u"File I/O Error");
  if (size <= kCutThreshold) return true;
  TByteArray tail(static_cast<std::int32_t>(kCutKeep));
  if (!platformRawReadAt(in, tail.Data(), kCutKeep, size - kCutKeep))
    ThrowLogError(u"Unexpected end of file!");
  // Under the exclusive lock no other cut is under way: a cut's file in
  // the folder was left by a run that was killed during its cut.
  if (locked) RemoveLeftCutFiles();

  // The tail goes to a new file that replaces the log in one rename, so
  // that a cut that fails half way leaves the old log as it was.  The new
  // file has a name of its own (a link or a file left under any name is
  // never opened) and the log's permissions.
  TString cutName = mPath;
  cutName.AppendText(u".cut-");
  TByteArray before;
  ToPathBytes(cutName, before);
  const std::size_t capacity = static_cast<std::size_t>(before.Size()) + kPlatformUnusedNameCharacters + 1;
  TByteArray made(static_cast<std::int32_t>(capacity));
  char* cutPath = made.Data();
  // An ending signal or a crash during the cut removes the file.
  int token = -1;
  const int out = platformCreateFileRemovedOnAbnormalEnd(kPlatformCurrentFolder, before.Data(), "", cutPath,
                                                         capacity, nullptr, &token);
  if (out < 0) ThrowLogError(u"File I/O Error");
  platformCopyPermissionsToOpenFile(path, out);
  // The new file's descriptor appends: once the file is the log, others
  // append to it too.
  std::uint64_t copied = size;
  const bool written = platformRawSetAppending(out) && platformRawWriteAll(out, tail.Data(), kCutKeep) &&
                       CatchUpBeforeRename(in, out, &copied, tail);
  const bool renamed = written && platformRawRename(cutPath, path);
  if (!renamed) platformRawRemove(cutPath);
  platformCancelRemovalOnAbnormalEnd(token);
  if (renamed) CopyLandedAfterRename(in, out, copied, tail, &mLockWaitMs);
  platformRawClose(out);
  if (!renamed) ThrowLogError(kWriteFailed);
  return true;
}

void TLog::RemoveLeftCutFiles() {
  TByteArray logName;
  ToPathBytes(mFileName, logName);
  CutFileSearch search{logName.Data(), {}, {}};
  search.folder = FolderOf(mPathBytes.Data());
  platformListFolder(search.folder.empty() ? "." : search.folder.c_str(), &CollectCutFile, &search);
  for (const std::string& file : search.found) {
    if (platformEntryKind(file.c_str(), false) == PlatformEntryKind::kFile) platformRemoveFile(file.c_str());
  }
}

void TLog::WriteEntry(const TString& entry) {
  if (mFd < 0 || entry.IsEmpty()) return;
  TByteArray bytes;
  entry.ToNarrowArray(bytes, 0);
  bool busy = false;
  const bool written = AppendToSharedLog(&mFd, mPathBytes.Data(), bytes.Data(),
                                         static_cast<std::size_t>(bytes.Size()), mLockWaitMs, &busy);
  // A lock not had in time is not waited for again until it is had again:
  // a holder that keeps it (a stopped run) costs the run one wait.
  mLockWaitMs = busy ? 0 : kLockWaitMs;
  if (!written) ThrowLogError(kWriteFailed);
}

void TLog::WriteLine(const char* category, const char* text) {
  TString entry;
  AddLine(entry, TString::FromNarrow(category, 0), TString::FromNarrow(text, 0));
  WriteEntry(entry);
}

void TLog::AddLine(TString& entry, const TString& cat, const TString& body) {
  if (mFd >= 0) {
    const std::uint64_t now = mClock();
    const bool separate = !cat.Equals(mLastCategory) || now - mLastLineMs > kSeparateAfterMs;
    if (separate) entry.AppendText(u"\r\n");
    if (!cat.IsEmpty()) {
      entry.Append(cat);
      entry.AppendText(u": ");
    }
    AppendWithCrLf(entry, body);
    entry.AppendText(u"\r\n");
    mLastCategory = cat;
    mLastLineMs = now;
  }
  if (mEchoToConsole) {
    TString echo = GetProductName();
    echo.AppendText(u" LOG> ");
    if (!cat.IsEmpty()) {
      echo.Append(cat);
      echo.AppendText(u": ");
    }
    echo.Append(body);
    WriteConsoleLine(echo);
  }
}

void TLog::CloseFile() noexcept {
  if (mFd < 0) return;
  platformRawClose(mFd);
  mFd = -1;
}

void SetApplicationLog(TLog* log) {
  gCrashPath[0] = 0;
  if (log) {
    TByteArray path;
    ToPathBytes(log->FilePath(), path);
    const std::size_t length = std::strlen(path.Data());
    if (length < sizeof gCrashPath) std::memcpy(gCrashPath, path.Data(), length + 1);
    gCrashEcho.store(log->IsEchoToConsole());
  }
  gApplicationLog.Reset(log);
  FrameworkHooks().writeLog = log ? &WriteLogHook : nullptr;
}

void OpenApplicationLog() {
  SetApplicationLog(new TLog(ApplicationDataFolder(), TString(u"Log.txt"), 0, true));
}

void CloseApplicationLog() { SetApplicationLog(nullptr); }

const char* LogCrashPath() { return gCrashPath; }
bool LogCrashEcho() { return gCrashEcho.load(std::memory_order_relaxed); }
