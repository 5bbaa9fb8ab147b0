#include "host/QCGLCGImage.h"
#include "platform/gl/GLShareGroup.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <thread>

namespace {

// A 2x2 texture rendered the OpenGL way: its first row is the picture's bottom.
GLuint bottomUpTexture() {
    const uint8_t rows[] = {1, 2, 3, 255, 4, 5, 6, 255,  // bottom row
                            7, 8, 9, 255, 10, 11, 12, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, rows);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

TEST(GPUImage, ATextureIsReadBackOnceTopRowFirstAndPixelsAreUploadedOnce) {
    const GLShareGroup::Scope scope;
    ASSERT_TRUE(scope.ok());
    const auto before = GLShareGroup::transfers();
    const auto image = QCGLCGImage::imageWithTexture(bottomUpTexture(), 2, 2);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->hasPixels());
    const CGImageRef& pixels = image->CGImage();
    ASSERT_TRUE(pixels);
    EXPECT_EQ(&image->CGImage(), &pixels);
    const uint8_t* top = pixels->pixels.data();
    EXPECT_EQ(top[0], 7);
    EXPECT_EQ(top[4], 10);
    EXPECT_EQ(top[8], 1);
    EXPECT_EQ(GLShareGroup::transfers().readBacks - before.readBacks, 1u);

    // An image of pixels gets one texture, whoever draws it how often.
    const auto memory = std::make_shared<const QCGLCGImage>(pixels, nullptr);
    const GLuint texture = memory->textureName();
    EXPECT_NE(texture, 0u);
    EXPECT_EQ(memory->textureName(), texture);
    EXPECT_TRUE(memory->textureTopFirst());
    EXPECT_EQ(GLShareGroup::transfers().uploads - before.uploads, 1u);
}

TEST(GPUImage, ATextureDroppedOnAThreadWithoutOpenGLIsDeletedWhereThereIsSome) {
    GLuint texture = 0;
    std::shared_ptr<const QCGLCGImage> image;
    {
        const GLShareGroup::Scope scope;
        ASSERT_TRUE(scope.ok());
        texture = bottomUpTexture();
        image = QCGLCGImage::imageWithTexture(texture, 2, 2);
    }
    const size_t pending = GLShareGroup::pending();
    std::thread([dropped = std::move(image)]() mutable { dropped.reset(); }).join();
    EXPECT_EQ(GLShareGroup::pending(), pending + 1);
    GLShareGroup::collect();
    EXPECT_EQ(GLShareGroup::pending(), 0u);
    const GLShareGroup::Scope scope;
    ASSERT_TRUE(scope.ok());
    EXPECT_FALSE(glIsTexture(texture));
}

}  // namespace
