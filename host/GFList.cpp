#include "GFList.h"

void GFList::addObject(const QCParameterInfo& object, const std::string& key) {
    for (auto& entry : entries_)
        if (entry.first == key) {
            entry.second = object;
            return;
        }
    entries_.emplace_back(key, object);
}
