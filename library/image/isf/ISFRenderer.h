#pragma once

#include "host/QCValues.h"
#include "library/image/isf/ISFHeader.h"
#include "library/image/isf/ISFSource.h"
#include "platform/gl/GLTexturePool.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

using GLuint = unsigned int;

// A compiled ISF shader and its pass buffers: renders all passes of a
// frame into textures of the share group and hands out the last pass as a
// GPU image. Use on the evaluation thread; it makes a context of the share
// group current for its own calls.
class ISFRenderer {
public:
    // Null with `error` set to one line in the user's terms (`file`:LINE: ...).
    static std::unique_ptr<ISFRenderer> create(const ISFHeader& header, const ISFSource& source,
                                               const std::string& file, std::string* error);
    ~ISFRenderer();
    ISFRenderer(const ISFRenderer&) = delete;
    ISFRenderer& operator=(const ISFRenderer&) = delete;

    struct Frame {
        int width = 0, height = 0;  // the render size ($WIDTH, $HEIGHT)
        double time = 0, timeDelta = 0;
        int frameIndex = 0;
        std::map<std::string, ImageRef> images;  // inputs and imported, by name
        std::map<std::string, double> variables;  // $name in pass sizes
        // Sets the inputs' uniforms on the bound program.
        std::function<void(GLuint program)> setInputs;
    };
    // The output, or null when OpenGL cannot render it; `error` names a pass
    // size that does not evaluate.
    ImageRef render(const Frame& frame, std::string* error);

private:
    struct Buffer {
        GLuint front = 0, back = 0;  // read, written
        int width = 0, height = 0;
        bool isFloat = false;
    };
    ISFRenderer() = default;
    bool passSize(const ISFPass& pass, const Frame& frame, int* width, int* height, std::string* error) const;
    void bindImages(const Frame& frame);
    GLuint outputTexture(int width, int height, bool isFloat);

    ISFHeader header_;
    GLuint program_ = 0;
    GLuint framebuffer_ = 0;
    std::map<std::string, Buffer> buffers_;
    // The textures of outputs that went, rendered into again.
    std::shared_ptr<GLTexturePool> outputs_ = GLTexturePool::create();
};
