#pragma once

#include "host/QCPatch.h"

#include <array>
#include <string>

// What SelectNumber, SelectString and SelectImage share: an index picks one
// of eight inputs of one kind, which the output hands on as it is.
template <class Port>
class SelectPatch : public QCPatch {
public:
    static constexpr uint32_t kInputs = 8;
    static int executionMode() { return 3; }

    explicit SelectPatch(const std::string& identifier) : QCPatch(identifier) { inputIndex.setMaxIndexValue(kInputs - 1); }

    bool execute(QCOpenGLContext*, double, const QCArguments*) override {
        copy(inputs[inputIndex.indexValue() < kInputs ? inputIndex.indexValue() : kInputs - 1], outputValue);
        return true;
    }

    QCIndexPort inputIndex{this, "inputIndex", {.description = "which input to hand on, from 0", .min = 0, .max = kInputs - 1}};
    std::array<Port, kInputs> inputs{
        Port{this, "inputSource0", {.description = "handed on while inputIndex is 0"}},
        Port{this, "inputSource1", {.description = "handed on while inputIndex is 1"}},
        Port{this, "inputSource2", {.description = "handed on while inputIndex is 2"}},
        Port{this, "inputSource3", {.description = "handed on while inputIndex is 3"}},
        Port{this, "inputSource4", {.description = "handed on while inputIndex is 4"}},
        Port{this, "inputSource5", {.description = "handed on while inputIndex is 5"}},
        Port{this, "inputSource6", {.description = "handed on while inputIndex is 6"}},
        Port{this, "inputSource7", {.description = "handed on while inputIndex is 7"}},
    };
    Port outputValue{this, "outputValue", {.description = "the input that inputIndex picks"}};

private:
    static void copy(const QCNumberPort& from, QCNumberPort& to) { to.setDoubleValue(from.doubleValue()); }
    static void copy(const QCStringPort& from, QCStringPort& to) { to.setStringValue(from.stringValue()); }
    static void copy(const QCGLImagePort& from, QCGLImagePort& to) { to.setImageValue(from.imageValue()); }
};
