#include "tests/library/media/MediaTesting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

CommandResult runDocument(const TempDir& dir, const std::string& doc, const std::string& arguments) {
    return runCommand(tembraProgram() + " --log stderr run " + dir.write("doc.json", doc) + " " + arguments);
}

std::map<long, std::string> watchedText(const std::string& out, const std::string& port) {
    std::map<long, std::string> values;
    std::istringstream lines(out);
    const std::regex line("frame (\\d+) t=[0-9.]+ " + port + " = (.*)");
    for (std::string text; std::getline(lines, text);)
        if (std::smatch m; std::regex_match(text, m, line)) values[std::stol(m[1])] = m[2];
    return values;
}

std::vector<double> watchedPerFrame(const std::string& out, const std::string& port, long frames) {
    const auto changes = watchedText(out, port);
    std::vector<double> values;
    double value = 0;
    for (long f = 0; f < frames; ++f) {
        if (auto it = changes.find(f); it != changes.end())
            value = it->second == "true" ? 1 : it->second == "false" ? 0 : std::stod(it->second);
        values.push_back(value);
    }
    return values;
}

void makeMedia(const std::string& command) {
    const CommandResult r = runCommand(command);
    ASSERT_EQ(r.status, 0) << command << "\n" << r.err;
}

std::vector<std::vector<uint8_t>> ffmpegPictures(const std::string& movie, int width, int height, int frames) {
    const std::string raw = movie + ".rgba";
    makeMedia("ffmpeg -v error -y -i " + movie + " -frames:v " + std::to_string(frames) +
              " -sws_flags bicubic -f rawvideo -pix_fmt rgba " + raw);
    std::ifstream in(raw, std::ios::binary);
    std::vector<std::vector<uint8_t>> pictures;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> picture(bytes);
        if (!in.read(reinterpret_cast<char*>(picture.data()), static_cast<std::streamsize>(bytes))) break;
        pictures.push_back(std::move(picture));
    }
    return pictures;
}
