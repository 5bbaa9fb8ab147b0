#include "TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

LogCapture::LogCapture() {
    NSLogSetDestination(LogDestination::Capture);
    NSLogClearCaptured();
}

LogCapture::~LogCapture() {
    NSLogClearCaptured();
    NSLogSetDestination(LogDestination::StandardError);
}

bool LogCapture::contains(const std::string& line) const { return count(line) > 0; }

size_t LogCapture::count(const std::string& line) const {
    const auto all = lines();
    return static_cast<size_t>(std::count(all.begin(), all.end(), line));
}

TempDir::TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("tembra-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
}

CommandResult runCommand(const std::string& command) {
    TempDir dir;
    const auto out = dir.path() / "out", err = dir.path() / "err";
    const std::string full = command + " >" + out.string() + " 2>" + err.string();
    const int raw = std::system(full.c_str());
    CommandResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::stringstream o, e;
    o << std::ifstream(out).rdbuf();
    e << std::ifstream(err).rdbuf();
    result.out = o.str();
    result.err = e.str();
    return result;
}

std::string tembraProgram() { return std::string(TEMBRA_BINARY_DIR) + "/bin/tembra"; }
std::string bundlePath() { return std::string(TEMBRA_BINARY_DIR) + "/lib/tembra/bundles/libTembra.so"; }
std::string libraryBundlePath() { return std::string(TEMBRA_BINARY_DIR) + "/lib/tembra/bundles/libTembraLibrary.so"; }

std::vector<float> readStereoWAV(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr || info.channels != 2) {
        if (file) sf_close(file);
        return {};
    }
    std::vector<float> samples(static_cast<size_t>(info.frames) * 2);
    samples.resize(static_cast<size_t>(sf_readf_float(file, samples.data(), info.frames)) * 2);
    sf_close(file);
    return samples;
}

std::vector<uint8_t> pngPixels(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    std::vector<uint8_t> rgba;
    if (png_image_begin_read_from_file(&png, path.c_str())) {
        png.format = PNG_FORMAT_RGBA;
        rgba.resize(PNG_IMAGE_SIZE(png));
        if (!png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr)) rgba.clear();
    }
    if (rgba.empty()) ADD_FAILURE() << path << ": " << png.message;
    return rgba;
}
