// The capture loop and the exports that start and stop it.
#pragma once

#include <mutex>

namespace quillnet {

// Held by the frame handler for each whole frame.
std::mutex &CaptureLock();

}
