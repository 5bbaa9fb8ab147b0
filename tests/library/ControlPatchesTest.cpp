#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>
#include <vector>

namespace {

CommandResult run(const TempDir& dir, const std::string& doc, const std::string& arguments) {
    return runCommand(tembraProgram() + " --log stderr run " + dir.write("doc.json", doc) + " " + arguments);
}

// The values of `port` in --watch lines, in frame order.
std::vector<double> watched(const std::string& out, const std::string& port) {
    std::vector<double> values;
    std::istringstream lines(out);
    const std::regex line("frame \\d+ t=[0-9.]+ " + port + " = (\\S+)");
    for (std::string text; std::getline(lines, text);)
        if (std::smatch m; std::regex_match(text, m, line)) values.push_back(std::stod(m[1]));
    return values;
}

TEST(ControlPatches, ExpressionMakesAnInputPerVariableAndTakesConnections) {
    TempDir dir;
    const auto r = run(dir, R"({"patches": [
        {"id": "knob", "class": "Expression", "expression": "64"},
        {"id": "e", "class": "Expression", "expression": "a * 0.01 + 0.2 + depth * t", "inputs": {"depth": 2}}],
        "connections": [{"from": "knob.outputResult", "to": "e.a"}]})",
                       "--fps 2 --frames 2 --watch e.outputResult");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto values = watched(r.out, "e.outputResult");
    ASSERT_EQ(values.size(), 2u) << r.out;
    EXPECT_NEAR(values[0], 0.84, 1e-9);
    EXPECT_NEAR(values[1], 1.84, 1e-9);
}

TEST(ControlPatches, AFormulaThatDoesNotParseNamesTheLineAndPosition) {
    TempDir dir;
    const auto r = run(dir, "{\"patches\": [\n{\"id\": \"e\", \"class\": \"Expression\",\n \"expression\": \"a * (2 +\"}]}",
                       "--frames 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("doc.json:3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cannot parse its expression \"a * (2 +\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("position"), std::string::npos) << r.err;
}

TEST(ControlPatches, ADivisionByZeroIsNaNWithOneLogLine) {
    TempDir dir;
    const auto r = run(dir, R"({"patches": [{"id": "e", "class": "Expression", "expression": "1 / b"}]})",
                       "--frames 5 --watch e.outputResult");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto values = watched(r.out, "e.outputResult");
    ASSERT_FALSE(values.empty()) << r.out;
    EXPECT_TRUE(std::isnan(values[0]));
    size_t lines = 0;
    for (size_t at = r.err.find("has no value"); at != std::string::npos; at = r.err.find("has no value", at + 1)) ++lines;
    EXPECT_EQ(lines, 1u) << r.err;
}

TEST(ControlPatches, LFOFollowsCompositionTimeAndAnOutsidePhase) {
    TempDir dir;
    const auto r = run(dir, R"({"patches": [
        {"id": "saw", "class": "LFO", "inputs": {"inputShape": 3, "inputPeriod": 2}},
        {"id": "sq", "class": "LFO", "inputs": {"inputShape": 2, "inputPeriod": 0, "inputPhase": 0.8,
                                                  "inputAmplitude": 0.5, "inputOffset": 1}}]})",
                       "--fps 4 --frames 4 --watch saw.outputValue --watch sq.outputValue");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(watched(r.out, "saw.outputValue"), (std::vector<double>{-1, -0.75, -0.5, -0.25}));
    EXPECT_EQ(watched(r.out, "sq.outputValue"), (std::vector<double>{0.5}));
}

TEST(ControlPatches, SmoothGlidesWithItsTimeConstant) {
    TempDir dir;
    const auto r = run(dir, R"({"patches": [
        {"id": "step", "class": "Expression", "expression": "t >= 0.5 ? 1 : 0"},
        {"id": "s", "class": "Smooth", "inputs": {"inputTimeConstant": 0.5}}],
        "connections": [{"from": "step.outputResult", "to": "s.inputValue"}]})",
                       "--fps 2 --frames 3 --watch s.outputValue");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto v = watched(r.out, "s.outputValue");
    ASSERT_EQ(v.size(), 3u) << r.out;
    EXPECT_NEAR(v[1], 1 - std::exp(-1.0), 1e-9);
    EXPECT_NEAR(v[2], 1 - std::exp(-2.0), 1e-9);
}

TEST(ControlPatches, CounterToggleAndSelectStepOnTriggers) {
    TempDir dir;
    // A trigger that turns true on every other frame.
    const auto r = run(dir, R"({"patches": [
        {"id": "pulse", "class": "LFO", "inputs": {"inputShape": 2, "inputPeriod": 0.5, "inputAmplitude": 0.5, "inputOffset": 0.5}},
        {"id": "c", "class": "Counter", "inputs": {"inputMaximum": 2, "inputWrap": true}},
        {"id": "tg", "class": "Toggle"},
        {"id": "sel", "class": "SelectString", "inputs": {"inputSource0": "zero", "inputSource1": "one", "inputSource2": "two"}}],
        "connections": [{"from": "pulse.outputValue", "to": "c.inputUp"}, {"from": "pulse.outputValue", "to": "tg.inputTrigger"},
                        {"from": "c.outputCount", "to": "sel.inputIndex"}]})",
                       "--fps 4 --frames 8 --watch c.outputCount --watch tg.outputValue --watch sel.outputValue");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(watched(r.out, "c.outputCount"), (std::vector<double>{1, 2, 0, 1})) << r.out;
    EXPECT_NE(r.out.find("frame 6 t=1.500 sel.outputValue = \"one\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frame 2 t=0.500 tg.outputValue = false"), std::string::npos) << r.out;
}

// A scripted 120 BPM clock (a Timing Clock every 1/48 s) through the real
// clock patch into Tempo.
TEST(ControlPatches, TempoReadsA120BPMClockWithASmoothPhase) {
    std::string events = R"({"time": 0.0, "bytes": [250]})";
    char time[32];
    for (int i = 1; i <= 150; ++i) {
        std::snprintf(time, sizeof time, "%.17g", i / 48.0);
        events += std::string(",{\"time\": ") + time + ", \"bytes\": [248]}";
    }
    TempDir dir;
    const auto r = run(dir, R"({"midiSources": [{"name": "Clock", "device": "Script", "events": [)" + events + R"(]}],
        "patches": [{"id": "clock", "class": "TembraMIDIClock", "inputs": {"inputFilter": "Clock"}},
                    {"id": "tempo", "class": "Tempo"}],
        "connections": [{"from": "clock.outputMeasures", "to": "tempo.inputMeasures"},
                        {"from": "clock.outputStartSignal", "to": "tempo.inputStart"}]})",
                       "--fps 240 --duration 2.5 --watch tempo.outputBeatsPerMinute --watch tempo.outputBeatPhase");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bpm = watched(r.out, "tempo.outputBeatsPerMinute");
    ASSERT_FALSE(bpm.empty()) << r.out;
    EXPECT_NEAR(bpm.back(), 120.0, 0.1);
    // Past two beats (1 s at 240 frames a second), the phase rises by about
    // 2/240 of a beat every frame, between clock messages too (not a 1/24
    // step every fifth frame).
    const auto phase = watched(r.out, "tempo.outputBeatPhase");
    ASSERT_GT(phase.size(), 300u) << r.out;
    for (size_t i = 250; i < 300; ++i) {
        const double step = std::fmod(phase[i + 1] - phase[i] + 1.0, 1.0);
        EXPECT_NEAR(step, 2.0 / 240, 0.3 * 2.0 / 240) << "frame " << i;
    }
}

}  // namespace
