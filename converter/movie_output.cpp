#include "converter/movie_output.h"

#include <cerrno>
#include <cstddef>

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

// Why the entry at `path`, which the movie would replace, is not trusted.
std::string ReplaceRefusal(const std::string& path) {
  const bool link = platformEntryKind(path.c_str(), false) == PlatformEntryKind::kLink;
  return std::string("another user's ") + (link ? "link" : "file") + " in a shared folder is not replaced";
}

// The file a movie at `destination` replaces, found as a writer opening the
// destination would find it: the destination itself, or, when it is a link,
// the entry at the end of its chain of links, each link's target read from
// the folder the link is in.  `links` receives the links of the chain, in
// order.  A chain that ends at no entry (a dangling link, a loop, a link
// that cannot be read) gives the destination, whose link the movie then
// replaces.
std::string ReplacedFile(const std::string& destination, std::vector<std::string>& links) {
  std::string path = destination;
  for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
    const PlatformEntryKind kind = platformEntryKind(path.c_str(), false);
    if (kind == PlatformEntryKind::kNone) break;
    if (kind != PlatformEntryKind::kLink) return path;
    char target[kPathCapacity];
    if (!platformReadLink(path.c_str(), target, sizeof target)) break;
    links.push_back(path);
    const std::size_t slash = path.rfind('/');
    path = target[0] == '/' || slash == std::string::npos ? std::string(target)
                                                          : path.substr(0, slash + 1) + target;
  }
  links.clear();
  return destination;
}

}  // namespace

TMovieOutput::TMovieOutput(const TString& destination)
    : mShown(destination),
      mDestination(destination.ToNarrow(0)),
      mTarget(ReplacedFile(mDestination, mLinks)),
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
  if (!platformNameFitsFolder(mTarget.c_str(), &error)) {
    mRefusal = SystemErrorText(error);
    return refused;
  }
  for (const std::string& link : mLinks) {
    if (!TrustedEntry(link)) {
      mRefused = link;
      mRefusal = "another user's link in a shared folder is not followed";
      return refused;
    }
  }
  if (!TrustedEntry(mTarget)) {
    mRefused = mTarget;
    mRefusal = ReplaceRefusal(mTarget);
    return refused;
  }
  // QuickTime starts and the movie's line is printed before the file is
  // made, as when the writer makes it.
  mWriter = TPtr<TQuickTimeVideoFile>(new TQuickTimeVideoFile);
  const Kumu::Result_t prepared = mWriter->PrepareOpen(mShown);
  if (prepared.Failure()) return prepared;
  // Hidden, in the folder of the file it replaces.  No other thread runs
  // yet (the decoder components and the encoder start later), so the
  // signals held back in this thread while the file is made and named
  // for removal are held back for the whole process.
  const std::size_t slash = mTarget.rfind('/');
  const std::string before =
      (slash == std::string::npos ? std::string() : mTarget.substr(0, slash + 1)) + ".dcp2mov-";
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
  const PlatformEntryKind kind = platformEntryKind(mTarget.c_str(), true);
  if (kind == PlatformEntryKind::kFolder ||
      (kind != PlatformEntryKind::kNone && !platformMayWrite(mTarget.c_str())))
    return refused;
  return Kumu::RESULT_OK;
}

std::string TMovieOutput::Keep() {
  if (!TrustedEntry(mTarget)) {
    mRefused = mTarget;
    return ReplaceRefusal(mTarget);
  }
  platformCopyPermissionsToOpenFile(mTarget.c_str(), mFile);
  int error = 0;
  if (!platformRename(mTemporary.c_str(), mTarget.c_str(), &error)) return SystemErrorText(error);
  mKept = true;
  platformCancelRemovalOnAbnormalEnd(mRemovalToken);
  return std::string();
}
