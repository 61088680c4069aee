// Files, paths and folders.
//
// Paths are TString values with "/" separators ("\" is an ordinary
// character).  Folder paths are kept in a normal form with one trailing "/"
// (NormalizeFolderPath).  File failures raise TReadableException with
// readable texts; folder operations report failure by their result.  Every
// operation that changes a folder's contents reports the folder to the
// installed file-change notifier.
#pragma once

#include <cstdint>
#include <cstdio>

#include "framework/arrays.h"
#include "framework/tstring.h"

// --- file-change notification ------------------------------------------------

// Called with the folder whose contents a file operation changed.
using TFileChangeNotifier = void (*)(const TString& folder);
// Installs the notifier (null: none); returns the previous one.
TFileChangeNotifier SetFileChangeNotifier(TFileChangeNotifier notifier);
// Reports `folder` to the notifier, if any.
void NotifyFolderChanged(const TString& folder);

// --- TFile --------------------------------------------------------------------

class TFile {
 public:
  enum : std::int32_t {
    kRead = 0,        // "rb"
    kWrite = 1,       // "wb", truncating
    kAppend = 2,      // "ab"
    kReadWrite = 3,   // "wb+", truncating
    kReadAppend = 4,  // "ab+"
  };

  explicit TFile(const TString& path);
  ~TFile();
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;

  // False for an empty path; stores the mode; true when the file opened.
  bool Open(std::int32_t mode);
  // Notifies the folder when open for writing; closes.
  void Close();
  bool IsOpen() const { return mStream != nullptr; }
  bool IsOpenForWriting() const { return IsOpen() && mMode >= 1 && mMode <= 4; }
  bool Exists() const;

  // Reads exactly `count` bytes; fewer: TReadableException "Unexpected end
  // of file!".
  void Read(void* buffer, std::size_t count);
  // Writes `count` bytes; fewer: TReadableException "File I/O error: Please
  // make sure that there is enough space available on the device!".
  void Write(const void* buffer, std::size_t count);
  // Failure: TReadableException "Failed to flush the file to disk. Probably
  // the disk is full.".
  void Flush();
  std::int64_t Tell() const;
  // Open: the size with the position kept; closed: the size a reader sees,
  // 0 when it cannot be opened.
  std::int64_t Size() const;
  // Removes the file (never a folder); notifies its folder on success.
  bool Delete();

  const TString& GetPath() const { return mPath; }
  void SetPath(const TString& path) { mPath = path; }
  std::int32_t Mode() const { return mMode; }

 private:
  std::FILE* mStream = nullptr;
  TString mPath;
  std::int32_t mMode = 3;
};

// --- existence ----------------------------------------------------------------

// False for an empty path; true for a folder (a link to one counts).
bool FolderExists(const TString& path);
// True for something that exists and is not a folder.
bool FileExistsAt(const TString& path);
bool FileExists(const TString& path);

// --- paths --------------------------------------------------------------------

// "/" separators, one trailing "/", no doubled separators (a leading pair
// is kept), no "/./", and "name/.." components resolved (".." only as a
// whole component; a path whose ".." has no folder before it is left as
// it was).
TString NormalizeFolderPath(const TString& path);
// In place: cuts the last folder name when the path has two separators or
// more ("/a/b/" -> "/a/").
void ParentFolder(TString& folder);
// NormalizeFolderPath(folder + relative); the folder alone for an empty
// relative part.
TString AppendPath(const TString& folder, const TString& relative);
// Separators minus one: 0 for the root "/".
std::int32_t FolderDepth(const TString& folder);
char16_t PathSeparator();
char16_t AlternativePathSeparator();
bool IsPathSeparator(char16_t c);
// The folder of a file path, normalised.
TString FileFolder(const TString& filePath);
// The part after the last separator (a trailing separator stays with the
// name); the whole path when there is none.
TString ExtractFileName(const TString& path);
// Cuts from the last "." of the last path element on; unchanged when that
// element has none (a dot in unit 0 does not count).
TString RemoveFileExtension(const TString& path);
bool PathEqualsNoCase(const TString& a, const TString& b);
bool PathDiffersNoCase(const TString& a, const TString& b);
// `path` starts with `folder` (ignoring case) and is not equal to it.
bool IsInsideFolder(const TString& folder, const TString& path);

// --- patterns and searches ----------------------------------------------------

// The name-suffix test of the settings patterns: for each pattern, "*.*"
// and "*" match; otherwise both are compared from their ends, "*" matching
// any one unit, other units equal ignoring case, and the name at least as
// long as the pattern minus one ("settings.XML" matches "*.xml", "xml" does
// not).
bool MatchesAnyPattern(const TString& name, const TStringArray& patterns);
// Folder-search wildcards: "*" any run of units, "?" any one unit, case
// ignored; "*.*" matches every name, also one without a dot.
bool MatchesWildcard(const TString& name, const TString& pattern);
// Names of the files (not folders) in `folder` matching the patterns (each
// pattern once), pattern by pattern, names sorted.  Sub-folders are not
// searched.
TStringArray FindFiles(const TString& folder, const TStringArray& patterns);
// Names of the sub-folders of `folder` matching `pattern`, sorted; "." and
// ".." are left out.
TStringArray FindFolders(const TString& folder, const TString& pattern);

// --- folders and shell operations ----------------------------------------------

// True when the folder exists afterwards; with parents, missing parents are
// made first.
bool CreateFolder(const TString& folder, bool withParents);
// Creates a folder only this user may enter (0700), with missing parents
// made normally; true only when the folder is then a real folder (not a
// link) owned by this user.
bool CreatePrivateFolder(const TString& folder);
// Deletes the folder and everything in it.  Files, links and other entries
// are unlinked; a symbolic link is never followed (a link to a folder
// outside the tree loses the link only, and a link given as the folder is
// itself removed); read-only files and folders are deleted too.  False when
// the folder does not exist, is a root ("/"), or something stays.
bool DeleteFolderTree(const TString& folder);
// Copies a file or a folder with its contents to `to`.  An existing target
// first goes to the trash (failure: false); when the copy then fails, the
// partial copy is removed and the target is brought back.
bool CopyFileWithShell(const TString& from, const TString& to);
// Moves a file or folder into the user's trash (freedesktop Trash).  It is
// never deleted outright: false when it cannot be moved.
bool DeleteFileToRecycleBin(const TString& path);
// The program's folder (normalised, computed once): the folder of the
// program file when it exists, else the current folder.
TString ModuleFolder();
// Whether another process runs the same program file name.
bool IsAnotherInstanceRunning();
// The user's data folder ($XDG_DATA_HOME, else ~/.local/share), normalised;
// empty when there is no home.
TString UserDataFolder();
// The trash folder of the user ($XDG_DATA_HOME/Trash, else
// ~/.local/share/Trash), normalised.
TString UserTrashFolder();
