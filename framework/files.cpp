#include "framework/files.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/system_info.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/threads.h"

namespace {

constexpr char16_t kSeparator = u'/';

std::atomic<TFileChangeNotifier> gNotifier{nullptr};

// The 8-bit form of a path for the system calls.
std::string Narrow(const TString& path) {
  TByteArray bytes;
  path.ToNarrowArray(bytes, 0);
  return bytes.Size() > 0 ? std::string(bytes.Data(), static_cast<std::size_t>(bytes.Size())) : std::string();
}

TString Wide(const std::string& path) { return TString::FromNarrow(path.c_str(), 0); }

// A path without its trailing separators (the root stays "/").
std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char current[4096];
  if (!platformCurrentFolder(current, sizeof current)) return path;
  return std::string(current) + "/" + path;
}

void NotifyNarrow(const std::string& folder) { NotifyFolderChanged(NormalizeFolderPath(Wide(folder))); }

// The entries of a folder, sorted so that results do not depend on the
// file system's order.
bool ListSorted(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  const bool ok = platformListFolder(
      folder.c_str(),
      [](void* context, const char* name) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(name);
      },
      names);
  std::sort(names->begin(), names->end());
  return ok;
}

[[noreturn]] void ThrowExpanded(const char16_t* text) {
  throw TReadableException(TString::ExpandTemplates(TString(text)));
}

bool SameFolded(char16_t a, char16_t b) { return StringFoldCase(a) == StringFoldCase(b); }

bool WildcardAt(const char16_t* name, std::int32_t nameLength, const char16_t* pattern,
                std::int32_t patternLength) {
  // Greedy match with one back-track point for the last "*".
  std::int32_t n = 0, p = 0, starP = -1, starN = 0;
  while (n < nameLength) {
    if (p < patternLength && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < patternLength && (pattern[p] == u'?' || SameFolded(pattern[p], name[n]))) {
      ++p, ++n;
    } else if (starP >= 0) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < patternLength && pattern[p] == u'*') ++p;
  return p == patternLength;
}

}  // namespace

// --- notification -------------------------------------------------------------

TFileChangeNotifier SetFileChangeNotifier(TFileChangeNotifier notifier) {
  return gNotifier.exchange(notifier);
}

void NotifyFolderChanged(const TString& folder) {
  if (TFileChangeNotifier notify = gNotifier.load()) notify(folder);
}

// --- TFile ----------------------------------------------------------------------

TFile::TFile(const TString& path) : mPath(path) {}

TFile::~TFile() {
  if (mStream) std::fclose(mStream);
}

bool TFile::Open(std::int32_t mode) {
  if (mPath.IsEmpty()) return false;
  if (mStream) Close();
  mMode = mode;
  static const char* const kModes[5] = {"rb", "wb", "ab", "wb+", "ab+"};
  if (mode < 0 || mode > 4) return false;
  mStream = std::fopen(Narrow(mPath).c_str(), kModes[mode]);
  return mStream != nullptr;
}

void TFile::Close() {
  if (!mStream) return;
  const bool writing = IsOpenForWriting();
  std::fclose(mStream);
  mStream = nullptr;
  if (writing) NotifyFolderChanged(FileFolder(mPath));
}

bool TFile::Exists() const { return !mPath.IsEmpty() && FileExistsAt(mPath); }

void TFile::Read(void* buffer, std::size_t count) {
  if (count == 0) return;
  const std::size_t got = mStream ? std::fread(buffer, 1, count, mStream) : 0;
  if (got < count) ThrowExpanded(u"Unexpected end of file!");
}

void TFile::Write(const void* buffer, std::size_t count) {
  if (count == 0) return;
  const std::size_t put = mStream ? std::fwrite(buffer, 1, count, mStream) : 0;
  if (put < count) {
    ThrowExpanded(u"File I/O error: Please make sure that there is enough space available on the device!");
  }
}

void TFile::Flush() {
  if (!mStream || std::fflush(mStream) != 0) {
    ThrowExpanded(u"Failed to flush the file to disk. Probably the disk is full.");
  }
}

std::int64_t TFile::Tell() const { return mStream ? static_cast<std::int64_t>(ftello(mStream)) : -1; }

std::int64_t TFile::Size() const {
  if (mStream) {
    const off_t position = ftello(mStream);
    if (position < 0 || fseeko(mStream, 0, SEEK_END) != 0) return 0;
    const off_t size = ftello(mStream);
    fseeko(mStream, position, SEEK_SET);
    return size < 0 ? 0 : static_cast<std::int64_t>(size);
  }
  TFile reader(mPath);
  return reader.Open(kRead) ? reader.Size() : 0;
}

bool TFile::Delete() {
  if (mPath.IsEmpty()) return false;
  // unlink: a folder of that name is never removed.
  if (!platformRemoveFile(Narrow(mPath).c_str())) return false;
  NotifyFolderChanged(FileFolder(mPath));
  return true;
}

// --- existence --------------------------------------------------------------------

bool FolderExists(const TString& path) {
  if (path.IsEmpty()) return false;
  return platformEntryKind(Narrow(path).c_str(), true) == PlatformEntryKind::kFolder;
}

bool FileExistsAt(const TString& path) {
  if (path.IsEmpty()) return false;
  const PlatformEntryKind kind = platformEntryKind(Narrow(path).c_str(), true);
  return kind != PlatformEntryKind::kNone && kind != PlatformEntryKind::kFolder;
}

bool FileExists(const TString& path) { return FileExistsAt(path); }

// --- paths ------------------------------------------------------------------------

char16_t PathSeparator() { return kSeparator; }
// "\" is an ordinary character here: the only separator is "/".
char16_t AlternativePathSeparator() { return kSeparator; }
bool IsPathSeparator(char16_t c) { return c == kSeparator; }

TString NormalizeFolderPath(const TString& path) {
  TString result = path;
  if (!result.IsEmpty() && !result.EndsWith(kSeparator)) result.AppendChar(kSeparator);

  // Runs of separators become one ("//" means "/" on this system, also at
  // the start).
  const TString twoSeparators(u"//");
  const TString oneSeparator(u"/");
  while (result.Find(twoSeparators, 0) >= 0) result.Replace(twoSeparators, oneSeparator);

  // "/./" becomes "/" (repeated, so that "/././" goes too).
  const TString dotComponent(u"/./");
  while (result.Find(dotComponent, 0) >= 0) result.Replace(dotComponent, oneSeparator);

  // "name/../" goes away; ".." counts only as a whole component, so a
  // folder named "..x" stays.
  const TString simplified = result;
  const TString upComponent(u"/../");
  for (;;) {
    const std::int32_t p = result.Find(upComponent, 0);
    if (p < 0) break;
    std::int32_t q = p - 1;
    while (q >= 0 && result.CharAt(q) != kSeparator) --q;
    if (q < 0) {
      result = simplified;
      break;
    }
    TString shorter = result.SubString(0, q);
    shorter.Append(result.SubString(p + 3, result.Length()));
    result = shorter;
  }
  return result;
}

void ParentFolder(TString& folder) {
  if (folder.CountChar(kSeparator) < 2) return;
  std::int32_t last = folder.Length() - 1;
  while (last >= 0 && folder.CharAt(last) != kSeparator) --last;
  std::int32_t secondLast = last - 1;
  while (secondLast >= 0 && folder.CharAt(secondLast) != kSeparator) --secondLast;
  if (secondLast >= 0) folder = folder.SubString(0, secondLast + 1);
}

TString AppendPath(const TString& folder, const TString& relative) {
  if (relative.IsEmpty()) return folder;
  return NormalizeFolderPath(TString::Concat(folder, relative));
}

std::int32_t FolderDepth(const TString& folder) { return folder.CountChar(kSeparator) - 1; }

TString ExtractFileName(const TString& path) {
  for (std::int32_t i = path.Length() - 2; i >= 0; --i) {
    if (path.CharAt(i) == kSeparator) return path.SubString(i + 1, path.Length());
  }
  return path;
}

TString FileFolder(const TString& filePath) {
  TString folder = filePath;
  folder.RemoveLastNoCase(ExtractFileName(filePath));
  return NormalizeFolderPath(folder);
}

TString RemoveFileExtension(const TString& path) {
  for (std::int32_t i = path.Length() - 1; i >= 1; --i) {
    const char16_t c = path.CharAt(i);
    if (c == u'.') return path.SubString(0, i);
    if (c == kSeparator) return path;
  }
  return path;
}

bool PathEqualsNoCase(const TString& a, const TString& b) { return a.EqualsNoCase(b); }
bool PathDiffersNoCase(const TString& a, const TString& b) { return !a.EqualsNoCase(b); }

bool IsInsideFolder(const TString& folder, const TString& path) {
  return path.StartsWithNoCase(folder) && !path.EqualsNoCase(folder);
}

// --- patterns and searches --------------------------------------------------------

bool MatchesAnyPattern(const TString& name, const TStringArray& patterns) {
  for (std::int32_t k = 0; k < patterns.Count(); ++k) {
    const TString& pattern = patterns[k];
    if (pattern.EqualsText(u"*.*") || pattern.EqualsText(u"*")) return true;
    std::int32_t i = name.Length() - 1;
    std::int32_t j = pattern.Length() - 1;
    bool mismatch = false;
    for (; i >= 0 && j >= 0; --i, --j) {
      const char16_t p = pattern.CharAt(j);
      if (p != u'*' && !SameFolded(p, name.CharAt(i))) {
        mismatch = true;
        break;
      }
    }
    if (!mismatch && name.Length() >= pattern.Length() - 1) return true;
  }
  return false;
}

bool MatchesWildcard(const TString& name, const TString& pattern) {
  if (pattern.EqualsText(u"*.*")) return true;
  return WildcardAt(name.Text(), name.Length(), pattern.Text(), pattern.Length());
}

TStringArray FindFiles(const TString& folder, const TStringArray& patterns) {
  TStringArray result;
  TStringArray unique;
  for (std::int32_t k = 0; k < patterns.Count(); ++k) {
    bool seen = false;
    for (std::int32_t u = 0; u < unique.Count() && !seen; ++u) seen = unique[u].EqualsNoCase(patterns[k]);
    if (!seen) unique.Append(patterns[k]);
  }
  if (unique.Count() == 0) return result;
  const std::string base = WithoutTrailingSeparator(Narrow(NormalizeFolderPath(folder)));
  std::vector<std::string> names;
  if (base.empty() || !ListSorted(base, &names)) return result;
  for (std::int32_t k = 0; k < unique.Count(); ++k) {
    for (const std::string& name : names) {
      if (name.empty()) continue;
      const std::string full = base == "/" ? "/" + name : base + "/" + name;
      if (platformEntryKind(full.c_str(), true) == PlatformEntryKind::kFolder) continue;
      const TString wide = Wide(name);
      if (MatchesWildcard(wide, unique[k]) && MatchesAnyPattern(wide, unique)) result.Append(wide);
    }
  }
  return result;
}

TStringArray FindFolders(const TString& folder, const TString& pattern) {
  TStringArray result;
  const std::string base = WithoutTrailingSeparator(Narrow(NormalizeFolderPath(folder)));
  std::vector<std::string> names;
  if (base.empty() || !ListSorted(base, &names)) return result;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    const std::string full = base == "/" ? "/" + name : base + "/" + name;
    if (platformEntryKind(full.c_str(), true) != PlatformEntryKind::kFolder) continue;
    const TString wide = Wide(name);
    if (MatchesWildcard(wide, pattern)) result.Append(wide);
  }
  return result;
}

// --- folders ----------------------------------------------------------------------

namespace {

bool CreateFolderWith(const TString& folder, bool withParents, std::uint32_t permissions) {
  const TString normal = NormalizeFolderPath(folder);
  if (normal.IsEmpty()) return false;
  if (FolderExists(normal)) return true;
  if (withParents && FolderDepth(normal) >= 2) {
    TString parent = normal;
    ParentFolder(parent);
    if (!CreateFolderWith(parent, true, 0777)) return false;
  }
  const std::string path = WithoutTrailingSeparator(Narrow(normal));
  if (platformMakeFolder(path.c_str(), permissions, nullptr)) {
    NotifyFolderChanged(normal);
    return true;
  }
  return FolderExists(normal);
}

bool DeleteTree(const std::string& path) {
  // The folder itself may be a link: the link goes, never what it points to.
  const PlatformEntryKind kind = platformEntryKind(path.c_str(), false);
  if (kind == PlatformEntryKind::kNone) return false;
  if (kind != PlatformEntryKind::kFolder) {
    if (!platformRemoveFile(path.c_str())) return false;
    NotifyNarrow(ParentOf(path));
    return true;
  }
  if (platformRemoveFolder(path.c_str())) {
    NotifyNarrow(ParentOf(path));
    return true;
  }
  // Read-only folders: the owner needs the rights to list and remove.
  platformMakeFolderAccessible(path.c_str());
  std::vector<std::string> names;
  if (!ListSorted(path, &names)) return false;
  for (const std::string& name : names) {
    const std::string entry = path + "/" + name;
    if (platformEntryKind(entry.c_str(), false) == PlatformEntryKind::kFolder) {
      if (!DeleteTree(entry)) return false;
    } else {
      // Files, links (never followed) and anything else: unlink.
      if (!platformRemoveFile(entry.c_str())) return false;
      NotifyNarrow(path);
    }
  }
  if (!platformRemoveFolder(path.c_str())) return false;
  NotifyNarrow(ParentOf(path));
  return true;
}

}  // namespace

bool CreateFolder(const TString& folder, bool withParents) {
  return CreateFolderWith(folder, withParents, 0777);
}

bool CreatePrivateFolder(const TString& folder) {
  const TString normal = NormalizeFolderPath(folder);
  if (normal.IsEmpty()) return false;
  if (FolderDepth(normal) >= 2) {
    TString parent = normal;
    ParentFolder(parent);
    if (!CreateFolderWith(parent, true, 0777)) return false;
  }
  const std::string path = WithoutTrailingSeparator(Narrow(normal));
  if (platformMakeFolder(path.c_str(), 0700, nullptr)) NotifyFolderChanged(normal);
  return platformIsOwnFolder(path.c_str());
}

bool DeleteFolderTree(const TString& folder) {
  const TString normal = NormalizeFolderPath(folder);
  if (!FolderExists(normal) || FolderDepth(normal) <= 0) return false;
  return DeleteTree(WithoutTrailingSeparator(Narrow(normal)));
}

// --- trash ------------------------------------------------------------------------

namespace {

// Where an item went in the trash, to bring it back.
struct TrashedItem {
  std::string original;
  std::string file;
  std::string info;
};

std::string EncodeTrashPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string TrashInfoText(const std::string& original) {
  const PlatformLocalTime now = platformLocalTime();
  char date[64];
  std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", now.year, now.month, now.day, now.hour,
                now.minute, now.second);
  return "[Trash Info]\nPath=" + EncodeTrashPath(original) + "\nDeletionDate=" + date + "\n";
}

bool MakePrivateFolders(const std::string& trash) {
  const TString folder = NormalizeFolderPath(Wide(trash));
  return CreatePrivateFolder(AppendPath(folder, TString(u"files"))) &&
         CreatePrivateFolder(AppendPath(folder, TString(u"info")));
}

// Moves `path` into the trash folder `trash`; false (nothing moved) when
// it cannot.  *crossDevice tells that the trash lies on another file system.
bool MoveIntoTrash(const std::string& path, const std::string& trash, TrashedItem* item, bool* crossDevice) {
  *crossDevice = false;
  if (!MakePrivateFolders(trash)) return false;
  const std::string name = BaseNameOf(path);
  const std::string info = TrashInfoText(path);
  for (int n = 1; n < 10000; ++n) {
    const std::string entry = n == 1 ? name : name + "." + std::to_string(n);
    const std::string infoPath = trash + "/info/" + entry + ".trashinfo";
    const std::string filePath = trash + "/files/" + entry;
    if (platformEntryKind(filePath.c_str(), false) != PlatformEntryKind::kNone) continue;
    if (!platformCreateNewFile(infoPath.c_str(), info.data(), info.size())) {
      if (platformEntryKind(infoPath.c_str(), false) != PlatformEntryKind::kNone) continue;
      return false;
    }
    int error = 0;
    if (platformRename(path.c_str(), filePath.c_str(), &error)) {
      *item = {path, filePath, infoPath};
      return true;
    }
    platformRemoveFile(infoPath.c_str());
    *crossDevice = error == 18 /* EXDEV */;
    return false;
  }
  return false;
}

// The top folder of the file system that holds `path`.
std::string MountTopOf(const std::string& path) {
  std::uint64_t device = 0;
  if (!platformDeviceOf(path.c_str(), &device)) return std::string();
  std::string top = path;
  while (top != "/") {
    const std::string parent = ParentOf(top);
    std::uint64_t parentDevice = 0;
    if (!platformDeviceOf(parent.c_str(), &parentDevice) || parentDevice != device) break;
    top = parent;
  }
  return top;
}

bool MoveToTrash(const std::string& given, TrashedItem* item) {
  const std::string path = WithoutTrailingSeparator(Absolute(given));
  if (path == "/" || platformEntryKind(path.c_str(), false) == PlatformEntryKind::kNone) return false;
  const TString userTrash = UserTrashFolder();
  bool crossDevice = false;
  if (!userTrash.IsEmpty() &&
      MoveIntoTrash(path, WithoutTrailingSeparator(Narrow(userTrash)), item, &crossDevice)) {
    return true;
  }
  if (!crossDevice) return false;
  // Another file system: its own top folder's ".Trash-<uid>".
  const std::string top = MountTopOf(ParentOf(path));
  if (top.empty()) return false;
  const std::string trash =
      (top == "/" ? std::string() : top) + "/.Trash-" + std::to_string(platformUserId());
  return MoveIntoTrash(path, trash, item, &crossDevice);
}

bool RestoreFromTrash(const TrashedItem& item) {
  if (!platformRename(item.file.c_str(), item.original.c_str(), nullptr)) return false;
  platformRemoveFile(item.info.c_str());
  return true;
}

bool CopyTree(const std::string& from, const std::string& to) {
  switch (platformEntryKind(from.c_str(), false)) {
    case PlatformEntryKind::kFile:
      return platformCopyFile(from.c_str(), to.c_str());
    case PlatformEntryKind::kLink: {
      char target[4096];
      return platformReadLink(from.c_str(), target, sizeof target) && platformMakeLink(target, to.c_str());
    }
    case PlatformEntryKind::kFolder: {
      if (!platformMakeFolder(to.c_str(), 0777, nullptr)) return false;
      std::vector<std::string> names;
      if (!ListSorted(from, &names)) return false;
      for (const std::string& name : names) {
        if (!CopyTree(from + "/" + name, to + "/" + name)) return false;
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

TString UserDataFolder() {
  const char* data = platformEnvironment("XDG_DATA_HOME");
  if (data && data[0] == '/') return NormalizeFolderPath(TString::FromNarrow(data, 0));
  const char* home = platformEnvironment("HOME");
  if (!home || home[0] != '/') home = platformUserDatabaseHome();
  if (!home || home[0] != '/') return TString();
  return AppendPath(NormalizeFolderPath(TString::FromNarrow(home, 0)), TString(u".local/share"));
}

TString UserTrashFolder() {
  const TString data = UserDataFolder();
  return data.IsEmpty() ? TString() : AppendPath(data, TString(u"Trash"));
}

bool DeleteFileToRecycleBin(const TString& path) {
  TrashedItem item;
  if (!MoveToTrash(Narrow(path), &item)) return false;
  NotifyNarrow(ParentOf(item.original));
  return true;
}

bool CopyFileWithShell(const TString& from, const TString& to) {
  const std::string source = WithoutTrailingSeparator(Absolute(Narrow(from)));
  const std::string target = WithoutTrailingSeparator(Absolute(Narrow(to)));
  if (source.empty() || target.empty() || source == target) return false;
  if (platformEntryKind(source.c_str(), false) == PlatformEntryKind::kNone) return false;
  // A folder copied into itself would never end.
  if (target.compare(0, source.size() + 1, source + "/") == 0) return false;

  TrashedItem trashed;
  bool replaced = false;
  if (platformEntryKind(target.c_str(), false) != PlatformEntryKind::kNone) {
    if (!MoveToTrash(target, &trashed)) return false;
    replaced = true;
  }
  if (!CopyTree(source, target)) {
    // Remove what was copied and bring the old target back.
    if (platformEntryKind(target.c_str(), false) != PlatformEntryKind::kNone) DeleteTree(target);
    if (replaced) RestoreFromTrash(trashed);
    return false;
  }
  NotifyNarrow(ParentOf(target));
  return true;
}

TString ModuleFolder() {
  static const TString* const folder = [] {
    const TString program = GetModuleFilePath();
    TString result;
    if (!program.IsEmpty()) {
      TString candidate = FileFolder(program);
      if (FolderExists(candidate)) result = candidate;
    }
    if (result.IsEmpty()) {
      char current[1025];
      if (platformCurrentFolder(current, sizeof current)) {
        result = NormalizeFolderPath(TString::FromNarrow(current, 0));
      }
    }
    return new TString(result);
  }();
  return *folder;
}

bool IsAnotherInstanceRunning() {
  char path[4096];
  if (!platformProgramPath(path, sizeof path)) return false;
  struct Search {
    std::string name;
    std::uint32_t self;
    bool found = false;
  } search{BaseNameOf(path), platformProcessId()};
  if (search.name.empty()) return false;
  platformEachProcess(
      [](void* context, std::uint32_t pid) {
        auto* s = static_cast<Search*>(context);
        if (s->found || pid == s->self) return;
        char name[4096];
        bool shortName = false;
        if (!platformProcessProgramName(pid, name, sizeof name, &shortName)) return;
        if (shortName) {
          s->found = s->name.compare(0, kPlatformShortProcessNameLength, name) == 0;
        } else {
          s->found = s->name == name;
        }
      },
      &search);
  return search.found;
}
