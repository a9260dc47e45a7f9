// The lines tarvolin-cli ends a capture with on standard error.
#pragma once

#include <string>

#include "url_store.h"

namespace tarvolin::cli {

// The counts of the store and of the capture's last statistics, and a warning
// when frames were dropped; each line ends with a line break.
std::string CaptureSummary(const UrlStore &store, const char *programName);

}
