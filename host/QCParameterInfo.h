#pragma once

// What a programmable patch says about one of its parameters: a type code
// and a size. The host derives an input port from it.
class QCParameterInfo {
public:
    // The type codes the host makes ports for.
    static constexpr int kBooleanType = 1;
    static constexpr int kIndexType = 2;
    static constexpr int kNumberType = 3;
    static constexpr int kStringType = 4;

    static QCParameterInfo infoWithType(int type, int size) { return QCParameterInfo(type, size); }

    int type() const { return type_; }
    int size() const { return size_; }
    bool operator==(const QCParameterInfo&) const = default;

private:
    QCParameterInfo(int type, int size) : type_(type), size_(size) {}
    int type_;
    int size_;
};
