#pragma once

#include "QCValues.h"

#include <cstdint>
#include <string>

class QCPatch;

// RGBA is a colour value port; Color is the OpenGL setting port, which holds
// no value. New kinds go last: bundles built before read the others by value.
enum class QCPortKind { String, Index, Number, Boolean, Image, Color, Blending, ZBuffer, Culling, RGBA };

const char* portKindName(QCPortKind kind);

// What a string port names, if anything: a value written in a composition
// for a file or folder port is taken relative to the composition's folder.
enum class QCPathKind { None, File, Folder, URL, FileOrURL };

const char* pathKindName(QCPathKind kind);

// What a user is told about a port (tembra list, the editor): one line of
// description, and for numbers (and index outputs whose values the patch
// bounds itself) the range that makes sense and its unit; a connection's
// map maps from that range.
// Written beside the port's declaration:
//   QCNumberPort inputCoolRate{this, "inputCoolRate",
//                              {.description = "...", .min = 0.9, .max = 1.0}};
// A range is known when min < max.
struct QCPortInfo {
    const char* description = "";
    double min = 0;
    double max = 0;
    const char* unit = "";
    QCPathKind path = QCPathKind::None;

    bool hasRange() const { return min < max; }
};

// A port is a member of its patch; constructing it registers it with the
// patch under its name, in declaration order. A write that changes the value
// raises the generation: for index, number and boolean ports a different
// value (or colour), for string and image ports a different object (equal text in a new
// object is a change). Writing what the port already holds is no change, so
// a value held still passes nothing through connections and wakes no patch.
class QCPort {
public:
    QCPort(QCPatch* owner, std::string name, QCPortKind kind, QCPortInfo info = {});
    // Leaves its patch's list: a patch may drop ports while it runs.
    virtual ~QCPort();
    QCPort(const QCPort&) = delete;
    QCPort& operator=(const QCPort&) = delete;

    const std::string& name() const { return name_; }
    QCPortKind kind() const { return kind_; }
    // Ports named input... are inputs, the others outputs, unless the patch
    // says otherwise (an Expression's variables are inputs named as written).
    bool isInput() const { return input_; }
    void makeInput() { input_ = true; }
    uint64_t generation() const { return generation_; }
    const QCPortInfo& info() const { return info_; }

protected:
    void changed() { ++generation_; }

private:
    QCPatch* owner_;
    std::string name_;
    QCPortKind kind_;
    QCPortInfo info_;
    bool input_;
    uint64_t generation_ = 0;
};

class QCStringPort : public QCPort {
public:
    QCStringPort(QCPatch* owner, std::string name, QCPortInfo info = {});
    // The same object until the value is set anew; may be null.
    const StringRef& stringValue() const { return value_; }
    void setStringValue(StringRef value);

private:
    StringRef value_;
};

class QCIndexPort : public QCPort {
public:
    QCIndexPort(QCPatch* owner, std::string name, QCPortInfo info = {});
    uint32_t indexValue() const { return value_; }
    uint32_t maxIndexValue() const { return max_; }
    // A patch's own write is stored as given.
    void setIndexValue(uint32_t value);
    void setMaxIndexValue(uint32_t max);
    // A value from outside the patch (document, connection, command line)
    // is clamped to 0..maximum.
    void setIndexValueFromHost(int64_t value);

private:
    uint32_t value_ = 0;
    uint32_t max_ = UINT32_MAX;
};

class QCNumberPort : public QCPort {
public:
    QCNumberPort(QCPatch* owner, std::string name, QCPortInfo info = {});
    double doubleValue() const { return value_; }
    void setDoubleValue(double value);

private:
    double value_ = 0.0;
};

class QCBooleanPort : public QCPort {
public:
    QCBooleanPort(QCPatch* owner, std::string name, QCPortInfo info = {});
    bool booleanValue() const { return value_; }
    void setBooleanValue(bool value);

private:
    bool value_ = false;
};

class QCGLImagePort : public QCPort {
public:
    QCGLImagePort(QCPatch* owner, std::string name, QCPortInfo info = {});
    // The same object until set anew; may be null.
    const ImageRef& imageValue() const { return value_; }
    void setImageValue(ImageRef value);

private:
    ImageRef value_;
};

class QCColorPort : public QCPort {
public:
    QCColorPort(QCPatch* owner, std::string name, QCPortInfo info = {});
    const QCColor& colorValue() const { return value_; }
    // A component that is not finite is stored as 0.
    void setColorValue(QCColor value);

private:
    QCColor value_;
};

// OpenGL setting ports: they hold the host's defaults and have no value
// operations.
class QCGLPort_Color : public QCPort {
public:
    QCGLPort_Color(QCPatch* owner, std::string name, QCPortInfo info = {})
        : QCPort(owner, std::move(name), QCPortKind::Color, info) {}
};
class QCGLPort_Blending : public QCPort {
public:
    QCGLPort_Blending(QCPatch* owner, std::string name, QCPortInfo info = {})
        : QCPort(owner, std::move(name), QCPortKind::Blending, info) {}
};
class QCGLPort_ZBuffer : public QCPort {
public:
    QCGLPort_ZBuffer(QCPatch* owner, std::string name, QCPortInfo info = {})
        : QCPort(owner, std::move(name), QCPortKind::ZBuffer, info) {}
};
class QCGLPort_Culling : public QCPort {
public:
    QCGLPort_Culling(QCPatch* owner, std::string name, QCPortInfo info = {})
        : QCPort(owner, std::move(name), QCPortKind::Culling, info) {}
};
