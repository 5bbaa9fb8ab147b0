#include "library/input/Keyboard.h"

#include "host/LocatedJSON.h"
#include "host/NearestName.h"
#include "platform/foundation/NSLog.h"
#include "platform/input/InputEvents.h"
#include "platform/input/KeyNames.h"

Keyboard::Keyboard(const std::string& identifier) : QCPatch(identifier) {
    inputKey.setStringValue(newString("space"));
}

bool Keyboard::execute(QCOpenGLContext*, double, const QCArguments* arguments) {
    if (inputKey.stringValue() != currentKey) {
        currentKey = inputKey.stringValue();
        const std::string given = currentKey ? *currentKey : std::string();
        name_ = KeyNames::normal(given);
        if (!KeyNames::known(name_)) {
            const auto& all = KeyNames::all();
            NSLog("Keyboard %s: unknown key %s%s", quotedShort(identifier()).c_str(), quotedShort(given).c_str(),
                  didYouMean(name_, std::vector<std::string_view>(all.begin(), all.end())).c_str());
            name_.clear();
        }
    }
    InputEvents* input = arguments ? arguments->inputEvents : nullptr;
    if (!input || name_.empty()) {
        outputDown.setBooleanValue(false);
        outputPressed.setBooleanValue(false);
        return true;
    }
    input->claimKey(name_);
    outputDown.setBooleanValue(input->isDown(name_));
    outputPressed.setBooleanValue(input->pressed(name_));
    return true;
}
