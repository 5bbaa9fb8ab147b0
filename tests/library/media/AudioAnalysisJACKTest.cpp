// AudioAnalysis listening to JACK ports of a client in the test.
#include "tests/library/media/MediaTesting.h"
#include "tests/platform/audio/AudioTesting.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// A JACK client playing a sine on one output port for as long as it lives.
class ToneClient {
public:
    explicit ToneClient(double hz) : hz_(hz) {
        client = jack_client_open("tembra-test-tone", JackNoStartServer, nullptr);
        if (client == nullptr) return;
        rate_ = jack_get_sample_rate(client);
        port_ = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client, &ToneClient::process, this);
        jack_activate(client);
    }
    ~ToneClient() {
        if (client != nullptr) jack_client_close(client);
    }
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<ToneClient*>(arg);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->port_, frames));
        for (jack_nframes_t i = 0; i < frames; ++i, ++self->frame_)
            out[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * self->hz_ * double(self->frame_) / self->rate_));
        return 0;
    }

    jack_client_t* client = nullptr;

private:
    double hz_, rate_ = 48000;
    jack_port_t* port_ = nullptr;
    uint64_t frame_ = 0;
};

TEST(AudioAnalysisOnJACK, AToneIntoJACKPeaksInTheBandHoldingIt) {
    ToneClient tone(1000);
    TEMBRA_REQUIRE_JACK(tone.client != nullptr);
    TempDir dir;
    std::string watches;
    for (int b = 1; b <= 8; ++b) watches += " --watch a.outputBand" + std::to_string(b);
    const long frames = 30;
    const auto r = runDocument(dir, R"({"patches": [{"id": "a", "class": "AudioAnalysis", "inputs": {
        "inputSource": "jack:^tembra-test-tone:out$", "inputBands": 8, "inputAttack": 0, "inputRelease": 0}}]})",
                               "--realtime --fps 20 --frames 30 --audio none --watch a.outputLevel" + watches);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("AudioAnalysis:"), std::string::npos) << r.err;
    // 20 Hz to 20 kHz in 8 log steps: 1 kHz lies in the fifth band (632-1125 Hz).
    std::vector<double> bands;
    for (int b = 1; b <= 8; ++b)
        bands.push_back(watchedPerFrame(r.out, "a.outputBand" + std::to_string(b), frames).back());
    EXPECT_EQ(std::max_element(bands.begin(), bands.end()) - bands.begin(), 4) << r.out;
    EXPECT_GT(bands[4], 0.4);
    EXPECT_NEAR(watchedPerFrame(r.out, "a.outputLevel", frames).back(), 0.5 / std::sqrt(2.0), 0.01) << r.out;
}

// A movie's sound played live goes out on JACK: measured by an analysis
// of the composition's own output ports, as another client would hear it.
TEST(AudioAnalysisOnJACK, AMoviesSoundIsHeardOnJACK) {
    ToneClient probe(0);  // only to learn whether a server runs
    TEMBRA_REQUIRE_JACK(probe.client != nullptr);
    TempDir dir;
    // sox's sine is at the level asked (lavfi's starts at 1/8 of full scale).
    const std::string tone = (dir.path() / "tone.wav").string();
    makeMedia("sox -n -r 48000 -c 2 " + tone + " synth 3 sine 1000 vol 0.5");
    makeMedia("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -i " + tone + " -t 3 -c:v ffv1 -c:a flac " +
              (dir.path() / "clip.mkv").string());
    const long frames = 40;
    const auto r = runDocument(dir, R"({"patches": [
        {"id": "m", "class": "MovieFile", "inputs": {"inputPath": "clip.mkv"}},
        {"id": "a", "class": "AudioAnalysis", "inputs": {"inputSource": "jack:^tembra-audio:out_", "inputBands": 8,
                                                        "inputAttack": 0, "inputRelease": 0}}]})",
                               "--realtime --fps 20 --frames 40 --audio jack --watch a.outputLevel --watch a.outputBand5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("MovieFile:"), std::string::npos) << r.err;
    // The sine at half scale, once the movie plays: RMS 0.354 in the band holding 1 kHz.
    EXPECT_NEAR(watchedPerFrame(r.out, "a.outputLevel", frames).back(), 0.5 / std::sqrt(2.0), 0.03) << r.out;
    EXPECT_GT(watchedPerFrame(r.out, "a.outputBand5", frames).back(), 0.4) << r.out;
}

}  // namespace
