#include "converter/movie_output.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <string>
#include <utility>

#include "converter/results.h"
#include "platform/abnormal_end.h"
#include "platform/file_system.h"

namespace {

constexpr std::size_t kPathCapacity = 4096;

// The most links followed from the destination: as many as the system
// follows before it gives up (ELOOP).
constexpr int kMaxLinksFollowed = 40;

// How often a name found taken, and free again at the next look, is tried
// again as a free name.
constexpr int kFreeNameTries = 8;

// A descriptor of the path's walk, closed when it goes.
class THeld {
 public:
  explicit THeld(int descriptor = -1) : mDescriptor(descriptor) {}
  ~THeld() { platformCloseFile(mDescriptor); }
  THeld(THeld&& other) noexcept : mDescriptor(std::exchange(other.mDescriptor, -1)) {}
  THeld& operator=(THeld&& other) noexcept {
    if (this != &other) {
      platformCloseFile(mDescriptor);
      mDescriptor = std::exchange(other.mDescriptor, -1);
    }
    return *this;
  }
  THeld(const THeld&) = delete;
  THeld& operator=(const THeld&) = delete;
  int Get() const { return mDescriptor; }
  int Release() { return std::exchange(mDescriptor, -1); }

 private:
  int mDescriptor;
};

// Whether the entry `entry` of the folder `folder` may be followed or
// replaced by this user.  In a folder with the sticky bit that others may
// write into (as /tmp), anyone may put a link or a file at a name someone
// else will use, so there only this user's entries and those of the
// folder's owner are trusted: another user's link could send the movie onto
// a third user's file, and another user's file is not this user's to
// replace.  An owner the user namespace does not map could be anyone, so
// it is neither.  Anything is trusted in other folders.
bool TrustedEntry(const PlatformEntryInfo& folder, const PlatformEntryInfo& entry) {
  if (!platformIsSharedStickyFolder(folder)) return true;
  if (platformIsUnmappedUser(entry.owner)) return false;
  return entry.owner == platformUserId() || entry.owner == folder.owner;
}

// Why the movie may not replace the entry `entry` of `folder` (empty when it
// may): another user's entry in a shared folder is not trusted, and one the
// system would not let this user replace would stop the run only at the
// rename, after every frame was converted.  A folder at the name is refused
// as such when the movie is begun.
std::string ReplaceRefusal(const PlatformEntryInfo& folder, const PlatformEntryInfo& entry) {
  const bool trusted = TrustedEntry(folder, entry);
  if (trusted && (entry.kind == PlatformEntryKind::kFolder || platformSystemLetsReplace(folder, entry)))
    return std::string();
  const std::string kind = entry.kind == PlatformEntryKind::kLink ? "link" : "file";
  if (!trusted) return "another user's " + kind + " in a shared folder is not replaced";
  return "only its owner or the folder's owner may replace this " + kind + " in a sticky folder";
}

}  // namespace

// Walks the path one name at a time, as the system does, holding each
// folder it reaches by a descriptor and each entry while it is looked at,
// and follows each link itself: the link's target is walked in its place,
// read from the folder the link is in (an absolute one starts again at
// "/"), and "." and ".." apply to the folder reached so far.  A name is
// shown as reached: the text it is read from, up to it, where a link's
// target is joined to the text of the link's folder, and the text after a
// folder's link goes on as it was.  The links of the folders are judged as
// they are met, before they are read; those from the name on are judged and
// gathered, since a chain at the name that ends at no entry (a dangling
// link, a loop, a link that cannot be read) is not followed at all: the
// movie replaces the link at the name.  A path the system could not follow
// either (a missing folder, a file in the middle, too many links) gives the
// system's error.
TMovieOutput::TPath TMovieOutput::Follow(const std::string& destination) {
  // A text being walked: the destination, or a link's target joined to the
  // text of its folder; `at` is where the names not walked yet begin.
  struct TText {
    std::string text;
    std::size_t at;
  };
  std::vector<TText> texts{{destination, 0}};
  TPath path;
  int error = 0;
  THeld folder(platformHoldEntry(kPlatformCurrentFolder, destination.rfind('/', 0) == 0 ? "/" : ".", &error));
  if (folder.Get() < 0) {
    path.error = error;
    return path;
  }
  // The link at the name, held in its folder: the movie replaces it when the
  // chain from it ends at no entry.
  THeld chainFolder;
  std::string chainName;
  std::string chainShown;
  const auto toChainStart = [&]() {
    TPath start;
    start.folder = chainFolder.Release();
    start.name = chainName;
    start.shown = chainShown;
    return start;
  };
  const auto toEntry = [&](std::string name, std::string shown) {
    path.folder = folder.Release();
    path.name = std::move(name);
    path.shown = std::move(shown);
    return std::move(path);
  };
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
    const bool inChain = chainFolder.Get() >= 0;
    if (name.empty() && !last) {
      // The target of a folder's link is walked: on with the text after it.
      texts.pop_back();
      continue;
    }
    if (name.empty() || name == "." || name == "..") {
      // Only a text that ends with a slash has an empty name, at its end.
      if (name == "..") {
        THeld parent(platformHoldEntry(folder.Get(), "..", &error));
        if (parent.Get() < 0) {
          if (inChain) return toChainStart();
          path.error = error;
          return path;
        }
        folder = std::move(parent);
      }
      walked.at = stop;
      if (last) return toEntry(".", walked.text);
      continue;
    }
    THeld entry(platformHoldEntry(folder.Get(), name.c_str(), &error));
    PlatformEntryInfo info;
    if (entry.Get() >= 0 && !platformDescribeHeld(entry.Get(), &info)) {
      error = EIO;
      entry = THeld();
    }
    if (entry.Get() < 0) {
      if (inChain) return toChainStart();
      if (last && error == ENOENT) return toEntry(name, walked.text.substr(0, stop));
      path.error = error;
      return path;
    }
    if (info.kind == PlatformEntryKind::kLink) {
      const std::string shown = walked.text.substr(0, stop);
      const bool ofTheName = last || inChain;
      PlatformEntryInfo folderInfo;
      const bool trusted = platformDescribeHeld(folder.Get(), &folderInfo) && TrustedEntry(folderInfo, info);
      // A folder's link is judged before it is read, so that no untrusted
      // link is left to the system because its target could not be read.
      if (!ofTheName && !trusted) {
        path.refusedLink = shown;
        return path;
      }
      if (ofTheName && !inChain) {
        chainFolder = THeld(platformHoldEntry(folder.Get(), "", &error));
        chainName = name;
        chainShown = shown;
        if (chainFolder.Get() < 0) {
          path.error = error;
          return path;
        }
      }
      // Room for the longest target a link can hold.
      char target[kPathCapacity + 1];
      if (++followed > kMaxLinksFollowed ||
          !platformReadHeldLink(entry.Get(), target, sizeof target, &error)) {
        if (ofTheName) return toChainStart();
        path.error = followed > kMaxLinksFollowed ? ELOOP : error;
        return path;
      }
      if (ofTheName) path.links.push_back({shown, trusted});
      const bool absolute = target[0] == '/';
      if (absolute) {
        folder = THeld(platformHoldEntry(kPlatformCurrentFolder, "/", &error));
        if (folder.Get() < 0) {
          if (ofTheName) return toChainStart();
          path.error = error;
          return path;
        }
      }
      TText next{absolute ? std::string(target) : walked.text.substr(0, walked.at) + target,
                 absolute ? 0 : walked.at};
      walked.at = stop;
      texts.push_back(std::move(next));
      continue;
    }
    if (last) return toEntry(name, walked.text.substr(0, stop));
    if (info.kind != PlatformEntryKind::kFolder) {
      if (inChain) return toChainStart();
      path.error = ENOTDIR;
      return path;
    }
    folder = std::move(entry);
    walked.at = stop;
  }
}

TMovieOutput::TMovieOutput(const TString& destination)
    : mShown(destination),
      mDestination(destination.ToNarrow(0)),
      mTarget(Follow(mDestination)),
      mRefused(mDestination) {}

TMovieOutput::~TMovieOutput() {
  if (mWriter) mWriter->Close();
  mWriter = TPtr<TQuickTimeVideoFile>();
  if (!mKept && !mTemporary.empty()) platformRemoveFileInFolder(mTarget.folder, mTemporary.c_str());
  platformCancelRemovalOnAbnormalEnd(mRemovalToken);
  platformCloseFile(mFile);
  platformCloseFile(mTarget.folder);
}

TRunFailure TMovieOutput::Failure(const Kumu::Result_t& result, std::int64_t frame) const {
  if (!mRefusal.empty()) return {mRefused, frame, mRefusal};
  return {mDestination, frame,
          MovieCause(mDestination.c_str(), result, mWriter ? mWriter->SystemError() : 0)};
}

Kumu::Result_t TMovieOutput::Open(const std::string& input) {
  const Kumu::Result_t refused = ConverterFailure(kCategoryQuickTime, "Failed to create a new movie");
  const int folder = mTarget.folder;
  const char* name = mTarget.name.c_str();
  PlatformEntryInfo source;
  PlatformEntryInfo target;
  if (folder >= 0 && platformDescribeEntry(kPlatformCurrentFolder, input.c_str(), true, &source) &&
      platformDescribeEntry(folder, name, true, &target) && source.device == target.device &&
      source.inode == target.inode) {
    mRefusal = "the movie would replace the input file";
    return refused;
  }
  if (mTarget.error != 0) {
    mRefusal = SystemErrorText(mTarget.error);
    return refused;
  }
  std::string refusedLink = mTarget.refusedLink;
  if (refusedLink.empty()) {
    int error = 0;
    if (!platformNameFitsFolder(folder, name, &error)) {
      mRefusal = SystemErrorText(error);
      return refused;
    }
    for (const TLink& link : mTarget.links) {
      if (refusedLink.empty() && !link.trusted) refusedLink = link.shown;
    }
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
  char made[kPathCapacity];
  int error = 0;
  mFile = platformCreateFileRemovedOnAbnormalEnd(folder, ".dcp2mov-", ".part", made, sizeof made, &error,
                                                 &mRemovalToken);
  if (mFile < 0) {
    // Every name tried was taken, the folder may not be written, or the
    // system could not make the file.
    if (error == EEXIST)
      mRefusal = "the movie file could not be created: " + SystemErrorText(error);
    else if (!platformMayWriteEntry(folder, ".", &error))
      mRefusal = SystemErrorText(error);
    else
      mRefusal = "the movie file could not be created";
    return refused;
  }
  mTemporary = made;
  const Kumu::Result_t result = mWriter->OpenOnFile(mFile);
  if (result.Failure()) return result;
  if (platformDescribeEntry(folder, name, true, &target)) {
    if (target.kind == PlatformEntryKind::kFolder) {
      mRefusal = SystemErrorText(EISDIR);
      return refused;
    }
    if (!platformMayWriteEntry(folder, name, &error)) {
      mRefusal = SystemErrorText(error);
      return refused;
    }
  }
  return Kumu::RESULT_OK;
}

std::string TMovieOutput::Keep() {
  const char* name = mTarget.name.c_str();
  int error = 0;
  for (int tries = 1;; ++tries) {
    // The system says whether the name is free: a free name is taken only
    // while it still is.
    if (platformRenameToFreeName(mTarget.folder, mTemporary.c_str(), name, &error)) return Kept();
    if (error != EEXIST && error != ENOTSUP) return SystemErrorText(error);
    // What is at the name is judged now, and replaced, with its
    // permissions, only when the movie may replace it.  Where the file
    // system cannot take a name only while it is free (ENOTSUP), a name
    // found free is taken by a plain rename.
    PlatformEntryInfo entry;
    if (platformDescribeEntry(mTarget.folder, name, false, &entry)) {
      if (std::string cause = TargetRefusal(entry); !cause.empty()) return cause;
      if (entry.kind == PlatformEntryKind::kFile) platformSetPermissionsOfOpenFile(mFile, entry.mode);
    } else if (error == EEXIST) {
      // Gone again since: free once more.
      if (tries < kFreeNameTries) continue;
      return SystemErrorText(error);
    }
    if (!platformRenameInFolder(mTarget.folder, mTemporary.c_str(), name, &error))
      return SystemErrorText(error);
    return Kept();
  }
}

std::string TMovieOutput::TargetRefusal(const PlatformEntryInfo& entry) {
  PlatformEntryInfo folder;
  if (!platformDescribeHeld(mTarget.folder, &folder)) return std::string();
  std::string cause = ReplaceRefusal(folder, entry);
  if (!cause.empty()) mRefused = mTarget.shown;
  return cause;
}

std::string TMovieOutput::TargetRefusal() {
  PlatformEntryInfo entry;
  if (!platformDescribeEntry(mTarget.folder, mTarget.name.c_str(), false, &entry)) return std::string();
  return TargetRefusal(entry);
}

std::string TMovieOutput::Kept() {
  mKept = true;
  platformCancelRemovalOnAbnormalEnd(mRemovalToken);
  return std::string();
}
