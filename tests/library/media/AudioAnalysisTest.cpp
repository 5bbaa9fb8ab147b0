// AudioAnalysis through `tembra run`, on songs made with sox in the test.
#include "tests/library/media/MediaTesting.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

namespace {

// The band (from 0) of `count` log-spaced bands from 20 Hz to 20 kHz that holds `hz`.
int bandHolding(double hz, int count) {
    return static_cast<int>(std::floor(std::log(hz / 20.0) / std::log(20000.0 / 20.0) * count));
}

TEST(AudioAnalysis, ASongIsMeasuredOnCompositionTime) {
    TempDir dir;
    makeMedia("sox -n -r 48000 -c 2 " + (dir.path() / "tone.wav").string() + " synth 2 sine 1000 vol 0.5");
    std::string watches;
    for (int b = 1; b <= 17; ++b) watches += " --watch a.outputBand" + std::to_string(b);
    const auto r = runDocument(dir, R"({"patches": [{"id": "a", "class": "AudioAnalysis", "inputs": {
        "inputSource": "file:tone.wav", "inputBands": 16, "inputAttack": 0, "inputRelease": 0}}]})",
                               "--fps 10 --frames 5 --watch a.outputLevel --watch a.outputPeakDB "
                               "--watch a.outputLevelDB --watch a.outputWaveform --watch a.outputSpectrum" + watches);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(watchedPerFrame(r.out, "a.outputLevel", 5)[3], 0.5 / std::sqrt(2.0), 0.005) << r.out;
    EXPECT_NEAR(watchedPerFrame(r.out, "a.outputLevelDB", 5)[3], 20 * std::log10(0.5 / std::sqrt(2.0)), 0.1);
    EXPECT_NEAR(watchedPerFrame(r.out, "a.outputPeakDB", 5)[3], 20 * std::log10(0.5), 0.1);
    EXPECT_EQ(watchedText(r.out, "a.outputWaveform")[1], "image 1024x2");
    EXPECT_EQ(watchedText(r.out, "a.outputSpectrum")[1], "image 512x2");

    std::vector<double> bands;
    for (int b = 1; b <= 16; ++b) bands.push_back(watchedPerFrame(r.out, "a.outputBand" + std::to_string(b), 5)[3]);
    const auto strongest = std::max_element(bands.begin(), bands.end()) - bands.begin();
    EXPECT_EQ(strongest, bandHolding(1000, 16)) << r.out;
    EXPECT_GT(bands[static_cast<size_t>(strongest)], 0.4);
    EXPECT_EQ(watchedPerFrame(r.out, "a.outputBand17", 5)[3], 0.0) << "bands above inputBands stay at 0";
}

TEST(AudioAnalysis, AClickTrackGivesOneOnsetPerClickOverAHum) {
    TempDir dir;
    const std::string clicks = (dir.path() / "clicks.wav").string(), hum = (dir.path() / "hum.wav").string();
    // Eight 3 ms bursts of noise, the first at 0.25 s and then every 0.5 s,
    // over a steady 220 Hz hum that must not count.
    makeMedia("sox -n -r 48000 -c 2 " + (dir.path() / "c.wav").string() +
              " synth 0.003 whitenoise vol 0.8 pad 0.25 0.247 repeat 7");
    makeMedia("sox -n -r 48000 -c 2 " + hum + " synth 4.5 sine 220 vol 0.3");
    makeMedia("sox -m " + (dir.path() / "c.wav").string() + " " + hum + " " + clicks);
    const long frames = 135;  // 4.5 s at 30 fps
    const auto r = runDocument(dir, R"({"patches": [{"id": "a", "class": "AudioAnalysis",
        "inputs": {"inputSource": "file:clicks.wav"}}]})",
                               "--fps 30 --frames 135 --watch a.outputOnset");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto onsets = watchedPerFrame(r.out, "a.outputOnset", frames);
    std::vector<long> at;
    for (long f = 0; f < frames; ++f)
        if (onsets[static_cast<size_t>(f)] != 0) at.push_back(f);
    // The hum's own start from silence is an onset too, on the first frame
    // that hears it.
    ASSERT_EQ(at.size(), 9u) << r.out;
    EXPECT_EQ(at[0], 1);
    at.erase(at.begin());
    for (size_t k = 0; k < at.size(); ++k) {
        const double click = 0.25 + 0.5 * static_cast<double>(k), shown = static_cast<double>(at[k]) / 30;
        // Shown on the first frame after the click, or the one after when
        // the click lands at the end of an analysis hop.
        EXPECT_GE(shown, click) << "onset " << k;
        EXPECT_LE(shown - click, 1.0 / 30 + 512.0 / 48000) << "onset " << k;
    }
}

TEST(AudioAnalysis, APlayedSongIsHeardAndTheMixIsMeasured) {
    TempDir dir;
    const std::string song = (dir.path() / "song.wav").string(), out = (dir.path() / "out.wav").string();
    makeMedia("sox -n -r 44100 -c 2 -e float -b 32 " + song + " synth 1 sine 300-900 vol 0.4");
    const auto r = runDocument(dir, R"({"patches": [
        {"id": "song", "class": "AudioAnalysis", "inputs": {"inputSource": "file:song.wav", "inputAttack": 0, "inputRelease": 0}},
        {"id": "mix", "class": "AudioAnalysis", "inputs": {"inputSource": "mix", "inputAttack": 0, "inputRelease": 0}}]})",
                               "--fps 20 --frames 20 --audio wav:" + out + " --watch song.outputLevel --watch mix.outputLevel");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<float> source = readStereoWAV(song), heard = readStereoWAV(out);
    ASSERT_EQ(heard.size(), source.size()) << "a second at 44.1 kHz";
    for (size_t i = 0; i < source.size(); ++i) ASSERT_NEAR(heard[i], source[i], 1e-6) << "sample " << i;

    // The mix is what was played up to each frame: the song's own window.
    const auto songLevel = watchedPerFrame(r.out, "song.outputLevel", 20);
    const auto mixLevel = watchedPerFrame(r.out, "mix.outputLevel", 20);
    for (size_t f = 2; f < 19; ++f) EXPECT_NEAR(mixLevel[f], songLevel[f], 0.02) << "frame " << f;
    EXPECT_GT(mixLevel[10], 0.25);
}

TEST(AudioAnalysis, BadSourcesAreToldOnceAndMeasureNothing) {
    TempDir dir;
    dir.write("notes.wav", "these are no samples\n");
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.wav").c_str(), 0600), 0);
    const auto r = runDocument(dir, R"({"patches": [
        {"id": "a", "class": "AudioAnalysis", "inputs": {"inputSource": "speakers"}},
        {"id": "b", "class": "AudioAnalysis", "inputs": {"inputSource": "file:missing.wav"}},
        {"id": "c", "class": "AudioAnalysis", "inputs": {"inputSource": "file:notes.wav"}},
        {"id": "d", "class": "AudioAnalysis", "inputs": {"inputSource": "file:pipe.wav"}},
        {"id": "e", "class": "AudioAnalysis", "inputs": {"inputSource": "jack:(unclosed"}}]})",
                               "--frames 10 --watch d.outputLevel --watch c.outputSpectrum");
    ASSERT_EQ(r.status, 0) << r.err;
    auto count = [&](const std::string& text) {
        size_t n = 0;
        for (size_t at = r.err.find(text); at != std::string::npos; at = r.err.find(text, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("AudioAnalysis: inputSource \"speakers\" must be jack:REGEX, mix or file:PATH"), 1u) << r.err;
    EXPECT_EQ(count("missing.wav: No such file or directory"), 1u) << r.err;
    EXPECT_EQ(count("notes.wav: not a movie or sound file FFmpeg reads"), 1u) << r.err;
    EXPECT_EQ(count("pipe.wav: is a FIFO, not a regular file"), 1u) << r.err;
    EXPECT_EQ(count("\"(unclosed\" is no regular expression"), 1u) << r.err;
    EXPECT_EQ(count("AudioAnalysis:"), 5u) << r.err;
    EXPECT_NE(r.out.find("frame 0 t=0.000 d.outputLevel = 0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frame 0 t=0.000 c.outputSpectrum = null"), std::string::npos) << r.out;
}

}  // namespace
