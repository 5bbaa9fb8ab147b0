#include "Clear.h"

#include "platform/gl/CGL.h"
#include "host/QCOpenGLContext.h"

#include <GL/gl.h>

Clear::Clear(const std::string& identifier) : QCPatch(identifier) { inputAlpha.setDoubleValue(1.0); }

bool Clear::execute(QCOpenGLContext* openglcontext, double, const QCArguments*) {
    if (!openglcontext) return true;  // nothing to draw into
    CGLContextScope current(openglcontext->CGLContextObj());
    if (!current.ok()) return true;
    glClearColor(static_cast<GLfloat>(inputRed.doubleValue()), static_cast<GLfloat>(inputGreen.doubleValue()),
                 static_cast<GLfloat>(inputBlue.doubleValue()), static_cast<GLfloat>(inputAlpha.doubleValue()));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
}
