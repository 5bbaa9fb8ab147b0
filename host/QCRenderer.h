#pragma once

#include "Evaluator.h"
#include "QCOpenGLContext.h"
#include "platform/gl/NSOpenGLContext.h"

#include <memory>
#include <string>

// Renders a composition into an OpenGL context: loads the file, runs its
// patches as the evaluator does, and before the consumers draw clears the
// context's colour and depth buffers and sets the host's projection
// (orthographic, x from -1 to 1 across the width, y from -h/w to h/w).
//
// The renderer makes its context current only for the length of a call and
// then restores whatever was current on the thread before.
class QCRenderer {
public:
    // Nothing when the file cannot be loaded (missing, not a valid
    // composition, classes unknown) or when it is already being loaded or
    // rendered on this thread, directly or through other files: a
    // composition that renders itself would otherwise never end.
    static std::unique_ptr<QCRenderer> initWithOpenGLContext(NSOpenGLContext* context,
                                                             const NSOpenGLPixelFormat* format,
                                                             const std::string& file);
    ~QCRenderer();
    QCRenderer(const QCRenderer&) = delete;
    QCRenderer& operator=(const QCRenderer&) = delete;

    // One frame at `time` into the context's pixel buffer. False when the
    // context cannot be made current or the time is not a finite number.
    bool renderAtTime(double time, const QCArguments* arguments);

    // One frame of `evaluator` at `time` into `context`, which draws into a
    // buffer of `width` x `height`: the host's part of rendering, shared with
    // the command-line host.
    static bool renderFrame(Evaluator& evaluator, CGLContextObj context, int width, int height, double time,
                            const QCArguments* arguments = nullptr);

    // Marks a composition file as being loaded or rendered on this thread
    // for the life of the scope. `admitted()` is false when the file was
    // already marked.
    class FileScope {
    public:
        explicit FileScope(const std::string& file);
        ~FileScope();
        FileScope(const FileScope&) = delete;
        FileScope& operator=(const FileScope&) = delete;
        bool admitted() const { return admitted_; }
        // The innermost composition marked on this thread (canonical), or
        // "" when none is: what paths in its settings are relative to.
        static std::string innermost();

    private:
        bool admitted_;
    };


private:
    QCRenderer(NSOpenGLContext* context, std::string file, std::unique_ptr<Evaluator> evaluator);

    NSOpenGLContext* context_;
    std::string file_;
    std::unique_ptr<Evaluator> evaluator_;
};
