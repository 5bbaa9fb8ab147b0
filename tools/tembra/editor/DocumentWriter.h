#pragma once

#include <nlohmann/json.hpp>

#include <string>

// Compositions as the editor writes them: two-space indent and keys in a
// fixed order (known keys first, in the order people read them, the rest
// after in their own order), so that a saved file diffs cleanly.
std::string formatDocument(const nlohmann::ordered_json& document);

// Writes `text` to `path` atomically: a temporary file in the same folder,
// flushed, then renamed over the old one. False with `error` naming the
// file and the cause.
bool writeFileAtomically(const std::string& path, const std::string& text, std::string* error);
