#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Uniform type identifiers: the name of a type ("public.jpeg") found from one
// of its tags (a filename extension, a MIME type, a four-character type code).
// The known types are the table in UTTypeTable.cpp.

using OSType = uint32_t;

inline constexpr std::string_view kUTTagClassFilenameExtension = "public.filename-extension";
inline constexpr std::string_view kUTTagClassMIMEType = "public.mime-type";
inline constexpr std::string_view kUTTagClassOSType = "com.apple.ostype";

// The preferred identifier for `tag` of `tagClass`. Extensions and MIME types
// match regardless of case. A filename-extension tag that is no known
// extension but exactly a known type code names that type, so the text of a
// type code (UTCreateStringForOSType) can stand in for a missing extension.
// A tag the table lacks gets a dynamic identifier, "dyn." followed by a
// stable encoding of class and tag. Nothing for an empty tag, an unknown tag
// class or a conformance constraint (not modelled: pass nullptr).
std::optional<std::string> UTTypeCreatePreferredIdentifierForTag(std::string_view tagClass, std::string_view tag,
                                                                 const char* inConformingToUTI);

// The four characters of a type code ("PNGf"); "" for the code 0.
std::string UTCreateStringForOSType(OSType code);
// The code of four characters; 0 for any other text.
OSType UTGetOSTypeFromString(std::string_view text);

// The type code of the type with this MIME type: the type's classic code,
// else its first extension of up to four characters padded with spaces.
// Text of an unknown MIME type counts as plain text, anything else unknown as
// data.
OSType UTTypeOSTypeForMIMEType(std::string_view mimeType);
