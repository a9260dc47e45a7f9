// One capture through the capture library: StartCapture runs on its own thread
// and every record goes straight into the URL store on that thread.
#pragma once

#include <cstdint>
#include <string>

#include "quillnet_library.h"
#include "url_store.h"

namespace tarvolin::cli {

// Holds SIGINT and SIGTERM back for RunCapture to take. Call it before
// anything slow, so an early Ctrl-C still ends the program through StopCapture.
void BlockStopSignals();

// Captures from `source` until its end, a failure, or SIGINT/SIGTERM, which
// stop the capture through StopCapture from the thread that waited for them.
// StartCapture's result: 0 when the capture ran, -1 when it could not open.
// The library's log lines go to standard error when `printLogs`; else the
// library is told not to make them.
int32_t RunCapture(const QuillnetLibrary &library, const std::string &source, int32_t netmask, UrlStore &store,
                   bool printLogs = false);

}
