#include "FreeFrame.h"

QCProgrammablePatch::Dictionary FreeFrame::compileSourceOfType(const std::string&) {
    Dictionary result = Dictionary::object();
    setParameterList(GFList::list());
    result["success"] = true;
    result["message"] = nullptr;
    return result;
}

void FreeFrame::setSource(const std::string& source, const std::string& type) {
    const auto named = userInfo().find("name");
    const std::string name = named == userInfo().end() ? "" : named->second;
    pauseNotifications();
    QCProgrammablePatch::setSource(source, type);
    if (name.size() >= 1 && name.front() == '"' && name.back() == '"') {
        userInfo()["name"] = source;
        stateUpdated();
    }
    resumeNotifications();
}

bool FreeFrame::execute(QCOpenGLContext*, double, const QCArguments*) {
    auto list = GFList::list();
    list->addObject(QCParameterInfo::infoWithType(3, 1), "inputHi");
    setParameterList(list);
    return true;
}
