#include "QCRenderer.h"

#include "platform/gl/EGLContextObject.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// Canonical paths of the compositions being loaded or rendered on this
// thread, outermost first.
thread_local std::vector<std::string> filesInProgress;

std::string canonicalPath(const std::string& file) {
    std::error_code error;
    const auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(file, error), error);
    return error ? file : path.string();
}

}  // namespace

QCRenderer::FileScope::FileScope(const std::string& file) {
    const std::string path = canonicalPath(file);
    admitted_ = std::find(filesInProgress.begin(), filesInProgress.end(), path) == filesInProgress.end();
    if (admitted_) filesInProgress.push_back(path);
}

std::string QCRenderer::FileScope::innermost() { return filesInProgress.empty() ? "" : filesInProgress.back(); }

QCRenderer::FileScope::~FileScope() {
    if (admitted_) filesInProgress.pop_back();
}

std::unique_ptr<QCRenderer> QCRenderer::initWithOpenGLContext(NSOpenGLContext* context,
                                                              const NSOpenGLPixelFormat* /*format*/,
                                                              const std::string& file) {
    if (!context || file.empty()) return nullptr;
    // A path written in a composition is already relative to its folder.
    const std::string& path = file;
    FileScope loading(path);
    if (!loading.admitted()) return nullptr;
    // Patches are set up with the renderer's context current, as they will
    // execute, and one that fails is torn down in it too.
    CGLContextScope current(context->CGLContextObj());
    std::unique_ptr<Evaluator> evaluator;
    try {
        evaluator = std::make_unique<Evaluator>(CompositionDocument::load(path), QCNodeManager::shared());
        evaluator->start();
    } catch (const std::exception&) {
        return nullptr;
    }
    return std::unique_ptr<QCRenderer>(new QCRenderer(context, path, std::move(evaluator)));
}

QCRenderer::QCRenderer(NSOpenGLContext* context, std::string file, std::unique_ptr<Evaluator> evaluator)
    : context_(context), file_(std::move(file)), evaluator_(std::move(evaluator)) {}

QCRenderer::~QCRenderer() {
    // Patches let go of their OpenGL resources in the context that made them.
    CGLContextScope current(context_->CGLContextObj());
    FileScope stopping(file_);
    evaluator_.reset();
}

bool QCRenderer::renderAtTime(double time, const QCArguments* /*arguments*/) {
    if (!std::isfinite(time)) return false;
    FileScope rendering(file_);
    if (!rendering.admitted()) return false;
    const CGLContextObj context = context_->CGLContextObj();
    return renderFrame(*evaluator_, context, context->drawableWidth, context->drawableHeight, time);
}

bool QCRenderer::renderFrame(Evaluator& evaluator, CGLContextObj context, int width, int height, double time,
                             const QCArguments* arguments) {
    CGLContextScope current(context);
    if (!current.ok() || width <= 0 || height <= 0) return false;
    const double aspect = static_cast<double>(height) / width;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -aspect, aspect, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    QCOpenGLContext openglcontext(context);
    evaluator.executeFrame(time, &openglcontext, arguments);
    // Errors the patches left behind are theirs, not the reader's of the
    // pixels: clear them so that a read-back right after starts clean.
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
    return true;
}
