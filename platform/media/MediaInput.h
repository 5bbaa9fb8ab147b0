#pragma once

#include "platform/media/FFmpegResources.h"

#include <string>

// Opening what a movie or camera patch names, for demuxing. Private to the
// media layer.
//
// A path is opened only when it is a regular file (a FIFO or a device would
// block the demuxer), through the descriptor that was checked, with the file
// protocol alone. "format:specifier" (such as "v4l2:/dev/video0" or
// "lavfi:testsrc2=size=640x480:rate=30") opens an FFmpeg input device or
// virtual input. Null, with `error` set to one line naming the source and
// the cause, when it cannot be opened or its streams cannot be read.
FormatContextPtr openMediaInput(const std::string& source, std::string* error, AVDictionary** deviceOptions = nullptr);

// True when `source` names an FFmpeg input format rather than a file.
bool isDeviceInput(const std::string& source, std::string* format = nullptr, std::string* specifier = nullptr);

// FFmpeg's text for an error code.
std::string ffmpegError(int code);
