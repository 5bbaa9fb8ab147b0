#include "UTType.h"

#include "UTTypeTable.h"

#include <map>
#include <sstream>
#include <vector>

namespace {

std::string lowercase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::vector<std::string> words(const char* list) {
    std::istringstream in(list);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

// Tag -> entry, built once from the table.
struct TagIndex {
    std::map<std::string, const UTTypeTableEntry*, std::less<>> byExtension, byMIMEType, byTypeCode;
    std::map<std::string, OSType, std::less<>> typeCodeOfIdentifier;

    TagIndex() {
        for (size_t i = 0; i < UTTypeTableCount; ++i) {
            const UTTypeTableEntry& entry = UTTypeTable[i];
            const auto extensions = words(entry.extensions);
            for (const std::string& extension : extensions) byExtension.emplace(extension, &entry);
            for (const std::string& mime : words(entry.mimeTypes)) byMIMEType.emplace(mime, &entry);
            std::string code = entry.typeCode;
            if (code.empty()) {
                for (const std::string& extension : extensions)
                    if (extension.size() <= 4) {
                        code = extension + std::string(4 - extension.size(), ' ');
                        break;
                    }
            }
            if (code.size() == 4) {
                byTypeCode.emplace(code, &entry);
                typeCodeOfIdentifier.emplace(entry.identifier, UTGetOSTypeFromString(code));
            }
        }
    }
};

const TagIndex& tagIndex() {
    static const TagIndex index;
    return index;
}

const UTTypeTableEntry* find(const std::map<std::string, const UTTypeTableEntry*, std::less<>>& map,
                             std::string_view key) {
    const auto at = map.find(key);
    return at == map.end() ? nullptr : at->second;
}

// Base 32 over an alphabet without look-alike letters, five bits at a time,
// most significant first.
std::string encodeBase32(std::string_view bytes) {
    static constexpr char alphabet[] = "abcdefghkmnpqrstuvwxyz0123456789";
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    for (unsigned char byte : bytes) {
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 5) {
            out += alphabet[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    if (bits > 0) out += alphabet[(buffer << (5 - bits)) & 31];
    return out;
}

std::string dynamicIdentifier(std::string_view tagClass, std::string_view tag) {
    std::string description = "?0=";
    description += tagClass;
    description += ":1=";
    description += tag;
    return "dyn.a" + encodeBase32(description);
}

}  // namespace

std::optional<std::string> UTTypeCreatePreferredIdentifierForTag(std::string_view tagClass, std::string_view tag,
                                                                 const char* inConformingToUTI) {
    if (tag.empty() || inConformingToUTI != nullptr) return std::nullopt;
    const TagIndex& index = tagIndex();
    const UTTypeTableEntry* entry = nullptr;
    std::string key;
    if (tagClass == kUTTagClassFilenameExtension) {
        key = lowercase(tag);
        entry = find(index.byExtension, key);
        if (!entry) entry = find(index.byTypeCode, tag);
    } else if (tagClass == kUTTagClassMIMEType) {
        key = lowercase(tag);
        entry = find(index.byMIMEType, key);
    } else if (tagClass == kUTTagClassOSType) {
        key = std::string(tag);
        entry = find(index.byTypeCode, key);
    } else {
        return std::nullopt;
    }
    if (entry) return std::string(entry->identifier);
    return dynamicIdentifier(tagClass, key);
}

std::string UTCreateStringForOSType(OSType code) {
    if (code == 0) return "";
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[static_cast<size_t>(i)] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    return text;
}

OSType UTGetOSTypeFromString(std::string_view text) {
    if (text.size() != 4) return 0;
    OSType code = 0;
    for (unsigned char c : text) code = (code << 8) | c;
    return code;
}

OSType UTTypeOSTypeForMIMEType(std::string_view mimeType) {
    const TagIndex& index = tagIndex();
    const std::string key = lowercase(mimeType);
    const UTTypeTableEntry* entry = find(index.byMIMEType, key);
    const char* identifier = entry                      ? entry->identifier
                             : key.rfind("text/", 0) == 0 ? "public.plain-text"
                                                          : "public.data";
    const auto code = index.typeCodeOfIdentifier.find(identifier);
    return code == index.typeCodeOfIdentifier.end() ? 0 : code->second;
}
