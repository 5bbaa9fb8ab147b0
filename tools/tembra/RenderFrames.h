#pragma once

#include "FramePattern.h"
#include "host/Evaluator.h"
#include "platform/gl/NSOpenGLContext.h"

#include <memory>
#include <optional>
#include <string>

// The frames of `tembra run`: a composition with consumers is rendered each
// frame into an off-screen context of the document's render size, and with
// a pattern each rendered frame is saved as a PNG file (first row = top of
// the picture). A composition without consumers just runs.
class RenderFrames {
public:
    // `renderPattern` may be empty. Throws UsageError for a bad pattern or
    // for --render on a composition that draws nothing, std::runtime_error
    // when OpenGL is needed and missing.
    RenderFrames(Evaluator& evaluator, const std::string& file, const std::string& renderPattern);
    ~RenderFrames();
    RenderFrames(const RenderFrames&) = delete;
    RenderFrames& operator=(const RenderFrames&) = delete;

    // Runs (and renders) the frame at `time`, then saves it when asked to.
    void executeFrame(long frame, double time);

private:
    void saveFrame(long frame) const;

    Evaluator& evaluator_;
    std::string file_;
    std::optional<FramePattern> pattern_;
    std::unique_ptr<NSOpenGLPixelBuffer> pixelBuffer_;
    std::unique_ptr<NSOpenGLContext> context_;
    int width_ = 0, height_ = 0;
};
