// Movies, their storage, user data, track and media over libavformat's
// QuickTime muxer.  The file is written through the layer's own descriptor,
// so that every write error is seen and kept, and so that the finished
// 'moov' can be read back and completed with what the muxer cannot write.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/quicktime/qt_internal.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
}

namespace qt {

namespace {

constexpr int kIoBufferSize = 1 << 18;

int WritePacket(void* opaque, uint8_t* buf, int size) {
  auto* dh = static_cast<DataHandlerRecord*>(opaque);
  if (dh->writeError != noErr) return AVERROR(EIO);
  while (size > 0) {
    ssize_t n = write(dh->fd, buf, size_t(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = n == 0 ? EIO : errno;
      dh->writeError = ErrnoToOSErr(e);
      dh->systemError = e;
      return AVERROR(e);
    }
    buf += n;
    size -= int(n);
  }
  return 0;
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
  auto* dh = static_cast<DataHandlerRecord*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) {
    struct stat st;
    if (fstat(dh->fd, &st) != 0) return AVERROR(errno);
    return st.st_size;
  }
  off_t r = lseek(dh->fd, off_t(offset), whence);
  if (r < 0) return AVERROR(errno);
  return r;
}

// The language code QuickTime stores for a region code.
int16_t LanguageOfRegion(int16_t region) {
  constexpr int16_t kLangEnglish = 0;
  constexpr int16_t kLangUnspecified = 0x7FFF;
  return region == verUS ? kLangEnglish : kLangUnspecified;
}

OSErr StorageError(const DataHandlerRecord* dh, OSErr fallback) {
  return dh != nullptr && dh->writeError != noErr ? dh->writeError : fallback;
}

void FreeStorage(DataHandlerRecord* dh) {
  if (dh->avio != nullptr) {
    av_freep(&dh->avio->buffer);
    avio_context_free(&dh->avio);
  }
  if (dh->fd >= 0) close(dh->fd);
  delete dh;
}

// Creates the stream and writes the file header from the first sample's
// encoder: QuickTime too takes the sample description from the first
// encoded frame.
OSErr StartStream(MovieRecord* movie, MediaRecord* media, const SessionRecord* session) {
  AVFormatContext* fmt = movie->format;
  AVStream* st = avformat_new_stream(fmt, nullptr);
  if (st == nullptr) return memFullErr;
  if (avcodec_parameters_from_context(st->codecpar, session->codec) < 0) return memFullErr;
  st->codecpar->codec_tag = MKTAG('a', 'v', 'c', '1');
  st->time_base = AVRational{1, media->timeScale};
  av_dict_set(&st->metadata, "encoder", "H.264", 0);

  char when[32];
  time_t t = time_t(movie->creationTime);
  struct tm utc;
  gmtime_r(&t, &utc);
  strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  av_dict_set(&fmt->metadata, "creation_time", when, 0);

  AVDictionary* options = nullptr;
  // Without this the muxer would multiply a small media time scale (2400
  // becomes 19200); the media must keep the time scale it was made with.
  av_dict_set_int(&options, "video_track_timescale", media->timeScale, 0);
  av_dict_set_int(&options, "movie_timescale", kMovieTimeScale, 0);
  int r = avformat_write_header(fmt, &options);
  av_dict_free(&options);
  if (r < 0) return StorageError(movie->storage, ioErr);
  movie->stream = st;
  movie->headerWritten = true;
  return noErr;
}

}  // namespace

// ------------------------------------------------------------ data references

OSErr QTNewDataReferenceFromFullPathCFString(CFStringRef filePath, int16_t pathStyle, uint32_t /*flags*/,
                                             Handle* outDataRef, OSType* outDataRefType) {
  int32_t err = 0;
  if (FaultHit(faults::Call::QTNewDataReferenceFromFullPathCFString, &err)) return OSErr(err);
  if (outDataRef == nullptr || outDataRefType == nullptr) return paramErr;
  *outDataRef = nullptr;
  *outDataRefType = 0;
  if (filePath == nullptr || filePath->kind != CFObject::Kind::String || !filePath->validText ||
      filePath->text.empty() || filePath->text.find('\0') != std::string::npos)
    return paramErr;
  if (pathStyle != kQTNativeDefaultPathStyle && pathStyle != kQTPOSIXPathStyle) return paramErr;
  const std::string& path = filePath->text;
  Handle h = AllocateHandle(Size(path.size()));
  if (h == nullptr) return MemError();
  std::memcpy(*h, path.data(), path.size());
  *outDataRef = h;
  *outDataRefType = rAliasType;
  return noErr;
}

OSErr QTNewDataReferenceFromOpenFile(int fileDescriptor, Handle* outDataRef, OSType* outDataRefType) {
  if (outDataRef == nullptr || outDataRefType == nullptr) return paramErr;
  *outDataRef = nullptr;
  *outDataRefType = 0;
  if (fileDescriptor < 0 || fcntl(fileDescriptor, F_GETFD) < 0) return paramErr;
  Handle h = AllocateHandle(Size(sizeof fileDescriptor));
  if (h == nullptr) return MemError();
  std::memcpy(*h, &fileDescriptor, sizeof fileDescriptor);
  *outDataRef = h;
  *outDataRefType = kOpenFileDataRefType;
  return noErr;
}

// ------------------------------------------------------------ storage

namespace {

// The storage's own descriptor of the file a data reference names: the path
// opened (created new, or emptied with createMovieFileDeleteCurFile), or a
// duplicate of the caller's open file, which is never opened again by name.
// -1 with the error in *err.
int OpenStorageFile(const HandleBlock* block, OSType dataRefType, uint32_t flags, std::string& path,
                    OSErr* err) {
  *err = paramErr;
  if (dataRefType == kOpenFileDataRefType) {
    int caller = -1;
    if (size_t(block->size) != sizeof caller) return -1;
    std::memcpy(&caller, block->data, sizeof caller);
    struct stat st;
    const int access = fcntl(caller, F_GETFL);
    if (access < 0 || (access & O_ACCMODE) != O_RDWR || fstat(caller, &st) != 0 || !S_ISREG(st.st_mode))
      return -1;
    const int fd = fcntl(caller, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
      *err = ErrnoToOSErr(errno);
      return -1;
    }
    const bool empty = (flags & createMovieFileDeleteCurFile) ? ftruncate(fd, 0) == 0 : st.st_size == 0;
    if (!empty || lseek(fd, 0, SEEK_SET) != 0) {
      *err = (flags & createMovieFileDeleteCurFile) ? ErrnoToOSErr(errno) : dupFNErr;
      close(fd);
      return -1;
    }
    return fd;
  }
  if (dataRefType != rAliasType) return -1;
  path.assign(block->data, size_t(block->size));
  if (path.empty() || path.find('\0') != std::string::npos) return -1;
  int openFlags = O_RDWR | O_CREAT | O_CLOEXEC;
  openFlags |= (flags & createMovieFileDeleteCurFile) ? O_TRUNC : O_EXCL;
  const int fd = open(path.c_str(), openFlags, 0666);
  if (fd < 0) *err = ErrnoToOSErr(errno);
  return fd;
}

}  // namespace

OSErr CreateMovieStorage(Handle dataRef, OSType dataRefType, OSType /*creator*/, ScriptCode /*scriptTag*/,
                         long createMovieFileFlags, DataHandler* outDataHandler, Movie* newMovie) {
  int32_t err = 0;
  if (outDataHandler != nullptr) *outDataHandler = nullptr;
  if (newMovie != nullptr) *newMovie = nullptr;
  if (FaultHit(faults::Call::CreateMovieStorage, &err)) return OSErr(err);
  if (dataRef == nullptr || outDataHandler == nullptr || newMovie == nullptr) return paramErr;
  const uint32_t flags = uint32_t(createMovieFileFlags);
  if (flags & (createMovieFileDontCreateMovie | createMovieFileDontOpenFile)) return paramErr;

  auto* dh = new (std::nothrow) DataHandlerRecord;
  auto* movie = new (std::nothrow) MovieRecord;
  if (dh == nullptr || movie == nullptr) {
    delete dh;
    delete movie;
    return memFullErr;
  }
  OSErr opened = noErr;
  dh->fd = OpenStorageFile(BlockOf(dataRef), dataRefType, flags, dh->path, &opened);
  if (dh->fd < 0) {
    delete dh;
    delete movie;
    return opened;
  }
  const char* path = dh->path.empty() ? nullptr : dh->path.c_str();
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
  if (buffer != nullptr)
    dh->avio = avio_alloc_context(buffer, kIoBufferSize, 1, dh, nullptr, WritePacket, Seek);
  if (dh->avio == nullptr) av_free(buffer);
  if (dh->avio == nullptr || avformat_alloc_output_context2(&movie->format, nullptr, "mov", path) < 0 ||
      movie->format == nullptr) {
    FreeStorage(dh);
    delete movie;
    return memFullErr;
  }
  movie->format->pb = dh->avio;
  movie->format->flags |= AVFMT_FLAG_CUSTOM_IO;
  movie->storage = dh;
  movie->creationTime = int64_t(time(nullptr));
  dh->movie = movie;
  *outDataHandler = dh;
  *newMovie = movie;
  SetMoviesError(noErr);
  return noErr;
}

OSErr AddMovieToStorage(Movie theMovie, DataHandler dh) {
  int32_t err = 0;
  if (FaultHit(faults::Call::AddMovieToStorage, &err)) return OSErr(err);
  if (theMovie == nullptr) return invalidMovie;
  if (dh == nullptr || theMovie->storage != dh || dh->fd < 0) return paramErr;
  if (theMovie->saved) return theMovie->saveResult;

  OSErr result = noErr;
  if (theMovie->headerWritten) {
    int r = av_write_trailer(theMovie->format);
    avio_flush(dh->avio);
    if (r < 0 || dh->avio->error < 0 || dh->writeError != noErr) {
      result = StorageError(dh, ioErr);
    } else {
      errno = 0;
      result =
          atoms::RewriteMovieAtom(dh->fd, theMovie->userData, theMovie->trackWidth, theMovie->trackHeight);
      // Set only when a read or write of the file failed.
      if (result != noErr && dh->systemError == 0) dh->systemError = errno;
    }
  } else {
    // No sample was ever written: the muxer cannot write a movie without
    // streams, so the movie atoms are composed here.
    std::vector<uint8_t> bytes = atoms::EmptyMovie(theMovie->creationTime, theMovie->userData);
    if (!atoms::WriteAll(dh->fd, bytes.data(), bytes.size(), 0) ||
        ftruncate(dh->fd, off_t(bytes.size())) != 0) {
      result = ErrnoToOSErr(errno);
      if (dh->systemError == 0) dh->systemError = errno;
    }
  }
  if (result == noErr && dh->writeError != noErr) result = dh->writeError;
  theMovie->saved = true;
  theMovie->saveResult = result;
  return result;
}

OSErr UpdateMovieInStorage(Movie theMovie, DataHandler dh) {
  int32_t err = 0;
  if (FaultHit(faults::Call::UpdateMovieInStorage, &err)) return OSErr(err);
  if (theMovie == nullptr) return invalidMovie;
  if (dh == nullptr || theMovie->storage != dh) return paramErr;
  if (!theMovie->saved) return AddMovieToStorage(theMovie, dh);
  return theMovie->saveResult;
}

int GetMovieStorageSystemError(DataHandler dh) { return dh != nullptr ? dh->systemError : 0; }

OSErr CloseMovieStorage(DataHandler dh) {
  if (dh == nullptr) return paramErr;
  // Like a failed close(2), a failed close still releases the storage.
  int32_t err = 0;
  OSErr result = FaultHit(faults::Call::CloseMovieStorage, &err) ? OSErr(err) : noErr;
  MovieRecord* movie = dh->movie;
  if (movie != nullptr) {
    // An unsaved movie keeps what the muxer had buffered.
    if (!movie->saved && dh->avio != nullptr) avio_flush(dh->avio);
    if (movie->format != nullptr) movie->format->pb = nullptr;
    movie->storage = nullptr;
  }
  if (result == noErr && dh->writeError != noErr) result = dh->writeError;
  if (dh->avio != nullptr) {
    av_freep(&dh->avio->buffer);
    avio_context_free(&dh->avio);
  }
  if (dh->fd >= 0 && close(dh->fd) != 0 && result == noErr) result = ErrnoToOSErr(errno);
  dh->fd = -1;
  delete dh;
  return result;
}

void DisposeMovie(Movie theMovie) {
  if (theMovie == nullptr) return;
  if (theMovie->track != nullptr) DisposeMovieTrack(theMovie->track);
  if (theMovie->storage != nullptr) theMovie->storage->movie = nullptr;
  if (theMovie->format != nullptr) {
    theMovie->format->pb = nullptr;
    avformat_free_context(theMovie->format);
  }
  delete theMovie;
}

// ------------------------------------------------------------ user data

UserData GetMovieUserData(Movie theMovie) {
  int32_t err = 0;
  if (FaultHit(faults::Call::GetMovieUserData, &err)) {
    SetMoviesError(OSErr(err));
    return nullptr;
  }
  if (theMovie == nullptr) {
    SetMoviesError(invalidMovie);
    return nullptr;
  }
  SetMoviesError(noErr);
  return &theMovie->userData;
}

OSErr AddUserDataText(UserData theUserData, Handle data, OSType udType, long index, int16_t itlRegionTag) {
  int32_t err = 0;
  if (FaultHit(faults::Call::AddUserDataText, &err)) return OSErr(err);
  if (theUserData == nullptr || data == nullptr || index < 1) return paramErr;
  HandleBlock* block = BlockOf(data);
  if (block->size > 0xFFFF) return paramErr;  // a text item holds a 16-bit length

  // Find item `index` of this type; count + 1 adds one.
  long seen = 0;
  UserDataRecord::Item* item = nullptr;
  for (UserDataRecord::Item& it : theUserData->items) {
    if (it.type == udType && ++seen == index) {
      item = &it;
      break;
    }
  }
  if (item == nullptr) {
    if (index != seen + 1) return paramErr;
    theUserData->items.push_back(UserDataRecord::Item{udType, {}});
    item = &theUserData->items.back();
  }
  const int16_t language = LanguageOfRegion(itlRegionTag);
  std::string bytes(block->data, size_t(block->size));
  for (UserDataRecord::Text& t : item->texts) {
    if (t.language == language) {
      t.bytes = std::move(bytes);
      return noErr;
    }
  }
  item->texts.push_back(UserDataRecord::Text{language, std::move(bytes)});
  return noErr;
}

// ------------------------------------------------------------ track and media

Track NewMovieTrack(Movie theMovie, Fixed width, Fixed height, int16_t /*trackVolume*/) {
  int32_t err = 0;
  if (FaultHit(faults::Call::NewMovieTrack, &err)) {
    SetMoviesError(OSErr(err));
    return nullptr;
  }
  if (theMovie == nullptr) {
    SetMoviesError(invalidMovie);
    return nullptr;
  }
  // One track per movie, made before anything is stored.
  if (theMovie->track != nullptr || theMovie->stream != nullptr || theMovie->saved || width < 0 ||
      height < 0) {
    SetMoviesError(paramErr);
    return nullptr;
  }
  auto* track = new (std::nothrow) TrackRecord;
  if (track == nullptr) {
    SetMoviesError(memFullErr);
    return nullptr;
  }
  track->movie = theMovie;
  track->width = width;
  track->height = height;
  theMovie->track = track;
  theMovie->trackWidth = width;
  theMovie->trackHeight = height;
  SetMoviesError(noErr);
  return track;
}

void DisposeMovieTrack(Track theTrack) {
  if (theTrack == nullptr) return;
  if (theTrack->media != nullptr) DisposeTrackMedia(theTrack->media);
  if (theTrack->movie != nullptr && theTrack->movie->track == theTrack) theTrack->movie->track = nullptr;
  delete theTrack;
}

Media NewTrackMedia(Track theTrack, OSType mediaType, TimeScale timeScale, Handle dataRef,
                    OSType /*dataRefType*/) {
  int32_t err = 0;
  if (FaultHit(faults::Call::NewTrackMedia, &err)) {
    SetMoviesError(OSErr(err));
    return nullptr;
  }
  if (theTrack == nullptr) {
    SetMoviesError(invalidTrack);
    return nullptr;
  }
  if (theTrack->media != nullptr || mediaType != VideoMediaType || timeScale <= 0 || dataRef != nullptr) {
    SetMoviesError(paramErr);
    return nullptr;
  }
  auto* media = new (std::nothrow) MediaRecord;
  if (media == nullptr) {
    SetMoviesError(memFullErr);
    return nullptr;
  }
  media->track = theTrack;
  media->timeScale = timeScale;
  theTrack->media = media;
  SetMoviesError(noErr);
  return media;
}

void DisposeTrackMedia(Media theMedia) {
  if (theMedia == nullptr) return;
  if (theMedia->track != nullptr && theMedia->track->media == theMedia) theMedia->track->media = nullptr;
  delete theMedia;
}

OSErr BeginMediaEdits(Media theMedia) {
  int32_t err = 0;
  if (FaultHit(faults::Call::BeginMediaEdits, &err)) return OSErr(err);
  if (theMedia == nullptr) return invalidMedia;
  theMedia->editing = true;
  return noErr;
}

OSErr EndMediaEdits(Media theMedia) {
  int32_t err = 0;
  if (FaultHit(faults::Call::EndMediaEdits, &err)) return OSErr(err);
  if (theMedia == nullptr) return invalidMedia;
  theMedia->editing = false;
  return noErr;
}

TimeValue GetMediaDuration(Media theMedia) {
  if (theMedia == nullptr) {
    SetMoviesError(invalidMedia);
    return 0;
  }
  SetMoviesError(noErr);
  return theMedia->duration > INT32_MAX ? INT32_MAX : TimeValue(theMedia->duration);
}

OSErr InsertMediaIntoTrack(Track theTrack, TimeValue trackStart, TimeValue mediaTime, TimeValue mediaDuration,
                           Fixed mediaRate) {
  int32_t err = 0;
  if (FaultHit(faults::Call::InsertMediaIntoTrack, &err)) return OSErr(err);
  if (theTrack == nullptr) return invalidTrack;
  if (theTrack->media == nullptr) return invalidMedia;
  // The muxer writes the one edit of the whole media itself; any other
  // edit cannot be expressed.
  if (trackStart != 0 || mediaTime != 0 || mediaRate != fixed1 ||
      mediaDuration != GetMediaDuration(theTrack->media))
    return paramErr;
  return noErr;
}

OSStatus AddMediaSampleFromEncodedFrame(Media theMedia, ICMEncodedFrameRef encodedFrame,
                                        TimeValue64* decodeTimeOut) {
  int32_t err = 0;
  if (FaultHit(faults::Call::AddMediaSampleFromEncodedFrame, &err)) return err;
  if (theMedia == nullptr) return invalidMedia;
  if (encodedFrame == nullptr || encodedFrame->session == nullptr || encodedFrame->packet == nullptr)
    return paramErr;
  if (theMedia->track == nullptr) return invalidTrack;
  MovieRecord* movie = theMedia->track->movie;
  if (movie == nullptr || movie->format == nullptr) return invalidMovie;
  if (movie->saved || movie->storage == nullptr) return paramErr;
  if (movie->storage->writeError != noErr) return movie->storage->writeError;

  const SessionRecord* session = encodedFrame->session;
  if (!movie->headerWritten) {
    OSErr e = StartStream(movie, theMedia, session);
    if (e != noErr) return e;
  }
  AVStream* st = movie->stream;
  AVPacket* pkt = av_packet_clone(encodedFrame->packet);
  if (pkt == nullptr) return memFullErr;
  av_packet_rescale_ts(pkt, AVRational{1, session->timeScale}, st->time_base);
  pkt->stream_index = st->index;
  const int64_t duration = pkt->duration;
  const int64_t dts = pkt->dts;
  int r = av_write_frame(movie->format, pkt);
  av_packet_free(&pkt);
  // Pushed to the file now, so that a failed write fails this sample.
  if (r >= 0) avio_flush(movie->storage->avio);
  if (r < 0) return StorageError(movie->storage, ioErr);
  if (movie->storage->writeError != noErr) return movie->storage->writeError;
  theMedia->duration += av_rescale_q(duration, st->time_base, AVRational{1, theMedia->timeScale});
  if (decodeTimeOut != nullptr)
    *decodeTimeOut = av_rescale_q(dts, st->time_base, AVRational{1, theMedia->timeScale});
  return noErr;
}

}  // namespace qt
