#include "library/media/MovieFile.h"

#include "host/QCGLCGImage.h"
#include "platform/audio/SoundPlayer.h"
#include "platform/foundation/NSLog.h"
#include "platform/media/MovieDecoder.h"
#include "platform/media/SoundFileDecoder.h"

#include <algorithm>
#include <cmath>

namespace {

// The rate a movie's sound is decoded at: the output device's.
double outputRate() {
    std::string ignored;
    auto probe = SoundPlayer::create(&ignored);
    return probe ? probe->sampleRate() : 0.0;
}

}  // namespace

MovieFile::MovieFile(const std::string& identifier) : QCPatch(identifier) {
    inputPlaying.setBooleanValue(true);
    inputRate.setDoubleValue(1.0);
    inputLoop.setBooleanValue(true);
    inputPosition.setDoubleValue(-1.0);
    inputVolume.setDoubleValue(1.0);
}

MovieFile::~MovieFile() = default;

void MovieFile::openMovie(const std::string& path, bool live) {
    MovieDecoder::Options options;
    options.soundRate = outputRate();
    auto decoder = std::make_unique<MovieDecoder>(path, options);
    // Live, the old picture stays until the new movie has one ready.
    if (live && decoder_ && decoder_->state() == MovieDecoder::State::Ready) {
        incoming_ = std::move(decoder);
        return;
    }
    incoming_.reset();
    decoder_ = std::move(decoder);
    player_.reset();
    soundGiven_ = false;
    toldError_ = 0;
    movieTime_ = 0;
}

double MovieFile::advance(double dt) {
    const double duration = decoder_ ? decoder_->duration() : 0;
    double t = movieTime_;
    if (inputPlaying.booleanValue() && std::isfinite(inputRate.doubleValue())) t += dt * inputRate.doubleValue();
    if (!std::isfinite(t)) t = 0;
    if (duration > 0) {
        if (inputLoop.booleanValue()) {
            t = std::fmod(t, duration);
            if (t < 0) t += duration;
        } else {
            t = std::clamp(t, 0.0, duration);
        }
    } else {
        t = std::max(0.0, t);
    }
    return t;
}

bool MovieFile::execute(QCOpenGLContext*, double time, const QCArguments* arguments) {
    const bool live = arguments && arguments->live;
    if (!hasOpened_ || inputPath.stringValue() != currentPath_) {
        hasOpened_ = true;
        currentPath_ = inputPath.stringValue();
        if (!currentPath_ || currentPath_->empty()) {
            decoder_.reset();
            incoming_.reset();
            player_.reset();
            outputImage.setImageValue(nullptr);
            shown_ = nullptr;
        } else {
            openMovie(*currentPath_, live);
        }
    }
    if (incoming_ && incoming_->state() != MovieDecoder::State::Opening) {
        decoder_ = std::move(incoming_);
        player_.reset();
        soundGiven_ = false;
        toldError_ = 0;
        movieTime_ = 0;
    }
    double dt = hasTime_ ? time - lastTime_ : 0.0;
    // Live, a movie starts at its first picture, not where the clock got to while it opened.
    if (live && !shown_) dt = 0;
    lastTime_ = time;
    hasTime_ = true;
    if (!decoder_) return true;

    if (inputPosition.generation() != positionGeneration_) {
        positionGeneration_ = inputPosition.generation();
        if (inputPosition.doubleValue() >= 0) {
            movieTime_ = inputPosition.doubleValue();
            const double duration = decoder_->duration();
            if (duration > 0) movieTime_ = std::min(movieTime_, duration);
        } else {
            movieTime_ = advance(dt);
        }
    } else {
        movieTime_ = advance(dt);
    }

    uint64_t serial = 0;
    if (decoder_->state() == MovieDecoder::State::Failed) {
        const std::string error = decoder_->error(&serial);
        if (serial != toldError_) NSLog("MovieFile: %s", error.c_str());
        toldError_ = serial;
        outputImage.setImageValue(nullptr);
        shown_ = nullptr;
        outputPosition.setDoubleValue(0);
        outputDuration.setDoubleValue(0);
        return true;
    }
    CGImageRef picture = decoder_->pictureAt(movieTime_, !live);
    if (picture && picture.get() != shown_) {
        shown_ = picture.get();
        outputImage.setImageValue(std::make_shared<const QCGLCGImage>(picture, nullptr));
    }
    outputPosition.setDoubleValue(movieTime_);
    outputDuration.setDoubleValue(decoder_->duration());

    if (!soundGiven_) {
        if (auto sound = decoder_->sound(); sound && !sound->stereo.empty()) {
            soundGiven_ = true;
            std::string ignored;
            player_ = SoundPlayer::create(&ignored);
            if (player_) player_->setSound(std::shared_ptr<const std::vector<float>>(sound, &sound->stereo));
        }
    }
    if (player_)
        player_->follow(movieTime_, inputPlaying.booleanValue() ? inputRate.doubleValue() : 0.0,
                        inputVolume.doubleValue());
    return true;
}
