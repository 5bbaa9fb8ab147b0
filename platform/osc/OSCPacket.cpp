#include "platform/osc/OSCPacket.h"

#include "platform/foundation/UTF8.h"

#include <lo/lo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxBundleDepth = 8;

struct MessageFree {
    void operator()(lo_message m) const { lo_message_free(m); }
};
using MessagePtr = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    // The shortest text that reads back as the same number.
    for (int precision = 1; precision < 17; ++precision) {
        char shorter[32];
        std::snprintf(shorter, sizeof shorter, "%.*g", precision, value);
        if (std::strtod(shorter, nullptr) == value) return shorter;
    }
    return text;
}

// A float's shortest text, so 0.8 sent is 0.8 shown (and as a double),
// not 0.800000011920929.
std::string floatText(float value) {
    char text[32];
    for (int precision = 1; precision <= 9; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    return text;
}

bool parseNumber(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

// False: a type the patches cannot show (wrong type).
bool convert(lo_message message, OSCMessage& out) {
    const char* types = lo_message_get_types(message);
    lo_arg** argv = lo_message_get_argv(message);
    const int argc = lo_message_get_argc(message);
    for (int i = 0; i < argc; ++i) {
        // liblo's arguments point into the packet, 4-byte aligned: copy the
        // fixed-size ones out before reading them as numbers.
        const char* bytes = reinterpret_cast<const char*>(argv[i]);
        const lo_type type = static_cast<lo_type>(types[i]);
        lo_arg a{};
        if (type != LO_STRING && type != LO_SYMBOL) std::memcpy(&a, bytes, std::min(sizeof a, lo_arg_size(type, argv[i])));
        std::string text;
        double number = 0;
        bool isNumber = true, isText = false;
        switch (type) {
        case LO_INT32: number = a.i; break;
        case LO_INT64: number = static_cast<double>(a.h); break;
        case LO_FLOAT:
            if (!std::isfinite(a.f)) return false;
            text = floatText(a.f);
            number = std::strtod(text.c_str(), nullptr);
            break;
        case LO_DOUBLE: number = a.d; break;
        case LO_TRUE: number = 1; text = "true"; break;
        case LO_FALSE: number = 0; text = "false"; break;
        case LO_STRING:
        case LO_SYMBOL:
            isNumber = false;
            isText = true;
            text = bytes;
            if (!isValidUTF8(text)) return false;
            break;
        case LO_CHAR:
            isNumber = false;
            isText = true;
            text = std::string(1, static_cast<char>(a.c));
            if (!isValidUTF8(text)) return false;
            break;
        default:
            // Blobs, MIDI, time tags, nil, infinitum: only as a later argument.
            if (i == 0) return false;
            isNumber = false;
            text = std::string("(") + types[i] + ")";
            break;
        }
        if (isNumber) {
            if (!std::isfinite(number)) return false;
            if (text.empty()) text = numberText(number);
        }
        if (i == 0) {
            if (isNumber) {
                out.hasNumber = true;
                out.number = number;
            } else if (isText) {
                out.hasNumber = parseNumber(text, &out.number);
            }
        }
        out.arguments.push_back(std::move(text));
    }
    return true;
}

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void parse(const uint8_t* data, size_t size, int depth, const std::function<void(OSCMessage&&)>& onMessage,
           OSCPacketFaults& faults) {
    static const char kBundle[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
    if (size >= 16 && std::memcmp(data, kBundle, 8) == 0) {
        if (depth >= kMaxBundleDepth) {
            ++faults.malformed;
            return;
        }
        size_t at = 16;  // after the time tag, which is not kept: messages act at the next frame
        while (at < size) {
            if (size - at < 4) {
                ++faults.malformed;
                return;
            }
            const size_t length = bigEndian32(data + at);
            at += 4;
            if (length == 0 || length % 4 != 0 || length > size - at) {
                ++faults.malformed;
                return;
            }
            parse(data + at, length, depth + 1, onMessage, faults);
            at += length;
        }
        return;
    }
    if (size == 0 || data[0] != '/') {
        ++faults.malformed;
        return;
    }
    int result = 0;
    // liblo checks the padding, the type tags and every argument's size.
    MessagePtr message(lo_message_deserialise(const_cast<uint8_t*>(data), size, &result));
    if (!message || result != 0) {
        ++faults.malformed;
        return;
    }
    OSCMessage out;
    out.address = reinterpret_cast<const char*>(data);  // checked to end within the packet
    if (!isValidUTF8(out.address)) {
        ++faults.malformed;
        return;
    }
    if (!convert(message.get(), out)) {
        ++faults.wrongType;
        return;
    }
    onMessage(std::move(out));
}

}  // namespace

OSCPacketFaults parseOSCPacket(const uint8_t* data, size_t size, const std::function<void(OSCMessage&&)>& onMessage) {
    OSCPacketFaults faults;
    parse(data, size, 0, onMessage, faults);
    return faults;
}
