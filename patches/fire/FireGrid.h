#pragma once

#include "platform/graphics/PageAlignedBuffer.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The fire model's memory: twelve arrays of width x height cells, four bytes
// per cell, row-major with row 0 first. The fields are single-precision
// floats; the image buffers hold one RGBA pixel per cell. Nothing is filled
// here: the model writes every array before it reads it.
class FireGrid {
public:
    // Throws std::bad_alloc when the memory cannot be had.
    FireGrid(int32_t width, int32_t height);
    FireGrid(const FireGrid&) = delete;
    FireGrid& operator=(const FireGrid&) = delete;

    // The pictures a step writes, in the order of the images it makes.
    enum Picture { HeatPicture, OxygenPicture, VisiblePicture };

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    size_t cells() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }

    // Makes the scattered fields (heat2, oxygen2) the current ones, and the
    // current ones the next step's scratch, by exchanging the arrays.
    void takeScatteredFields();

    // Gives the picture's filled memory away, to become an image, and puts
    // fresh memory of the same size in its place (its pointer below moves
    // there), so nothing the model writes later reaches the image. Throws
    // std::bad_alloc, keeping the picture, when no memory can be had.
    PageAlignedBuffer takePicture(Picture picture);

private:
    int32_t width_, height_;
    std::array<PageAlignedBuffer, 12> memory_;

public:
    float* heat;  // these four change places at takeScatteredFields()
    float* heat2;
    float* oxygen;
    float* oxygen2;
    float* const fuel;
    float* const visible;
    uint8_t* bufHeat;  // the three pictures move at takePicture()
    uint8_t* bufOxygen;
    uint8_t* const bufFuel;
    uint8_t* bufVisible;
    float* const vx;
    float* const vy;
};
