#include "framework/folders.h"

#include <mutex>

#include "framework/files.h"
#include "framework/system_info.h"
#include "framework/text.h"
#include "framework/thread_context.h"
#include "platform/file_system.h"
#include "platform/threads.h"

namespace {

// The kept folders live on the heap for the whole process, so that no
// string is released after the string system has stopped.
std::recursive_mutex gApplicationDataLock;
TString* gApplicationData = nullptr;
bool gCarryOverStarted = false;

std::mutex gTempLock;
TString* gTemp = nullptr;

void Keep(TString*& slot, const TString& value) {
  if (slot) {
    *slot = value;
  } else {
    slot = new TString(value);
  }
}

TString ProductText() { return GetProductName(); }

// The decimal digits of a text as a number; false for anything else.
bool ParseDecimal(const TString& text, std::uint32_t* value) {
  if (text.IsEmpty() || text.Length() > 10) return false;
  std::uint64_t n = 0;
  for (std::int32_t i = 0; i < text.Length(); ++i) {
    const char16_t c = text.CharAt(i);
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - u'0');
  }
  if (n > 0xFFFFFFFFu) return false;
  *value = static_cast<std::uint32_t>(n);
  return true;
}

}  // namespace

TString ApplicationDataFolder() {
  std::lock_guard<std::recursive_mutex> hold(gApplicationDataLock);
  if (!gCarryOverStarted) {
    gCarryOverStarted = true;
    CarryOverSettings();
  }
  if (gApplicationData) return *gApplicationData;
  const TString base = UserDataFolder();
  if (!base.IsEmpty() && CreateFolder(base, true)) {
    const TString product = AppendPath(base, ProductText());
    if (CreateFolder(product, true)) {
      const TString version = AppendPath(product, GetVersionText());
      if (CreateFolder(version, false) && FolderExists(version)) {
        Keep(gApplicationData, version);
        return version;
      }
    }
  }
  const TString fallback = ModuleFolder();
  Keep(gApplicationData, fallback);
  return fallback;
}

void ResetApplicationDataFolderForTesting() {
  std::lock_guard<std::recursive_mutex> hold(gApplicationDataLock);
  delete gApplicationData;
  gApplicationData = nullptr;
  gCarryOverStarted = false;
}

TString TempFolderName() {
  static const std::uint32_t pid = platformProcessId();
  std::int32_t context = TThreadContext::CurrentIndex();
  if (context == -1) context = 0;
  TString name = ProductText();
  name.AppendChar(u'-');
  name.Append(TString::FromInt(context));
  name.AppendChar(u'-');
  name.Append(TString::FormatValue(TString::DefaultUnsignedFormat(), pid));
  return name;
}

TString TempFolder() {
  std::lock_guard<std::mutex> hold(gTempLock);
  if (gTemp && FolderExists(*gTemp)) return *gTemp;
  const TString name = TempFolderName();
  const char* root = platformEnvironment("TMPDIR");
  TString rootFolder = NormalizeFolderPath(TString::FromNarrow(root && root[0] == '/' ? root : "/tmp", 0));
  const TString folder = AppendPath(rootFolder, name);
  if (CreatePrivateFolder(folder)) {
    Keep(gTemp, folder);
    return folder;
  }
  // The program's own "Temp" folder, still one sub-folder per process.
  const TString fallback = AppendPath(AppendPath(ModuleFolder(), TString(u"Temp")), name);
  CreatePrivateFolder(fallback);
  Keep(gTemp, fallback);
  return fallback;
}

void ForgetTempFolder() {
  std::lock_guard<std::mutex> hold(gTempLock);
  delete gTemp;
  gTemp = nullptr;
}

bool ProcessIsRunning(std::uint32_t pid) { return platformProcessExists(pid); }

std::int32_t RemoveStaleTempFoldersIn(const TString& root) {
  const TString folder = NormalizeFolderPath(root);
  if (!FolderExists(folder)) return 0;
  TString pattern = ProductText();
  pattern.AppendText(u"-*");
  const TStringArray names = FindFolders(folder, pattern);
  const std::uint32_t self = GetCurrentProcessIdentifier();
  std::int32_t deleted = 0;
  for (std::int32_t i = 0; i < names.Count(); ++i) {
    // product "-" context index "-" process id; anything else is not ours.
    const TStringArray parts = names[i].SplitAt(u'-');
    std::uint32_t index = 0, pid = 0;
    if (parts.Count() != 3 || !ParseDecimal(parts[1], &index) || !ParseDecimal(parts[2], &pid)) {
      continue;
    }
    if (pid == self || ProcessIsRunning(pid)) continue;
    const TString path = AppendPath(folder, names[i]);
    // Only real folders of this user: never a link, never someone else's.
    // (Asked without the trailing separator, which would follow a link.)
    TString entry = folder;
    entry.Append(names[i]);
    TByteArray narrow;
    entry.ToNarrowArray(narrow, 0);
    const std::int32_t length = narrow.Size();
    narrow.Resize(length + 1);
    narrow[length] = 0;
    if (!platformIsOwnFolder(narrow.Data())) continue;
    if (DeleteFolderTree(path)) ++deleted;
  }
  return deleted;
}

std::int32_t RemoveStaleTempFoldersBesideOwn() {
  TString root = TempFolder();
  ParentFolder(root);
  return RemoveStaleTempFoldersIn(root);
}

void RemoveStaleTempFolders() {
  if (IsAnotherInstanceRunning()) return;
  RemoveStaleTempFoldersBesideOwn();
}

std::int32_t CarryOverSettingsInto(const TString& current, std::int32_t major, std::int32_t minor,
                                   std::int32_t patch) {
  const TStringArray settingsPatterns(TString(u"*.xml"), TString(u"*.db"));
  if (FolderExists(current) && FindFiles(current, settingsPatterns).Count() > 0) return 0;

  TString product = current;
  ParentFolder(product);
  TStringArray versions;
  if (FolderExists(product)) versions = FindFolders(product, TString(u"*"));
  const TString currentName = ExtractFileName(current);
  TString currentVersion = currentName;
  if (currentVersion.EndsWith(u'/'))
    currentVersion.Remove(currentVersion.Length() - 1, currentVersion.Length());

  TString best;
  std::int32_t b1 = 0, b2 = 0, b3 = 0;
  for (std::int32_t i = 0; i < versions.Count(); ++i) {
    if (versions[i].Equals(currentVersion)) continue;
    TString numbers = versions[i];
    numbers.RemoveFirstNoCase(TString(u"V"));
    const TStringArray pieces = numbers.SplitAt(u'.');
    std::int32_t v[3] = {0, 0, 0};
    for (std::int32_t k = 0; k < 3 && k < pieces.Count(); ++k) {
      v[k] = TString::ToIntOr0(pieces[k], TString::DefaultIntegerFormat());
    }
    if (TripleLess(v[0], v[1], v[2], major, minor, patch) && TripleGreater(v[0], v[1], v[2], b1, b2, b3)) {
      best = versions[i];
      b1 = v[0], b2 = v[1], b3 = v[2];
    }
  }
  if (best.IsEmpty()) return 0;
  const TString source = AppendPath(product, best);

  TStringArray items;
  const TStringArray folders = FindFolders(source, TString(u"*"));
  for (std::int32_t i = 0; i < folders.Count(); ++i) {
    if (!folders[i].StartsWithText(TString(u"CrashBackups"))) items.Append(folders[i]);
  }
  const TStringArray files = FindFiles(source, TStringArray(TString(u"*.*")));
  const TStringArray copied(TString(u"*.db"), TString(u"*.xml"));
  for (std::int32_t i = 0; i < files.Count(); ++i) {
    if (MatchesAnyPattern(files[i], copied) || files[i].StartsWithText(TString(u"Template"))) {
      items.Append(files[i]);
    }
  }
  std::int32_t count = 0;
  for (std::int32_t i = 0; i < items.Count(); ++i) {
    TString from = source;
    from.Append(items[i]);
    TString to = NormalizeFolderPath(current);
    to.Append(items[i]);
    if (CopyFileWithShell(from, to)) ++count;
  }
  return count;
}

void CarryOverSettings() {
  const TString current = ApplicationDataFolder();
  CarryOverSettingsInto(current, GetVersionMajor(), GetVersionMinor(), GetVersionPatch());
}
