// Fault switch of the movie calls, for tests.
//
// Arming a call makes one later use of it fail as the real system could
// make it fail, so that every failure path of a caller can be reached in a
// test.  Calls answering a status return the armed error; calls answering
// an object answer null and leave the error for GetMoviesError / MemError;
// SCGetInfo clears the record it was asked to fill; AddUserDataText and the
// storage calls return the error without writing, except CloseMovieStorage,
// which still releases the storage, as a failed close does.  Nothing is armed unless a
// test arms it.
#pragma once

#include <cstdint>

namespace qt::faults {

enum class Call {
  InitializeQTML,
  EnterMovies,
  Gestalt,
  CFStringCreateWithCharacters,
  QTNewDataReferenceFromFullPathCFString,
  CreateMovieStorage,
  GetMovieUserData,
  NewHandle,
  AddUserDataText,
  OpenDefaultComponent,
  SCGetInfo,
  NewMovieTrack,
  NewTrackMedia,
  GetCodecInfo,
  ICMCompressionSessionOptionsCreate,
  SCCopyCompressionSessionOptions,
  SetAllowTemporalCompression,
  SetAllowFrameReordering,
  CFNumberCreate,
  CFDictionaryCreate,
  ICMCompressionSessionCreate,
  BeginMediaEdits,
  CVPixelBufferCreateWithBytes,
  ICMCompressionSessionEncodeFrame,
  AddMediaSampleFromEncodedFrame,
  ICMCompressionSessionCompleteFrames,
  EndMediaEdits,
  InsertMediaIntoTrack,
  AddMovieToStorage,
  UpdateMovieInStorage,
  CloseMovieStorage,
  Count
};

// The use after `skip` further uses of `call` fails with `error` (once).
void Arm(Call call, int32_t error, unsigned skip = 0);
// Disarms every call.
void Clear();

}  // namespace qt::faults
