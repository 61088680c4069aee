#include "framework/pending_services.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/utsname.h>

#include "framework/text.h"
#include "platform/raw_io.h"

namespace {

// The user's data folder: $XDG_DATA_HOME, else $HOME/.local/share.
TString UserDataFolder() {
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return TString::FromNarrow(xdg, 3);
  const char* home = getenv("HOME");
  if (home && home[0] == '/') {
    TString folder = TString::FromNarrow(home, 3);
    folder.AppendText(u"/.local/share");
    return folder;
  }
  return TString();
}

void AppendFolder(TString& folder, const TString& name) {
  if (!folder.EndsWith(u'/')) folder.AppendChar(u'/');
  folder.Append(name);
  folder.AppendChar(u'/');
}

}  // namespace

TString ServiceApplicationDataFolder() {
  TString folder = UserDataFolder();
  if (folder.IsEmpty()) folder = TString(u"./");
  AppendFolder(folder, GetProductName());
  AppendFolder(folder, GetVersionText());
  TByteArray path;
  folder.ToNarrowArray(path, 3);
  path.EnsureSize(path.Size() + 1);
  path[path.Size() - 1] = 0;
  platformRawCreateFolders(path.Data());
  return folder;
}

TString ServiceOperatingSystemName() {
  struct utsname names;
  if (uname(&names) != 0) return TString(u"Unknown Linux");
  TString name = TString::FromNarrow(names.sysname, 3);
  name.AppendChar(u' ');
  name.Append(TString::FromNarrow(names.release, 3));
  name.AppendText(u" (");
  name.Append(TString::FromNarrow(names.machine, 3));
  name.AppendChar(u')');
  return name;
}

void ServiceConsoleLine(const TString& text) {
  TByteArray bytes;
  text.ToNarrowArray(bytes, 0);
  bytes.EnsureSize(bytes.Size() + 1);
  bytes[bytes.Size() - 1] = 0;
  puts(bytes.Data());
}

void ServiceConsoleText(const char* text) { puts(text ? text : ""); }
