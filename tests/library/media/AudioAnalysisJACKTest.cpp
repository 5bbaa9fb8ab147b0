// AudioAnalysis listening to JACK ports of a client in the test.
#include "tests/library/media/MediaTesting.h"
#include "tests/platform/audio/AudioTesting.h"
#include "tests/platform/audio/ToneClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

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
