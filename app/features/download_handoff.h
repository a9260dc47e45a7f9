// The records handed to the download manager, built from a list row or from
// the URL the receiver hands off by itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "url_store.h"

namespace tarvolin {

inline constexpr char kPleaseRunDownloadManager[] = "Please run Marrowfetch";
inline constexpr char kUrlTooLong[] = "URL too long for Marrowfetch";

// The entry a limited-buffer row names: the leading digits of its third column,
// blanks trimmed; 0 when it names none (a content type, in no-limit mode).
int64_t RowEntryNumber(const UrlRow &row);

// Only the URL, every other field empty and every number 0; nothing when the
// URL does not fit its field, as a shortened URL would fetch something else.
std::optional<HandOffRecord> UrlOnlyRecord(std::string_view url);

// In no-limit mode the row's URL, trimmed. In limited-buffer mode the entry
// that the row's number names, or the row's URL when it names none.
std::optional<HandOffRecord> RowRecord(const UrlRow &row, const UrlStore &store, bool noLimit);

}
