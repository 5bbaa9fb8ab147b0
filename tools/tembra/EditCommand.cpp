#include "EditCommand.h"

#include "InterruptHandler.h"
#include "OffscreenSurface.h"
#include "Pacer.h"
#include "Session.h"
#include "ShowCapture.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/RegularFile.h"
#include "host/QCNodeManager.h"
#include "tools/tembra/editor/EditorServer.h"
#include "tools/tembra/editor/EditorSession.h"

#include "tools/tembra/ClassSchema.h"
#include "tools/tembra/InstallLayout.h"
#include "tools/tembra/RunCommand.h"

#include <spawn.h>
#include <sys/random.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

extern char** environ;

namespace {

// 128 random bits as hex, new for every start.
std::string newToken() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) throw std::runtime_error("cannot make the editor's token: no random numbers");
        got += static_cast<size_t>(n);
    }
    static const char* digits = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) token += {digits[b >> 4], digits[b & 15]};
    return token;
}

// The page's files: TEMBRA_EDITOR_PAGE, else share/tembra/editor beside the
// program's folder (the build tree and the installed layout alike).
std::string pageFolder() {
    if (const char* env = std::getenv("TEMBRA_EDITOR_PAGE"); env && *env) return env;
    const auto data = InstallLayout::dataDirectory();
    const auto folder = data / "editor";
    std::error_code error;
    if (data.empty() || !std::filesystem::is_regular_file(folder / "index.html", error))
        throw std::runtime_error("the editor's page is not installed (no " + (folder / "index.html").string() +
                                 "): build the target editor_page, or set TEMBRA_EDITOR_PAGE");
    return folder.string();
}

void openInBrowser(const std::string& url) {
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        NSLog("cannot open a browser: xdg-open is missing; open %s yourself", url.c_str());
}

constexpr const char* kEmptyComposition = "{\n  \"patches\": []\n}\n";

}  // namespace

int editComposition(const EditOptions& options) {
    const RunOptions& run = options.session;
    checkFrameRate(run.fps);

    // A file that does not exist yet starts empty; the first save creates it.
    std::string onDisk;
    const bool exists = std::filesystem::exists(run.file);
    if (exists) {
        std::string error;
        auto text = readRegularFile(run.file, CompositionDocument::kMaxTextBytes, &error);
        if (!text) throw std::runtime_error(error);
        onDisk = *text;
    }
    const std::string initial = exists ? onDisk : kEmptyComposition;
    std::string error;
    // The take outlives the session, which writes the edits to it.
    std::unique_ptr<ShowCapture> capture;
    if (!run.capture.empty() && !(capture = ShowCapture::create(run.capture, &error))) throw std::runtime_error(error);
    Session session(run, &initial);
    session.setLive();
    if (capture) session.setCapture(capture.get());

    // Edits may add patches that draw later, so there is always a surface.
    auto surface = OffscreenSurface::create(session.document().renderWidth, session.document().renderHeight, &error);
    if (surface) session.setSurface(std::move(surface));
    else NSLog("%s; running it without drawing", error.c_str());

    EditorServer::Settings settings;
    settings.host = options.host;
    settings.port = options.port;
    settings.token = newToken();
    settings.pageFolder = pageFolder();
    settings.classesJSON = classSchema(QCNodeManager::shared()).dump();
    auto server = EditorServer::create(settings, &error);
    if (!server) throw std::runtime_error(error);
    EditorSession editor(session, *server, run.file, session.document().json, onDisk);

    if (options.host != "127.0.0.1" && options.host != "localhost" && options.host != "::1")
        std::fprintf(stderr,
                     "tembra: warning: the editor listens on %s, reachable from other machines; the token "
                     "still guards it\n",
                     options.host.c_str());
    const std::string shownHost = options.host == "0.0.0.0" ? "127.0.0.1" : options.host;
    const std::string url =
        "http://" + shownHost + ":" + std::to_string(server->port()) + "/#token=" + settings.token;
    std::printf("editor: %s\n", url.c_str());
    std::fflush(stdout);
    if (options.open) openInBrowser(url);

    const InterruptHandler interruptHandler;
    session.start();
    RealtimePacer pacer;
    double clock = 0;
    for (long frame = 0; (run.frames < 0 || frame < run.frames) && !interruptHandler.interrupted(); ++frame) {
        const double time = static_cast<double>(frame) / run.fps;
        clock = pacer.waitFor(time);
        // Edits are applied between frames, never inside one.
        editor.poll(clock);
        session.frame(frame, time, clock);
    }
    session.finish(clock);
    return 0;
}
