// The movie's destination: the checks of its path, the hidden temporary
// movie the writer fills, and the rename that gives the movie its place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "converter/quicktime_video_file.h"
#include "converter/run_report.h"
#include "framework/reference_countable.h"
#include "framework/tstring.h"
#include "mxf/KM_error.h"
#include "platform/file_system.h"

// The movie of a run.  It is written into a hidden temporary file in the
// folder of the file it is to replace and takes that file's place by a
// rename once it holds a frame (or a run without frames succeeded).  A run
// that fails before its first frame thus leaves no movie and replaces none,
// and a crash leaves the destination as it was; the temporary file goes at
// the end of the run, and also when a signal or a crash ends the process.
// Messages name the destination.
//
// The destination is held, not looked up again: its path is followed one
// name at a time, each folder reached held by a descriptor, and every link
// on it, at a folder's name or at the movie's, and every link these lead to,
// is judged as it is met; the temporary file is made in the real folder of
// the file the movie replaces through that folder's descriptor, and the
// rename and any removal go through it too, so nothing on the path can
// change between the check and the use.  A path that cannot be followed (a
// missing folder, a file in the middle, too many links) is refused before
// anything is written.
//
// The temporary file is made new, under a name no one can know in advance
// (`.dcp2mov-` + random letters and digits + `.part`), following no link:
// whatever another process put in the folder, under any name, is left as it
// is.  The movie is written through the descriptor that made it, and its
// permissions are set through it too.
//
// A link at the destination stays a link: the movie replaces the file it
// points to, as a writer opening the destination would.  In a shared folder
// (see TrustedEntry) another user's link is not followed and another user's
// file is not replaced; nor is, in any folder with the sticky bit, an entry
// the system would not let this user replace.  An owner that the process's
// user namespace does not map is no one's: never this user's, never the
// folder owner's.  The run is refused before the temporary file is made.
// At the end the system decides whether the name is free: the movie takes a
// free name only while it is free, and an entry found there then is judged
// by the same rules before it is replaced.
class TMovieOutput {
 public:
  explicit TMovieOutput(const TString& destination);
  // Closes the writer; the temporary file goes unless it took the
  // destination's place.
  ~TMovieOutput();
  TMovieOutput(const TMovieOutput&) = delete;
  TMovieOutput& operator=(const TMovieOutput&) = delete;

  // The file a failure concerns: the destination, or the link or file of a
  // shared or sticky folder that was refused.
  const std::string& FailedFile() const { return mRefused; }
  TQuickTimeVideoFile& Writer() { return *mWriter; }
  std::uint64_t FramesAdded() const { return mFramesAdded; }
  void FrameAdded() { ++mFramesAdded; }
  // The movie could not be completed or saved: it replaces nothing.
  void Discard() { mDiscarded = true; }
  bool Discarded() const { return mDiscarded; }
  // Why the step of the movie that gave `result` failed (at `frame`; -1 for
  // none): the file and the reason Open refused it before the writer made
  // anything, else the cause of the writer's result with the system's words
  // for a failed write.
  TRunFailure Failure(const Kumu::Result_t& result, std::int64_t frame = -1) const;

  // Makes the temporary file and opens the writer on it.  A destination
  // that is the input file itself (by any name or link), whose path cannot
  // be followed, whose name is longer than its folder allows, that leads
  // through another user's link or to another user's file in a shared
  // folder, or to an entry of a sticky folder that the system would not let
  // this user replace, is refused before anything is written.
  // A destination that the writer could not have replaced (a folder, a file
  // the user may not write) is refused here, as opening it would have been,
  // rather than after the run.
  Kumu::Result_t Open(const std::string& input);

  // Gives the closed movie the destination's place, with the permissions of
  // the file it replaces (a new file keeps those it was made with); empty,
  // or why not: the system's words for a failed rename, or the refusal of
  // an entry at the name as Open refuses it, one that took the name since
  // Open too (FailedFile() then names it).
  std::string Keep();

 private:
  // A link met on the movie's path at its name or after it: its path as
  // reached, by which messages name it, and whether it may be followed.
  struct TLink {
    std::string shown;
    bool trusted;
  };
  // Where the movie's path leads.
  struct TPath {
    int folder = -1;           // the real folder of the entry the movie replaces, held
    std::string name;          // that entry's name in it
    std::string shown;         // its path as reached
    std::vector<TLink> links;  // the link at the name and those it leads to, in order
    std::string refusedLink;   // a folder's link that is not followed, as reached
    int error = 0;             // the system's error for a path that cannot be followed
  };
  // Where the path `destination` leads, and the links on the way.
  static TPath Follow(const std::string& destination);
  // Why the movie may not replace `entry`, what is at its name now
  // (FailedFile() then names it); empty when it may.
  std::string TargetRefusal(const PlatformEntryInfo& entry);
  // The same for whatever is at the name now; empty for a free name.
  std::string TargetRefusal();
  // The movie took the destination's place: it stays; empty.
  std::string Kept();

  TString mShown;
  std::string mDestination;
  TPath mTarget;           // the entry the movie replaces: the destination, or the file its links lead to
  std::string mRefused;    // the file a refusal names
  std::string mTemporary;  // the temporary file's name in the target's folder; empty until made
  std::string mRefusal;
  int mFile = -1;          // the temporary file, open from its creation to the end
  int mRemovalToken = -1;  // its removal at an abnormal end
  TPtr<TQuickTimeVideoFile> mWriter;
  bool mKept = false;
  bool mDiscarded = false;
  std::uint64_t mFramesAdded = 0;
};
