#include "TembraStringWithURL.h"

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"

TembraStringWithURL::TembraStringWithURL(const std::string& identifier)
    : QCPatch(identifier), currentURL(newString("")) {}

QCContext* TembraStringWithURL::setup(QCContext* context) {
    outputURLContent.setStringValue(newString(""));
    return context;
}

bool TembraStringWithURL::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (inputURL.stringValue() == currentURL) return true;
    currentURL = inputURL.stringValue();
    if (!currentURL) return true;  // a null URL fetches nothing
    const std::unique_ptr<NSURL> url = NSURL::URLWithString(*currentURL);
    if (auto text = stringWithContentsOfURL(url.get(), NSUTF8StringEncoding))
        outputURLContent.setStringValue(newString(std::move(*text)));
    return true;
}
