// The records handed to the download manager, built from a list row or from
// the URL the receiver hands off by itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "url_store.h"

namespace tarvolin {

inline constexpr char kPleaseRunDownloadManager[] = "Please run Marrowfetch";
inline constexpr char kUrlTooLong[] = "URL too long for Marrowfetch";
// A manager that stops answering costs each waiting hand-off its time-out;
// beyond this many waiting, new automatic hand-offs are let go.
inline constexpr size_t kMostWaitingHandOffs = 256;

// "Hand-off: N URLs not handed over: ..." for automatic hand-offs let go; empty for none.
std::string DroppedHandOffsStatus(uint64_t dropped);

// The entry a limited-buffer row names: the leading digits of its third column,
// blanks trimmed; 0 when it names none (a content type, in no-limit mode).
int64_t RowEntryNumber(const UrlRow &row);

// `url` with the request headers of `details` in their fields, every number 0;
// nothing when the URL does not fit its field, as a shortened URL would fetch
// something else.
std::optional<HandOffRecord> DetailsRecord(std::string_view url, const RequestDetails &details);

// Only the URL, every other field empty; nothing when it does not fit.
std::optional<HandOffRecord> UrlOnlyRecord(std::string_view url);

// In limited-buffer mode the entry that the row's number names, as stored.
// Otherwise the row's URL, trimmed, with the headers of its request while the
// store keeps them, else alone.
std::optional<HandOffRecord> RowRecord(const UrlRow &row, const UrlStore &store, bool noLimit);

// The automatic hand-off of `url`, the store's hand-off URL: with the headers
// of its request.
std::optional<HandOffRecord> AutomaticRecord(const std::string &url, const UrlStore &store);

}
