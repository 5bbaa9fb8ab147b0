#pragma once

#include <memory>
#include <string>
#include <vector>

// What an ISF shader's JSON header declares.
struct ISFInput {
    enum class Type { Event, Bool, Long, Float, Point2D, Color, Image, Audio, AudioFFT };
    std::string name, label;
    Type type = Type::Float;
    // Components: 1 for numbers, 2 for point2D, 4 for color.
    std::vector<double> defaults, minimum, maximum;
    std::vector<int> values;  // long: the choices
    std::vector<std::string> labels;
    bool isImage() const { return type == Type::Image || type == Type::Audio || type == Type::AudioFFT; }
};

struct ISFPass {
    std::string target;  // empty: renders the output
    bool persistent = false;
    bool isFloat = false;
    std::string width, height;  // expressions; empty: the render size
};

struct ISFImported {
    std::string name, path;  // path as written, relative to the shader file
};

struct ISFHeader {
    std::string description, credit;
    std::vector<std::string> categories;
    std::vector<ISFInput> inputs;
    std::vector<ISFPass> passes;  // at least one
    std::vector<ISFImported> imported;

    // Has an image input named inputImage.
    bool isFilter() const;
    // Reads the header of `source` (the first /* */ comment). Null with
    // `error` set to "LINE: what is wrong" (the line in `source`).
    static std::unique_ptr<ISFHeader> parse(const std::string& source, std::string* error);
};
