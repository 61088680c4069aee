#include "converter/movie_output.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <utility>

#include "converter/results.h"
#include "platform/abnormal_end.h"
#include "platform/file_system.h"

namespace {

constexpr std::size_t kPathCapacity = 4096;

// The most links followed from the destination: as many as the system
// follows before it gives up (ELOOP).
constexpr int kMaxLinksFollowed = 40;

// The folder of the entry at `path`: "." for a bare name.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Whether the entry at `path` may be followed or replaced by this user.  In
// a folder with the sticky bit that others may write into (as /tmp), anyone
// may put a link or a file at a name someone else will use, so there only
// this user's entries and those of the folder's owner are trusted: another
// user's link could send the movie onto a third user's file, and another
// user's file is not this user's to replace.  Anything is trusted in other
// folders, and a missing entry is.
bool TrustedEntry(const std::string& path) {
  std::uint32_t folderOwner = 0;
  std::uint32_t owner = 0;
  if (!platformIsSharedStickyFolder(FolderOf(path).c_str(), &folderOwner)) return true;
  if (!platformOwnerOf(path.c_str(), &owner)) return true;
  return owner == platformUserId() || owner == folderOwner;
}

// Whether the system lets this user replace the entry at `path`: in a
// folder with the sticky bit, whoever may write into it, only the entry's
// owner, the folder's owner and a user who may act as any file's owner may
// rename another file over it.  A missing entry may always be replaced.
bool SystemLetsReplace(const std::string& path) {
  std::uint32_t folderOwner = 0;
  std::uint32_t owner = 0;
  if (!platformIsStickyFolder(FolderOf(path).c_str(), &folderOwner)) return true;
  // A folder at the name is refused as such when the movie is begun.
  if (platformEntryKind(path.c_str(), false) == PlatformEntryKind::kFolder) return true;
  if (!platformOwnerOf(path.c_str(), &owner)) return true;
  const std::uint32_t user = platformUserId();
  return owner == user || folderOwner == user || platformMayActAsAnyFileOwner();
}

// Why the movie may not replace the entry at `path` (empty when it may):
// another user's entry in a shared folder is not trusted, and one the
// system would not let this user replace would stop the run only at the
// rename, after every frame was converted.
std::string ReplaceRefusal(const std::string& path) {
  const bool trusted = TrustedEntry(path);
  if (trusted && SystemLetsReplace(path)) return std::string();
  const std::string entry =
      platformEntryKind(path.c_str(), false) == PlatformEntryKind::kLink ? "link" : "file";
  if (!trusted) return "another user's " + entry + " in a shared folder is not replaced";
  return "only its owner or the folder's owner may replace this " + entry + " in a sticky folder";
}

// The link-free path of the folder above the link-free folder `folder`
// ("" is the current folder).
std::string ParentOf(const std::string& folder) {
  if (folder.empty()) return "..";
  if (folder == "/") return folder;
  if (folder == ".." || (folder.size() > 3 && folder.compare(folder.size() - 3, 3, "/..") == 0))
    return folder + "/..";
  const std::size_t slash = folder.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : folder.substr(0, slash);
}

// The entry `name` of the link-free folder `folder`.
std::string EntryOf(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder == "/" ? folder + name : folder + "/" + name;
}

}  // namespace

// Walks the path one name at a time, as the system does, but follows each
// link itself: the link's target is walked in its place, read from the
// folder the link is in (an absolute one starts again at "/"), and "." and
// ".." apply to the link-free folder reached so far.  A name is shown as
// reached: the text it is read from, up to it, where a link's target is
// joined to the text of the link's folder, and the text after a folder's
// link goes on as it was.  The links of the folders are checked as they are
// met; those from the name on are only gathered, since a chain at the name
// that ends at no entry (a dangling link, a loop, a link that cannot be
// read) is not followed at all: the movie replaces the link at the name.  A
// path the system could not follow either (a missing folder, a file in the
// middle, too many links) is left as it was given, for the writer to fail
// on.
TMovieOutput::TPath TMovieOutput::Follow(const std::string& destination) {
  // A text being walked: the destination, or a link's target joined to the
  // text of its folder; `at` is where the names not walked yet begin.
  struct TText {
    std::string text;
    std::size_t at;
  };
  std::vector<TText> texts{{destination, 0}};
  std::string folder = !destination.empty() && destination[0] == '/' ? "/" : "";  // link-free
  std::vector<TLink> chain;  // the link at the name and those it leads to
  // Whether the name that ends at `stop` of the last text is the movie's:
  // nothing follows it there nor in the texts of the links it is walked for.
  const auto atName = [&texts](std::size_t stop) {
    if (stop != texts.back().text.size()) return false;
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
      if (texts[i].at != texts[i].text.size()) return false;
    }
    return true;
  };
  for (int followed = 0;;) {
    TText& walked = texts.back();
    while (walked.at < walked.text.size() && walked.text[walked.at] == '/') ++walked.at;
    const std::size_t stop = std::min(walked.text.find('/', walked.at), walked.text.size());
    const std::string name = walked.text.substr(walked.at, stop - walked.at);
    const bool last = atName(stop);
    if (name.empty() && !last) {
      // The target of a folder's link is walked: on with the text after it.
      texts.pop_back();
      continue;
    }
    if (name.empty() || name == "." || name == "..") {
      // Only a text that ends with a slash has an empty name, at its end.
      if (name == "..") folder = ParentOf(folder);
      walked.at = stop;
      if (last) return {folder.empty() ? std::string(".") : folder, walked.text, chain, {}};
      continue;
    }
    const std::string path = EntryOf(folder, name);
    const PlatformEntryKind kind = platformEntryKind(path.c_str(), false);
    if (kind == PlatformEntryKind::kLink) {
      const TLink link{path, walked.text.substr(0, stop)};
      const bool ofTheName = last || !chain.empty();
      // A folder's link is judged before it is read, so that no untrusted
      // link is left to the system because its target could not be read.
      if (!ofTheName && !TrustedEntry(path)) return {destination, destination, {}, link.shown};
      // Room for the longest target a link can hold.
      char target[kPathCapacity + 1];
      if (++followed > kMaxLinksFollowed || !platformReadLink(path.c_str(), target, sizeof target)) break;
      if (ofTheName) chain.push_back(link);
      const bool absolute = target[0] == '/';
      TText next{absolute ? std::string(target) : walked.text.substr(0, walked.at) + target,
                 absolute ? 0 : walked.at};
      if (absolute) folder = "/";
      walked.at = stop;
      texts.push_back(std::move(next));
      continue;
    }
    if (last) {
      if (kind == PlatformEntryKind::kNone && !chain.empty()) break;
      return {path, walked.text.substr(0, stop), chain, {}};
    }
    if (kind != PlatformEntryKind::kFolder) break;
    folder = path;
    walked.at = stop;
  }
  if (!chain.empty()) return {chain.front().path, chain.front().shown, {}, {}};
  return {destination, destination, {}, {}};
}

TMovieOutput::TMovieOutput(const TString& destination)
    : mShown(destination),
      mDestination(destination.ToNarrow(0)),
      mTarget(Follow(mDestination)),
      mRefused(mDestination) {}

TMovieOutput::~TMovieOutput() {
  if (mWriter) mWriter->Close();
  mWriter = TPtr<TQuickTimeVideoFile>();
  if (!mKept && !mTemporary.empty()) platformRemoveFile(mTemporary.c_str());
  platformCancelRemovalOnAbnormalEnd(mRemovalToken);
  platformCloseFile(mFile);
}

TRunFailure TMovieOutput::Failure(const Kumu::Result_t& result, std::int64_t frame) const {
  if (!mRefusal.empty()) return {mRefused, frame, mRefusal};
  return {mDestination, frame,
          MovieCause(mDestination.c_str(), result, mWriter ? mWriter->SystemError() : 0)};
}

Kumu::Result_t TMovieOutput::Open(const std::string& input) {
  const Kumu::Result_t refused = ConverterFailure(kCategoryQuickTime, "Failed to create a new movie");
  if (platformSameFile(input.c_str(), mDestination.c_str())) {
    mRefusal = "the movie would replace the input file";
    return refused;
  }
  int error = 0;
  if (!platformNameFitsFolder(mTarget.file.c_str(), &error)) {
    mRefusal = SystemErrorText(error);
    return refused;
  }
  std::string refusedLink = mTarget.refusedLink;
  for (const TLink& link : mTarget.links) {
    if (refusedLink.empty() && !TrustedEntry(link.path)) refusedLink = link.shown;
  }
  if (!refusedLink.empty()) {
    mRefused = refusedLink;
    mRefusal = "another user's link in a shared folder is not followed";
    return refused;
  }
  mRefusal = TargetRefusal();
  if (!mRefusal.empty()) return refused;
  // QuickTime starts and the movie's line is printed before the file is
  // made, as when the writer makes it.
  mWriter = TPtr<TQuickTimeVideoFile>(new TQuickTimeVideoFile);
  const Kumu::Result_t prepared = mWriter->PrepareOpen(mShown);
  if (prepared.Failure()) return prepared;
  // Hidden, in the folder of the file it replaces.  No other thread runs
  // yet (the decoder components and the encoder start later), so the
  // signals held back in this thread while the file is made and named
  // for removal are held back for the whole process.
  const std::size_t slash = mTarget.file.rfind('/');
  const std::string before =
      (slash == std::string::npos ? std::string() : mTarget.file.substr(0, slash + 1)) + ".dcp2mov-";
  char made[kPathCapacity];
  mFile = platformCreateFileRemovedOnAbnormalEnd(before.c_str(), ".part", made, sizeof made, &error,
                                                 &mRemovalToken);
  if (mFile < 0) {
    // Every name tried was taken; other failures are told by the
    // destination and its folder.
    if (error == EEXIST) mRefusal = "the movie file could not be created: " + SystemErrorText(error);
    return refused;
  }
  mTemporary = made;
  const Kumu::Result_t result = mWriter->OpenOnFile(mFile);
  if (result.Failure()) return result;
  const PlatformEntryKind kind = platformEntryKind(mTarget.file.c_str(), true);
  if (kind == PlatformEntryKind::kFolder ||
      (kind != PlatformEntryKind::kNone && !platformMayWrite(mTarget.file.c_str())))
    return refused;
  return Kumu::RESULT_OK;
}

std::string TMovieOutput::Keep() {
  if (std::string cause = TargetRefusal(); !cause.empty()) return cause;
  int error = 0;
  if (platformEntryKind(mTarget.file.c_str(), false) == PlatformEntryKind::kNone) {
    // A free name is taken only while it is still free: another user may
    // put a file there at any moment, which is then checked as any entry at
    // the name.
    if (platformRenameToFreeName(mTemporary.c_str(), mTarget.file.c_str(), &error)) return Kept();
    if (error != EEXIST && error != ENOTSUP) return SystemErrorText(error);
    if (std::string cause = TargetRefusal(); !cause.empty()) return cause;
  }
  platformCopyPermissionsToOpenFile(mTarget.file.c_str(), mFile);
  if (!platformRename(mTemporary.c_str(), mTarget.file.c_str(), &error)) return SystemErrorText(error);
  return Kept();
}

std::string TMovieOutput::TargetRefusal() {
  std::string cause = ReplaceRefusal(mTarget.file);
  if (!cause.empty()) mRefused = mTarget.shown;
  return cause;
}

std::string TMovieOutput::Kept() {
  mKept = true;
  platformCancelRemovalOnAbnormalEnd(mRemovalToken);
  return std::string();
}
