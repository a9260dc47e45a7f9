// The capture library, loaded at run time by file name and used through its
// exports looked up by name.
#pragma once

#include <string>

#include "library_loader.h"
#include "quillnet.h"

namespace tarvolin {

inline constexpr char kQuillnetFileName[] = "libquillnet.so";

class QuillnetLibrary {
public:
    // Loads the library from the program's own directory first, then from the
    // usual search path.
    QuillnetLibrary();
    ~QuillnetLibrary();
    QuillnetLibrary(const QuillnetLibrary &) = delete;
    QuillnetLibrary &operator=(const QuillnetLibrary &) = delete;

    // True when the library and all its exports were found.
    bool complete() const
    {
        return startCapture && stopCapture && getAdapterList && setKeyLogFile && setLogRecords;
    }
    // Why the library or an export was not found.
    const std::string &error() const { return error_; }

    // Each null when missing.
    StartCaptureFunction startCapture = nullptr;
    StopCaptureFunction stopCapture = nullptr;
    GetAdapterListFunction getAdapterList = nullptr;
    SetKeyLogFileFunction setKeyLogFile = nullptr;
    SetLogRecordsFunction setLogRecords = nullptr;

private:
    void *lookUp(const char *name);

    HMODULE module_ = nullptr;
    std::string error_;
};

}
