// The built-in rules that decide whether a URL is a media file and which
// extension its rows show. No setting changes them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tarvolin {

struct ContentTypeEntry {
    std::string_view contentType;
    std::string_view extension; // without the dot; may be empty
};

inline constexpr size_t kContentTypeCount = 58;
inline constexpr size_t kMediaExtensionCount = 87;
inline constexpr size_t kPageExtensionCount = 50;
inline constexpr size_t kSegmentExtensionCount = 2;
inline constexpr size_t kSegmentContentTypeCount = 2;

// In table order: the first equal entry decides.
const std::array<ContentTypeEntry, kContentTypeCount> &ContentTypeTable();
const std::array<std::string_view, kMediaExtensionCount> &MediaExtensions();
const std::array<std::string_view, kPageExtensionCount> &PageExtensions();

// "." and the extension of the entry whose content type equals `contentType`
// byte for byte (so an entry with an empty extension gives "."); empty when no
// entry does. The caller trims and lower-cases the type first.
std::string ContentTypeExtension(std::string_view contentType);

// The extension, dot included, of the last path segment of `url` (query cut
// off, trailing white space ignored); empty when that segment has no dot.
std::string PathExtension(std::string_view url);

// Whether the extension (dot included) is listed, ignoring case.
bool IsMediaExtension(std::string_view extension);
bool IsPageExtension(std::string_view extension);

// Whether a URL with this path extension (dot included, any case) or content
// type (trimmed, lower case) is a piece of a stream that a playlist lists.
bool IsStreamSegment(std::string_view extension, std::string_view contentType);

}
