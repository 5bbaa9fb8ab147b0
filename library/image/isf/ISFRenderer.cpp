#include "library/image/isf/ISFRenderer.h"

#include "host/QCGLCGImage.h"
#include "platform/gl/GLShareGroup.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <muParser.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

namespace {

std::string infoLog(GLuint object, bool isProgram) {
    GLint length = 0;
    isProgram ? glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length) : glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
    isProgram ? glGetProgramInfoLog(object, length, nullptr, log.data())
              : glGetShaderInfoLog(object, length, nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    return log;
}

GLuint compile(GLenum type, const ISFSource& isf, const std::string& file, std::string* error) {
    const bool isVertex = type == GL_VERTEX_SHADER;
    const GLuint shader = glCreateShader(type);
    const char* source = isVertex ? isf.vertex.c_str() : isf.fragment.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        *error = isf.userMessage(infoLog(shader, false), file, isVertex);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// A texture of the share group, transparent black, linear and clamped.
GLuint makeTexture(int width, int height, bool isFloat) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, isFloat ? GL_RGBA32F : GL_RGBA8, width, height, 0, GL_RGBA,
                 isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

void attach(GLuint texture) {
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
}

void clearAttached() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace

GLuint ISFRenderer::outputTexture(int width, int height, bool isFloat) {
    const GLuint kept = outputs_->take(width, height, isFloat);
    return kept ? kept : makeTexture(width, height, isFloat);
}

std::unique_ptr<ISFRenderer> ISFRenderer::create(const ISFHeader& header, const ISFSource& source,
                                                 const std::string& file, std::string* error) {
    const GLShareGroup::Scope scope;
    if (!scope.ok()) {
        *error = file + ": no OpenGL to compile the shader with";
        return nullptr;
    }
    const GLuint vertex =
        compile(GL_VERTEX_SHADER, source, file.size() > 3 ? file.substr(0, file.size() - 3) + ".vs" : file, error);
    if (!vertex) return nullptr;
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, source, file, error);
    if (!fragment) {
        glDeleteShader(vertex);
        return nullptr;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        const std::string log = infoLog(program, true);
        *error = file + ": the shader does not link: " + log.substr(0, log.find('\n'));
        glDeleteProgram(program);
        return nullptr;
    }
    std::unique_ptr<ISFRenderer> renderer(new ISFRenderer());
    renderer->header_ = header;
    renderer->program_ = program;
    glGenFramebuffers(1, &renderer->framebuffer_);
    return renderer;
}

ISFRenderer::~ISFRenderer() {
    const GLShareGroup::Scope scope;
    if (!scope.ok()) return;
    for (auto& [name, buffer] : buffers_) {
        GLShareGroup::releaseTexture(buffer.front);
        GLShareGroup::releaseTexture(buffer.back);
    }
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteProgram(program_);
}

bool ISFRenderer::passSize(const ISFPass& pass, const Frame& frame, int* width, int* height, std::string* error) const {
    *width = frame.width;
    *height = frame.height;
    const auto evaluate = [&](const std::string& expression, int* out) {
        if (expression.empty()) return true;
        try {
            mu::Parser parser;
            parser.DefineNameChars("0123456789_$abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
            double w = frame.width, h = frame.height;
            parser.DefineVar("$WIDTH", &w);
            parser.DefineVar("$HEIGHT", &h);
            std::map<std::string, double> values = frame.variables;
            for (auto& [name, value] : values) parser.DefineVar("$" + name, &value);
            parser.SetExpr(expression);
            const double result = parser.Eval();
            if (!std::isfinite(result)) throw mu::Parser::exception_type("it has no finite value");
            *out = static_cast<int>(std::clamp(std::floor(result), 1.0, 16384.0));
            return true;
        } catch (const mu::Parser::exception_type& e) {
            *error = "pass size \"" + expression + "\" does not evaluate: " + e.GetMsg();
            return false;
        }
    };
    return evaluate(pass.width, width) && evaluate(pass.height, height);
}

void ISFRenderer::bindImages(const Frame& frame) {
    GLint unit = 0;
    const auto bind = [&](const std::string& name, GLuint texture, double width, double height, bool flip) {
        const GLint sampler = glGetUniformLocation(program_, name.c_str());
        if (sampler < 0) return;
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, texture);
        glUniform1i(sampler, unit++);
        glUniform2f(glGetUniformLocation(program_, ("_" + name + "_imgSize").c_str()), static_cast<float>(width),
                    static_cast<float>(height));
        glUniform1i(glGetUniformLocation(program_, ("_" + name + "_flip").c_str()), flip ? 1 : 0);
    };
    for (const auto& [name, image] : frame.images) {
        const GLuint texture = image ? image->textureName() : 0;
        if (texture)
            bind(name, texture, static_cast<double>(image->pixelsWide()), static_cast<double>(image->pixelsHigh()),
                 image->textureTopFirst());
        else
            bind(name, 0, 1, 1, false);  // no image: reads transparent black
    }
    for (const auto& [name, buffer] : buffers_) bind(name, buffer.front, buffer.width, buffer.height, false);
    glActiveTexture(GL_TEXTURE0);
}

ImageRef ISFRenderer::render(const Frame& frame, std::string* error) {
    const GLShareGroup::Scope scope;
    if (!scope.ok() || frame.width <= 0 || frame.height <= 0) return nullptr;
    // Everything this changes is put back, so the frame around it draws on.
    GLint framebuffer = 0, program = 0, activeTexture = 0, viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glActiveTexture(GL_TEXTURE0);
    glPushAttrib(GL_TEXTURE_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_ALPHA_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glUseProgram(program_);

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    GLuint output = 0;
    int outputWidth = 0, outputHeight = 0;
    bool outputFloat = false;
    for (size_t index = 0; index < header_.passes.size(); ++index) {
        const ISFPass& pass = header_.passes[index];
        int width = 0, height = 0;
        if (!passSize(pass, frame, &width, &height, error)) break;
        const bool last = index + 1 == header_.passes.size();
        Buffer* buffer = nullptr;
        if (!pass.target.empty()) {
            buffer = &buffers_[pass.target];
            if (buffer->width != width || buffer->height != height || buffer->isFloat != pass.isFloat || !buffer->front) {
                // A new size starts the buffer afresh, transparent black.
                GLShareGroup::releaseTexture(buffer->front);
                GLShareGroup::releaseTexture(buffer->back);
                *buffer = Buffer{makeTexture(width, height, pass.isFloat), makeTexture(width, height, pass.isFloat),
                                 width, height, pass.isFloat};
                attach(buffer->front);
                clearAttached();
                attach(buffer->back);
                clearAttached();
            }
            attach(buffer->back);
        } else {
            // Each frame's output is a texture of its own: images handed out
            // never change. One of an image that went is taken again.
            GLShareGroup::releaseTexture(output);
            output = outputTexture(width, height, pass.isFloat);
            outputWidth = width, outputHeight = height, outputFloat = pass.isFloat;
            attach(output);
            // Where a shader discards, transparent black, not an older frame.
            clearAttached();
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) break;
        glViewport(0, 0, width, height);
        bindImages(frame);
        glUniform1i(glGetUniformLocation(program_, "PASSINDEX"), static_cast<GLint>(index));
        glUniform2f(glGetUniformLocation(program_, "RENDERSIZE"), static_cast<float>(width), static_cast<float>(height));
        glUniform1f(glGetUniformLocation(program_, "TIME"), static_cast<float>(frame.time));
        glUniform1f(glGetUniformLocation(program_, "TIMEDELTA"), static_cast<float>(frame.timeDelta));
        glUniform1i(glGetUniformLocation(program_, "FRAMEINDEX"), frame.frameIndex);
        glUniform4f(glGetUniformLocation(program_, "DATE"), static_cast<float>(local.tm_year + 1900),
                    static_cast<float>(local.tm_mon + 1), static_cast<float>(local.tm_mday),
                    static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec));
        if (frame.setInputs) frame.setInputs(program_);
        glBegin(GL_QUADS);
        glVertex2f(-1, -1);
        glVertex2f(1, -1);
        glVertex2f(1, 1);
        glVertex2f(-1, 1);
        glEnd();
        if (buffer) {
            std::swap(buffer->front, buffer->back);
            if (last) {
                // The output is a copy: the buffer goes on changing.
                GLShareGroup::releaseTexture(output);
                output = outputTexture(width, height, pass.isFloat);
                outputWidth = width, outputHeight = height, outputFloat = pass.isFloat;
                glBindTexture(GL_TEXTURE_2D, output);
                glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
            }
        }
    }
    for (GLint unit = 7; unit >= 0; --unit) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glPopAttrib();
    glPopAttrib();
    glActiveTexture(static_cast<GLenum>(activeTexture));
    glUseProgram(static_cast<GLuint>(program));
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    // By hand too: on Mesa the attribute stack alone left what was drawn
    // after a shader squeezed into the shader's own size.
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    return QCGLCGImage::imageWithTexture(
        output, static_cast<size_t>(outputWidth), static_cast<size_t>(outputHeight), outputFloat,
        [pool = outputs_, outputWidth, outputHeight, outputFloat](GLuint texture) {
            pool->give(texture, outputWidth, outputHeight, outputFloat);
        });
}
