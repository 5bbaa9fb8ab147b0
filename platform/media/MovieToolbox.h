#pragma once

#include "platform/audio/CoreAudio.h"

#include <cstdint>
#include <memory>
#include <string>

// Opening sound and movie files in the manner of the QuickTime movie toolbox,
// over FFmpeg. Calls that can fail return FFmpeg's error code (0 on success,
// a negative AVERROR value otherwise).

using OSErr = int16_t;
using OSType = uint32_t;
using TimeValue = int32_t;
using TimeScale = int32_t;

constexpr OSErr noErr = 0;
constexpr int32_t kQTNativeDefaultPathStyle = -1;
// Data references name files by full path.
constexpr OSType kDataRefTypeFilePath = fourCharCode("path");

struct DataReference {
    std::string path;
};
using DataReferenceHandle = std::unique_ptr<DataReference>;

// An opened file with an audio stream. Closing it (going out of scope, or
// reset) releases everything FFmpeg holds for it.
struct MovieRecord;
struct MovieDisposer {
    void operator()(MovieRecord* movie) const;
};
using Movie = std::unique_ptr<MovieRecord, MovieDisposer>;

// Brackets a thread's use of the toolbox. FFmpeg needs no per-thread state;
// entering only quiets FFmpeg's own console chatter down to errors.
void EnterMovies();
void ExitMovies();

// A data reference for a file; fails only for an empty path. Whether the
// file exists is found out when it is opened.
OSStatus QTNewDataReferenceFromFullPathCFString(const std::string& path, int32_t pathStyle, uint32_t flags,
                                                DataReferenceHandle* dataRef, OSType* dataRefType);
void DisposeHandle(DataReferenceHandle& dataRef);

// Opens the file and chooses its main audio stream. A file that cannot be
// read, or that has no audio stream, fails here. `fileID` is left as given.
OSStatus NewMovieFromDataRef(Movie* movie, int16_t flags, int16_t* fileID, const DataReferenceHandle& dataRef,
                             OSType dataRefType);

// Nothing here plays a movie, so activity changes nothing; the call stays
// for the toolbox's order of calls.
void SetMovieActive(const Movie& movie, bool active);

// The audio's length: the time scale is the audio's sample rate and the
// duration is counted in it, so duration / time scale is seconds. The
// duration is FFmpeg's estimate from the file's headers (0 when unknown).
TimeValue GetMovieDuration(const Movie& movie);
TimeScale GetMovieTimeScale(const Movie& movie);
