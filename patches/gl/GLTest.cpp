#include "GLTest.h"

#include "host/QCOpenGLContext.h"
#include "platform/gl/CGL.h"

#include <GL/gl.h>

bool GLTest::execute(QCOpenGLContext* openglcontext, double, const QCArguments*) {
    // Without a host context there is nothing to draw into.
    if (!openglcontext || !openglcontext->CGLContextObj()) return true;

    CGLContextObj old_ctx = CGLGetCurrentContext();
    CGLContextObj qc_ctx = openglcontext->CGLContextObj();
    if (CGLSetCurrentContext(qc_ctx) == kCGLNoError) _drawGL();
    CGLSetCurrentContext(old_ctx);
    return true;
}

void GLTest::_drawGL() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glBegin(GL_TRIANGLES);
    glColor3f(0, 1, 0);
    glVertex3f(0, 1, 0);
    glColor3f(0, 0.5, 0);
    glVertex3f(-1, -1, 0);
    glColor3f(0, 0.5, 0);
    glVertex3f(1, -1, 0);

    glColor3f(0, 0, 1);
    glVertex3f(-1, 1, 0);
    glColor3f(0, 0, 0.5);
    glVertex3f(-2, -1, 0);
    glColor3f(0, 0, 0.5);
    glVertex3f(0, -1, 0);
    glEnd();

    glTranslatef(3, 0, 0);

    glBegin(GL_QUADS);
    glColor3f(0, 1, 0);
    glVertex3f(-1, 1, 0);
    glColor3f(0, 0, 1);
    glVertex3f(1, 1, 0);
    glColor3f(1, 0, 0);
    glVertex3f(1, -1, 0);
    glColor3f(1, 1, 1);
    glVertex3f(-1, -1, 0);
    glEnd();
}
