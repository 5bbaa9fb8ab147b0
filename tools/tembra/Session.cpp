#include "Session.h"

#include "AudioOption.h"
#include "PNGSequenceWriter.h"
#include "ShowCapture.h"
#include "ShowReplay.h"
#include "host/PortValues.h"
#include "host/QCRenderer.h"
#include "platform/gl/GLShareGroup.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace {

// "id.port=value" -> ("id.port", "value")
std::pair<std::string, std::string> splitAssignment(const std::string& text, const char* option) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError(std::string(option) + " \"" + text + "\" must have the form id.port=value");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

QCPort& findPort(const Evaluator& evaluator, const std::string& endpoint, const char* option) {
    QCPort* port = evaluator.port(endpoint);
    if (!port) throw UsageError(std::string(option) + ": the composition has no port \"" + endpoint + "\"");
    return *port;
}

const QCGLImagePort& findImagePort(const Evaluator& evaluator, const std::string& endpoint, const char* option) {
    const QCPort& port = findPort(evaluator, endpoint, option);
    if (port.kind() != QCPortKind::Image)
        throw UsageError(std::string(option) + ": \"" + endpoint + "\" is not an image port");
    return static_cast<const QCGLImagePort&>(port);
}

// What the command line names must be there after a reload, unless it is a
// port of a patch whose ports follow its source, which may be gone for now.
void stillThere(const Evaluator& evaluator, const std::string& endpoint, const char* option) {
    const size_t dot = endpoint.rfind('.');
    for (const Evaluator::Node& node : evaluator.nodes())
        if (dot != std::string::npos && node.id == endpoint.substr(0, dot) && node.patchClass->portsFollowSource)
            return;
    findPort(evaluator, endpoint, option);
}

}  // namespace

struct Session::Save {
    std::string endpoint;
    const QCGLImagePort* port;
    PNGSequenceWriter writer;
};

Session::Session(const RunOptions& options, const std::string* text)
    : options_(options), shownEndpoint_(options.show) {
    const CompositionDocument document =
        text ? CompositionDocument::parse(*text, options.file) : CompositionDocument::load(options.file);
    // The composition is the application's first open document; values set
    // from the command line are changes not saved to its file.
    mainDocument_.emplace(options.file, !options.sets.empty());
    // Scripted MIDI endpoints exist before the patches that look for them.
    scriptedMIDI_ = std::make_unique<ScriptedMIDI>(document, options.printMIDI);
    scriptedInput_ = std::make_unique<ScriptedInput>(document);
    {
        // Patches read paths in their settings relative to the composition.
        QCRenderer::FileScope loading(options.file);
        evaluator_ = std::make_unique<Evaluator>(document, QCNodeManager::shared());
    }
    arguments_.directory = document.directory;
    arguments_.live = options.realtime;

    applySets(*evaluator_);
    for (const std::string& endpoint : options.watches)
        watches_.emplace_back(endpoint, &findPort(*evaluator_, endpoint, "--watch"));
    for (const std::string& save : options.saves) {
        const auto [endpoint, pattern] = splitAssignment(save, "--save");
        const QCGLImagePort& port = findImagePort(*evaluator_, endpoint, "--save");
        saves_.push_back(std::make_unique<Save>(Save{endpoint, &port, PNGSequenceWriter(pattern, "--save")}));
    }
    if (!shownEndpoint_.empty()) shown_ = &findImagePort(*evaluator_, shownEndpoint_, "--show");
}

void Session::applySets(Evaluator& evaluator) const {
    for (const std::string& set : options_.sets) {
        const auto [endpoint, value] = splitAssignment(set, "--set");
        QCPort& port = findPort(evaluator, endpoint, "--set");
        if (!port.isInput()) throw UsageError("--set: \"" + endpoint + "\" is an output");
        try {
            setPortFromText(port, value, std::filesystem::current_path().string());
        } catch (const PortValueError& e) {
            throw UsageError(std::string("--set ") + endpoint + ": " + e.what());
        }
    }
}

bool Session::reload(std::string* error) { return reloadFrom(nullptr, error); }

bool Session::reloadText(const std::string& text, std::string* error) { return reloadFrom(&text, error); }

bool Session::reloadFrom(const std::string* text, std::string* error) {
    try {
        const CompositionDocument document =
            text ? CompositionDocument::parse(*text, options_.file) : CompositionDocument::load(options_.file);
        // The new endpoints exist before new patches look for them; those the
        // documents share stay, with their connections; those only the old
        // one declared go once the new document has been taken (and stay if
        // it is refused).
        auto scriptedMIDI = std::make_unique<ScriptedMIDI>(document, options_.printMIDI, scriptedMIDI_.get());
        if (lastTime_ >= 0) scriptedMIDI->skipUntil(lastTime_);
        auto scriptedInput = std::make_unique<ScriptedInput>(document);
        if (lastTime_ >= 0) scriptedInput->skipUntil(lastTime_);
        QCRenderer::FileScope loading(options_.file);
        evaluator_->reload(document, QCNodeManager::shared(), [this](Evaluator& next) {
            // The command line still holds, and what it names must still be there.
            applySets(next);
            for (const Watch& w : watches_) stillThere(next, w.endpoint(), "--watch");
            for (const auto& save : saves_) stillThere(next, save->endpoint, "--save");
            if (!shownEndpoint_.empty()) stillThere(next, shownEndpoint_, "--show");
        });
        scriptedMIDI_ = std::move(scriptedMIDI);
        scriptedInput_ = std::move(scriptedInput);
        if (capture_) capture_->documentChanged(text ? "edit" : "reload", document.text);
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
    rebindPorts();
    return true;
}

void Session::rebindPorts() {
    portsRevision_ = evaluator_->portsRevision();
    const auto image = [&](const std::string& endpoint) {
        const QCPort* port = evaluator_->port(endpoint);
        return port && port->kind() == QCPortKind::Image ? static_cast<const QCGLImagePort*>(port) : nullptr;
    };
    // A port that is gone for now (a shader saved without that input) shows nothing until it is back.
    for (Watch& w : watches_) w.rebind(evaluator_->port(w.endpoint()));
    for (const auto& save : saves_) save->port = image(save->endpoint);
    if (!shownEndpoint_.empty()) shown_ = image(shownEndpoint_);
}

Session::~Session() = default;

bool Session::showFirstImageOutput() {
    for (const PatchSpec& spec : document().patches)
        for (const QCPort* port : evaluator_->patch(spec.id)->ports())
            if (!port->isInput() && port->kind() == QCPortKind::Image) {
                shownEndpoint_ = spec.id + "." + port->name();
                shown_ = static_cast<const QCGLImagePort*>(port);
                return true;
            }
    return false;
}

void Session::setSurface(std::unique_ptr<RenderSurface> surface) { surface_ = std::move(surface); }

void Session::addSink(std::unique_ptr<FrameSink> sink) { sinks_.push_back(std::move(sink)); }

void Session::start() { evaluator_->start(); }

void Session::setCapture(ShowCapture* capture) {
    capture_ = capture;
    inputEvents_.setObserver(capture);
    if (capture) capture->start(options_, document());
}

void Session::frame(long index, double time, double clock) {
    const auto began = std::chrono::steady_clock::now();
    // Textures of images dropped on other threads since the last frame.
    GLShareGroup::collect();
    advanceAudioClock(clock);
    if (replay_) replay_->beforeFrame(index, time, *this);
    if (capture_) capture_->beforeFrame(index, time);
    scriptedMIDI_->playUntil(time);
    // The document's own script plays again in a replay: it is not written down.
    inputEvents_.setObserver(nullptr);
    scriptedInput_->playUntil(time, inputEvents_);
    inputEvents_.setObserver(capture_);
    inputEvents_.beginFrame();
    lastTime_ = time;
    draw(index, time);
    if (evaluator_->portsRevision() != portsRevision_) rebindPorts();
    if (overDraw_ && surface_ && surface_->width() > 0 && surface_->height() > 0) {
        CGLContextScope current(surface_->context());
        if (current.ok()) overDraw_(surface_->width(), surface_->height());
    }

    for (Watch& w : watches_)
        if (w.changed()) {
            if (beforePrint_) beforePrint_();
            std::printf("frame %ld t=%.3f %s = %s\n", index, time, w.endpoint().c_str(), w.text().c_str());
            std::fflush(stdout);
        }
    for (const auto& save : saves_) {
        if (!save->port) continue;
        const ImageRef& image = save->port->imageValue();
        if (image && image->CGImage()) save->writer.write(index, *image->CGImage());
    }

    RenderedFrame rendered{index, time, surface_ ? surface_->width() : 0, surface_ ? surface_->height() : 0, {}};
    rendered.clock = clock;
    bool wantsPixels = false;
    for (const auto& sink : sinks_) wantsPixels = wantsPixels || sink->wantsPixels();
    if (wantsPixels && rendered.width > 0 && rendered.height > 0) {
        const size_t rowBytes = static_cast<size_t>(rendered.width) * 4;
        pixels_.resize(rowBytes * static_cast<size_t>(rendered.height));
        CGLContextScope current(surface_->context());
        if (!current.ok()) throw std::runtime_error("cannot read frame " + std::to_string(index));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glReadPixels(0, 0, rendered.width, rendered.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
        // OpenGL reads from the bottom row up; frames start at the top.
        for (size_t top = 0, bottom = static_cast<size_t>(rendered.height) - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(pixels_.begin() + static_cast<std::ptrdiff_t>(top * rowBytes),
                             pixels_.begin() + static_cast<std::ptrdiff_t>((top + 1) * rowBytes),
                             pixels_.begin() + static_cast<std::ptrdiff_t>(bottom * rowBytes));
        GLShareGroup::countReadBack(pixels_.size());
        rendered.rgba = pixels_;
    }
    for (const auto& sink : sinks_) sink->write(rendered);
    stats_.add(std::chrono::steady_clock::now() - began);
    if (capture_) capture_->afterFrame(index, time, clock);
    ++framesRun_;
}

void Session::draw(long index, double time) {
    // Compositions rendered from this one resolve their paths against it and
    // may not render it again.
    QCRenderer::FileScope running(options_.file);
    if (!surface_) return evaluator_->executeFrame(time, nullptr, &arguments_);
    const CGLContextObj context = surface_->context();
    const int width = surface_->width(), height = surface_->height();
    // A window can be too small to draw into (minimised); time goes on.
    if (width <= 0 || height <= 0) return evaluator_->executeFrame(time, nullptr, &arguments_);
    if (hasConsumers()) {
        if (!QCRenderer::renderFrame(*evaluator_, context, width, height, time, &arguments_))
            throw std::runtime_error("cannot render frame " + std::to_string(index));
    } else {
        evaluator_->executeFrame(time, nullptr, &arguments_);
    }
    if (!shown_) return;
    CGLContextScope current(context);
    if (!current.ok()) throw std::runtime_error("cannot draw the image of " + shownEndpoint_);
    letterbox_.draw(context, shown_->imageValue(), width, height);
}

void Session::finish(double clock) {
    if (finished_) return;
    finished_ = true;
    finishAudioClock(clock);
    for (const auto& sink : sinks_) sink->finish();
    evaluator_->stop();
    GLShareGroup::collect();
    if (capture_) capture_->finish(framesRun_);
}
