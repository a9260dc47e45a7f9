// The rows of a URL list as text for other programs: tab-separated lines,
// JSON Lines and an M3U playlist. tarvolin-cli prints them; the window saves them.
// The Append forms add to a buffer the caller reuses, so a stream of rows
// allocates nothing once the buffer has grown to its longest line.
#pragma once

#include <string>
#include <string_view>

#include "request_details.h"
#include "url_store.h"

namespace tarvolin {

inline constexpr char kM3uHeader[] = "#EXTM3U\n";

// Text taken from traffic may hold any byte. In the tab-separated form control
// characters become %XX, so a field never splits a line or a column.
void AppendTabSeparatedField(std::string &out, std::string_view text);
std::string TabSeparatedField(std::string_view text);

// A JSON string literal: valid UTF-8 passes through, every other byte is read as
// Latin-1, so the line is valid JSON whatever the wire carried.
void AppendJsonString(std::string &out, std::string_view text);
std::string JsonString(std::string_view text);

// list (all or media), extension, URL, content type.
void AppendTabSeparatedLine(std::string &out, UrlList list, const UrlRow &row);
std::string TabSeparatedLine(UrlList list, const UrlRow &row);

// The same fields as an object; with `headers`, also "headers": the request
// headers it holds, by lower-case name, and only those the request carried.
void AppendJsonLine(std::string &out, UrlList list, const UrlRow &row, const RequestDetails *headers = nullptr);
std::string JsonLine(UrlList list, const UrlRow &row, const RequestDetails *headers = nullptr);

// "#EXTINF" with the URL's file name, VLC's options for the User-Agent and
// Referer where `details` knows them, then the URL.
std::string M3uEntry(const UrlRow &row, const RequestDetails *details);

}
