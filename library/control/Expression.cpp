#include "Expression.h"

#include "host/LocatedJSON.h"
#include "platform/foundation/NSLog.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <numbers>

Expression::Expression(const std::string& identifier) : QCPatch(identifier) {
    parser.DefineConst("pi", std::numbers::pi);
    parser.DefineVar("t", &time);
}

double* Expression::makeVariable(const char* name, void* self) {
    auto& patch = *static_cast<Expression*>(self);
    double& value = patch.values.emplace_back(0.0);
    if (!patch.portNamed(name)) {
        auto port = std::make_unique<QCNumberPort>(&patch, name, QCPortInfo{.description = "a variable of the formula"});
        port->makeInput();
        patch.variables.push_back({std::move(port), &value});
    }
    return &value;
}

bool Expression::applySetting(const std::string& key, const nlohmann::json& value, std::string* error) {
    if (key != "expression") return QCPatch::applySetting(key, value, error);
    if (!value.is_string()) {
        *error = "needs its \"expression\" as a string";
        return false;
    }
    if (parsed) {
        *error = "has its expression already";
        return false;
    }
    formula = value.get<std::string>();
    try {
        parser.SetVarFactory(&Expression::makeVariable, this);
        parser.SetExpr(formula);
        // Parsing for the names makes a port per variable.
        if (parser.GetUsedVar().count(outputResult.name())) {
            *error = "cannot use outputResult in its expression: it is the patch's output";
            return false;
        }
        parser.Eval();  // finds what parsing for the names alone does not
    } catch (const mu::Parser::exception_type& e) {
        *error = "cannot parse its expression " + quotedShort(formula) + ": " + e.GetMsg();
        if (e.GetMsg().find("position") == std::string::npos && e.GetPos() >= 0)
            *error += " at position " + std::to_string(e.GetPos() + 1);
        return false;
    }
    parsed = true;
    return true;
}

bool Expression::execute(QCOpenGLContext*, double compositionTime, const QCArguments*) {
    if (!parsed) return true;
    time = compositionTime;
    for (const Variable& v : variables) *v.value = v.port->doubleValue();
    double result = std::numeric_limits<double>::quiet_NaN();
    try {
        result = parser.Eval();
    } catch (const mu::Parser::exception_type& e) {
        if (!toldNotANumber) NSLog("Expression %s: %s", quotedShort(identifier()).c_str(), e.GetMsg().c_str());
        toldNotANumber = true;
    }
    if (!std::isfinite(result)) {
        if (!toldNotANumber)
            NSLogProblem("Expression %s: %s has no value (%s); its result is NaN", quotedShort(identifier()).c_str(),
                  quotedShort(formula).c_str(), std::isnan(result) ? "not a number" : "infinite, a division by zero");
        toldNotANumber = true;
        result = std::numeric_limits<double>::quiet_NaN();
    }
    outputResult.setDoubleValue(result);
    return true;
}
