// tembra: the command-line host. Loads the patch bundles, lists its classes,
// runs compositions.

#include "AudioOption.h"
#include "BuildInfo.h"
#include "Bundle.h"
#include "EditCommand.h"
#include "ListCommand.h"
#include "PlayCommand.h"
#include "RunCommand.h"
#include "VideoFrameSink.h"
#include "host/CompositionDocument.h"
#include "platform/foundation/NSLog.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

void setLogDestination(const std::string& log) {
    std::string error;
    bool ok = true;
    if (log == "stderr") ok = NSLogSetDestination(LogDestination::StandardError);
    else if (log == "syslog") ok = NSLogSetDestination(LogDestination::Syslog);
    else if (log == "none") ok = NSLogSetDestination(LogDestination::None);
    else ok = NSLogSetDestination(LogDestination::File, log, &error);
    if (!ok) throw UsageError("--log: " + error);
}

// Counts and lengths: finite and not negative, said in words rather than as
// a range with a 309-digit bound.
const CLI::Validator kNotNegative(
    [](const std::string& text) -> std::string {
        try {
            size_t used = 0;
            const double value = std::stod(text, &used);
            if (used == text.size() && std::isfinite(value) && value >= 0) return {};
        } catch (const std::exception&) {
        }
        return "\"" + text + "\" must be a number, 0 or more";
    },
    "NUMBER >= 0");

// The options every command that runs a composition takes.
void addSessionOptions(CLI::App* command, RunOptions& options, std::string& audio) {
    command->add_option("file", options.file, "composition file (JSON)")->required();
    command->add_option("--set", options.sets, "set an input before the run: id.port=value (repeatable)")
        ->allow_extra_args(false);
    command->add_option("--watch", options.watches, "print id.port whenever its value changes (repeatable)")
        ->allow_extra_args(false);
    command->add_option("--save", options.saves, "save image port id.port to PNG files per frame: id.port=PATTERN")
        ->allow_extra_args(false);
    command->add_option("--show", options.show,
                        "the image output id.port to show instead of what the composition draws");
    command->add_flag("--stats", options.stats,
                      "at the end, print frame times and the images uploaded to and read back from the GPU");
    command->add_flag("--print-midi", options.printMIDI,
                      "print every packet a virtual MIDI destination receives: midi NAME t=TIME HEX BYTES");
    command->add_option("--audio", audio, "audio output: jack, wav:PATH or none (default: JACK when a server runs)")
        ->check(CLI::Validator(
            [](const std::string& text) { return text.empty() ? std::string("must be jack, wav:PATH or none") : std::string(); },
            "jack|wav:PATH|none"));
    command->add_option("--record", options.record,
                        "record the frames and their sound to a video file: OUT.mp4, OUT.mov (H.264, AAC) or "
                        "OUT.mkv (lossless FFV1, FLAC)");
    command->add_option("--record-quality", options.recordQuality,
                        "H.264 quality of --record: 0 (lossless) to 51, lower is better")
        ->check(CLI::Range(0, 51))
        ->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"tembra - runs compositions of Tembra patches, frame by frame"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("tembra ") + tembraVersion() + " (commit " + tembraCommit() + ")",
                         "print the version and the commit this build comes from");
    std::vector<std::string> bundles;
    std::string log = "stderr";
    app.add_option("--bundle", bundles,
                   "load this patch bundle too, after those in ../lib/tembra/bundles, $TEMBRA_BUNDLE_PATH and "
                   "~/.local/lib/tembra/bundles (repeatable)")
        ->allow_extra_args(false);
    app.add_option("--log", log, "where the system log goes: stderr, syslog, none or a file path")
        ->capture_default_str();

    auto* list = app.add_subcommand("list", "list the registered patch classes with their ports");
    bool listJSON = false;
    list->add_flag("--json", listJSON, "print every bundle, class and port as one JSON document");

    RunOptions run;
    std::string audio;
    auto* runCommand = app.add_subcommand("run", "run a composition");
    addSessionOptions(runCommand, run, audio);
    runCommand->add_option("--frames", run.frames, "number of frames to run (default 1)")->check(kNotNegative);
    runCommand->add_option("--duration", run.duration, "seconds of composition time to run")
        ->check(kNotNegative);
    runCommand->add_option("--fps", run.fps, "frames per second of composition time")->capture_default_str();
    runCommand->add_flag("--realtime", run.realtime,
                         "pace frames to the wall clock (without --frames or --duration: until Ctrl-C)");
    runCommand->add_option("--render", run.render, "save each rendered frame as a PNG file: PATTERN (out/frame-%04d.png)");
    runCommand->add_option("--replay", run.replay,
                           "play a take of a live show back: its documents, inputs and frame times (--fps and --size "
                           "render it at another rate and size)");
    runCommand->add_option("--size", run.renderSize, "render at WIDTHxHEIGHT instead of the composition's render size");

    PlayOptions play;
    auto* playCommand = app.add_subcommand("play", "play a composition live in a window until it is closed");
    addSessionOptions(playCommand, play.session, audio);
    playCommand->add_option("--frames", play.session.frames, "stop after this many frames (default: when closed)")
        ->check(kNotNegative);
    playCommand->add_option("--fps", play.session.fps, "frames per second where the display sets no pace")
        ->capture_default_str();
    playCommand->add_option("--size", play.size, "window size WIDTHxHEIGHT (default: the composition's render size)");
    playCommand->add_flag("--fullscreen", play.fullscreen,
                          "start full screen, borderless and without the pointer (F or F11 toggles)");
    playCommand->add_flag("--overlay", play.overlay,
                          "show errors over the picture in full screen too (a window always shows them)");
    playCommand->add_option("--display", play.display, "the display to show on, by index (see --list-displays)")
        ->check(CLI::NonNegativeNumber);
    playCommand->add_flag_callback("--list-displays", [] { throw DisplayListAsked{}; },
                                   "print the displays, INDEX WIDTHxHEIGHT NAME, one per line, and exit");
    playCommand->add_option("--snapshot", play.snapshot,
                            "save what the window shows as a PNG file per frame: PATTERN (out/shown-%04d.png)");
    playCommand->add_option("--capture", play.session.capture,
                            "write the show to a take as it runs (MIDI, keys, mouse, reloads, frame times) for "
                            "tembra run --replay; the file must not exist yet");
    playCommand->footer("Keys: Space pauses, R reloads (saving the file does too), F or F11 full screen, Esc or Q quits.");

    EditOptions edit;
    auto* editCommand = app.add_subcommand("edit", "play a composition off screen and edit it in the browser");
    addSessionOptions(editCommand, edit.session, audio);
    editCommand->add_option("--frames", edit.session.frames, "stop after this many frames (default: at Ctrl-C)")
        ->check(kNotNegative);
    editCommand->add_option("--fps", edit.session.fps, "frames per second")->capture_default_str();
    editCommand->add_option("--port", edit.port, "port of the editor (default: a free one)");
    editCommand->add_option("--host", edit.host, "address the editor listens on")->capture_default_str();
    editCommand->add_flag("--open", edit.open, "open the editor in the desktop's browser");
    editCommand->add_option("--capture", edit.session.capture,
                            "write the show to a take as it runs, edits included, for tembra run --replay");

    try {
        app.parse(argc, argv);
    } catch (const DisplayListAsked&) {
        try {
            return printDisplays(std::cout);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tembra: %s\n", e.what());
            return 1;
        }
    } catch (const CLI::ParseError& e) {
        // Help is printed in full; a mistake is one line.
        if (e.get_exit_code() == 0) return app.exit(e);
        std::fprintf(stderr, "tembra: %s\n", e.what());
        return 2;
    }

    run.fpsGiven = runCommand->count("--fps") > 0;
    NSLogSetProgramName("tembra");
    try {
        // Refused before anything is loaded or run.
        const std::string& record = *playCommand ? play.session.record : *editCommand ? edit.session.record : run.record;
        if (!record.empty()) VideoFrameSink::checkPath(record);
        setLogDestination(log);
        loadBundles(bundles, QCNodeManager::shared());
        if (*list) {
            if (listJSON) listClassesAsJSON(QCNodeManager::shared(), std::cout);
            else listClasses(QCNodeManager::shared(), std::cout);
            return 0;
        }
        configureAudioOutput(audio, record.empty()       ? RecordedSound::None
                                    : *playCommand || *editCommand ? RecordedSound::Live
                                                   : RecordedSound::OnCompositionTime);
        if (*playCommand) return playComposition(play);
        if (*editCommand) return editComposition(edit);
        return runComposition(run);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tembra: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tembra: %s\n", e.what());
        return 1;
    }
}
