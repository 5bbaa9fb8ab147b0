#pragma once

#include "platform/media/FFmpegResources.h"

// A resampler from decoded sound (`layout`, `format`, `inRate`) to
// interleaved float stereo at `outRate`. A layout of unknown order is taken
// as the default one of its channel count; mono goes to both channels
// unchanged, not at the -3 dB of a pan law. Null with `*result` an FFmpeg
// error code when it cannot be made.
SwrContextPtr makeStereoResampler(const AVChannelLayout& layout, AVSampleFormat format, int inRate, int outRate,
                                  int* result);
