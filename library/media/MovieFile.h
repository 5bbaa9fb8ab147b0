#pragma once

#include "host/QCPatch.h"

#include <memory>
#include <string>

class MovieDecoder;
class SoundPlayer;

// Provider: a movie clip's pictures at composition time, with its sound on
// the composition's audio output in step with them: play, pause, speed,
// backwards, loop, and jumps to a position.
class MovieFile : public QCPatch {
public:
    static constexpr const char* className = "MovieFile";
    static constexpr const char* classDescription =
        "Plays a movie file: its pictures, and its sound on the audio output in step with them.";
    static int executionMode() { return 2; }

    explicit MovieFile(const std::string& identifier);
    ~MovieFile() override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCStringPort inputPath{this, "inputPath", {.description = "path of the movie file", .path = QCPathKind::File}};
    QCBooleanPort inputPlaying{this, "inputPlaying", {.description = "plays when true, holds the picture when false"}};
    QCNumberPort inputRate{this, "inputRate",
        {.description = "speed: 1 as made, 2 twice as fast, negative backwards", .min = -4, .max = 4}};
    QCBooleanPort inputLoop{this, "inputLoop", {.description = "starts again at the end (at the start, backwards)"}};
    QCNumberPort inputPosition{this, "inputPosition",
        {.description = "a time in the movie to jump to whenever it is set anew; negative: none", .min = 0,
         .max = 3600, .unit = "s"}};
    QCNumberPort inputVolume{this, "inputVolume", {.description = "the sound's gain", .min = 0, .max = 1}};
    QCGLImagePort outputImage{this, "outputImage", {.description = "the picture at the movie's time; none until one is ready"}};
    QCNumberPort outputPosition{this, "outputPosition", {.description = "the movie's time", .unit = "s"}};
    QCNumberPort outputDuration{this, "outputDuration", {.description = "the movie's length (0 until known)", .unit = "s"}};

private:
    void openMovie(const std::string& path, bool live);
    double advance(double dt);

    StringRef currentPath_;
    bool hasOpened_ = false;
    std::unique_ptr<MovieDecoder> decoder_;    // the one shown
    std::unique_ptr<MovieDecoder> incoming_;   // a new path, opening
    std::unique_ptr<SoundPlayer> player_;
    bool soundGiven_ = false;
    uint64_t toldError_ = 0;
    uint64_t positionGeneration_ = 0;
    double movieTime_ = 0;
    double lastTime_ = 0;
    bool hasTime_ = false;
    const void* shown_ = nullptr;  // the CGImage on outputImage
};
