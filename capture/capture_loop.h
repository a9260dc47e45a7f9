// The capture loop and the exports that start and stop it.
#pragma once

#include <mutex>
#include <string>

namespace quillnet {

// Held by the frame handler for each whole frame.
std::mutex &CaptureLock();

// The key log file last named through SetKeyLogFile; empty for none.
std::string KeyLogFilePath();

}
