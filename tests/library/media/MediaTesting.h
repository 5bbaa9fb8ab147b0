#pragma once

#include "tests/support/TestSupport.h"

#include <map>
#include <string>
#include <vector>

// Runs `tembra run` on the composition `doc` written into `dir`.
CommandResult runDocument(const TempDir& dir, const std::string& doc, const std::string& arguments);

// The values of `port` in --watch lines, by frame (a port prints only when
// it changes, so frames in between hold the last value).
std::map<long, std::string> watchedText(const std::string& out, const std::string& port);
std::vector<double> watchedPerFrame(const std::string& out, const std::string& port, long frames);

// Runs a shell command that makes media for a test (ffmpeg, sox); fails the
// test with its output when it does not succeed.
void makeMedia(const std::string& command);

// `frames` pictures of `width` x `height` RGBA as FFmpeg itself decodes
// `movie`, with the scaler settings given.
std::vector<std::vector<uint8_t>> ffmpegPictures(const std::string& movie, int width, int height, int frames);
