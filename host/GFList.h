#pragma once

#include "QCParameterInfo.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// An ordered list of parameter descriptions under string keys.
class GFList {
public:
    // A new empty list.
    static std::shared_ptr<GFList> list() { return std::make_shared<GFList>(); }

    // Appends an entry; a key already present is replaced in place.
    void addObject(const QCParameterInfo& object, const std::string& key);

    size_t count() const { return entries_.size(); }
    const std::string& keyAtIndex(size_t index) const { return entries_.at(index).first; }
    const QCParameterInfo& objectAtIndex(size_t index) const { return entries_.at(index).second; }

    bool operator==(const GFList&) const = default;

private:
    std::vector<std::pair<std::string, QCParameterInfo>> entries_;
};
