#pragma once

#include "library/image/isf/ISFHeader.h"

#include <string>
#include <vector>

// Turns an ISF shader into the GLSL OpenGL compiles: the host's declarations
// (standard uniforms, one uniform per input, a sampler and lookup functions
// per image) before the user's code, whose lines keep their numbers after
// an offset, so compiler messages map back to the user's file.
struct ISFSource {
    std::string fragment, vertex;
    int fragmentOffset = 0, vertexOffset = 0;  // lines of ours before the user's first
    std::string userFragment, userVertex;       // as the user wrote them
    std::vector<std::string> images;            // that the macros can read

    // `vertexSource` empty: the full-screen quad's own vertex shader.
    static ISFSource build(const ISFHeader& header, const std::string& fragmentSource,
                           const std::string& vertexSource);
    // One compiler log line ("0:14(12): error: `colr' undeclared") in the
    // user's terms ("glow.fs:14: 'colr' undeclared"), with the names the
    // image macros became said as the user wrote them
    // ("glow.fs:12: IMG_NORM_PIXEL: no image named \"nope\""); the log
    // itself when it names no line.
    std::string userMessage(const std::string& log, const std::string& file, bool isVertex) const;
};
