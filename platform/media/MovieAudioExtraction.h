#pragma once

#include "MovieToolbox.h"

#include <memory>

// Extracting a movie's audio in the manner of QuickTime's movie audio
// extraction, over FFmpeg: the session decodes the movie's audio stream and
// converts it to the description set on it. Calls return FFmpeg's error
// code (0 on success).
//
// The layer delivers interleaved 32-bit float stereo in native byte order,
// at any sample rate; a session must be given that description before it is
// filled. A mono source plays on both channels at full level; sources with
// more channels are mixed down by FFmpeg's resampler.

// The source's channel layout, described by tag only
// (mNumberChannelDescriptions is 0).
struct AudioChannelDescription {
    uint32_t mChannelLabel;
    uint32_t mChannelFlags;
    float mCoordinates[3];
};
struct AudioChannelLayout {
    uint32_t mChannelLayoutTag;
    uint32_t mChannelBitmap;
    uint32_t mNumberChannelDescriptions;
    AudioChannelDescription mChannelDescriptions[1];
};
constexpr uint32_t kAudioChannelLayoutTag_Mono = (100u << 16) | 1;
constexpr uint32_t kAudioChannelLayoutTag_Stereo = (101u << 16) | 2;
constexpr uint32_t kAudioChannelLayoutTag_DiscreteInOrder = 147u << 16;  // | channel count

struct MovieAudioExtractionSession;
struct MovieAudioExtractionSessionEnder {
    void operator()(MovieAudioExtractionSession* session) const;
};
// The session keeps a pointer to its movie: the movie must outlive it.
using MovieAudioExtractionRef = std::unique_ptr<MovieAudioExtractionSession, MovieAudioExtractionSessionEnder>;

constexpr OSType kQTPropertyClass_MovieAudioExtraction_Audio = fourCharCode("xaud");
constexpr OSType kQTMovieAudioExtractionAudioPropertyID_AudioChannelLayout = fourCharCode("clay");
constexpr OSType kQTMovieAudioExtractionAudioPropertyID_AudioStreamBasicDescription = fourCharCode("asbd");

// Fill flag: the whole audio has been delivered.
constexpr uint32_t kQTMovieAudioExtractionComplete = 1;

// Opens a decoder for the movie's audio stream; fails when FFmpeg has no
// decoder for it.
OSStatus MovieAudioExtractionBegin(const Movie& movie, uint32_t flags, MovieAudioExtractionRef* session);

// The byte size of a property (out arguments may be null).
OSStatus MovieAudioExtractionGetPropertyInfo(const MovieAudioExtractionRef& session, OSType propertyClass,
                                             OSType propertyID, OSType* propertyType, uint32_t* propertySize,
                                             uint32_t* propertyFlags);

// The channel layout of the source, or the current output description (at
// first the decoder's own format).
OSStatus MovieAudioExtractionGetProperty(const MovieAudioExtractionRef& session, OSType propertyClass,
                                         OSType propertyID, uint32_t valueSize, void* value, uint32_t* valueSizeUsed);

// Sets the output description; only interleaved float stereo is accepted.
OSStatus MovieAudioExtractionSetProperty(const MovieAudioExtractionRef& session, OSType propertyClass,
                                         OSType propertyID, uint32_t valueSize, const void* value);

// Decodes up to *numFrames frames into the first buffer (never more than its
// byte size holds) and sets *numFrames to the frames delivered. Damaged or
// missing data at the end of a file ends the audio there.
OSStatus MovieAudioExtractionFillBuffer(const MovieAudioExtractionRef& session, uint32_t* numFrames,
                                        AudioBufferList* buffer, uint32_t* extractionFlags);

OSStatus MovieAudioExtractionEnd(MovieAudioExtractionRef& session);
