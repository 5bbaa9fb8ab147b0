#pragma once

#include "host/QCPatch.h"

#include <muParser.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

// Processor: a formula over its inputs, such as "a * 0.01 + 0.2" to turn a
// knob's 0..127 into a useful number. Each variable the formula uses is a
// number input of that name; t is composition time and pi is pi.
class Expression : public QCPatch {
public:
    static constexpr const char* className = "Expression";
    static constexpr const char* classDescription =
        "A formula (\"expression\": \"a * 0.01 + 0.2\"): each variable is an input, t is time.";
    static int executionMode() { return 3; }
    // t may appear in the formula, so it runs every frame.
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit Expression(const std::string& identifier);
    bool applySetting(const std::string& key, const nlohmann::json& value, std::string* error) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCNumberPort outputResult{this, "outputResult",
        {.description = "the formula's value; NaN where it divides by zero or has no value"}};

private:
    static double* makeVariable(const char* name, void* self);

    mu::Parser parser;
    std::string formula;
    double time = 0;
    std::deque<double> values;  // the parser holds pointers into it
    struct Variable {
        std::unique_ptr<QCNumberPort> port;
        double* value;
    };
    std::vector<Variable> variables;
    bool parsed = false;
    bool toldNotANumber = false;
};
