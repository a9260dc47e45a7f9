#include "quillnet_library.h"

#include "program_directory.h"

namespace tarvolin {

QuillnetLibrary::QuillnetLibrary()
{
    const std::string directory = ProgramDirectory();
    if (!directory.empty())
        module_ = LoadLibrary((directory + kQuillnetFileName).c_str());
    if (!module_)
        module_ = LoadLibrary(kQuillnetFileName);
    if (!module_) {
        error_ = "cannot load " + std::string(kQuillnetFileName) + ": " + LastLibraryError();
        return;
    }
    startCapture = reinterpret_cast<StartCaptureFunction>(lookUp("StartCapture"));
    stopCapture = reinterpret_cast<StopCaptureFunction>(lookUp("StopCapture"));
    getAdapterList = reinterpret_cast<GetAdapterListFunction>(lookUp("GetAdapterList"));
    setKeyLogFile = reinterpret_cast<SetKeyLogFileFunction>(lookUp("SetKeyLogFile"));
    setLogRecords = reinterpret_cast<SetLogRecordsFunction>(lookUp("SetLogRecords"));
}

QuillnetLibrary::~QuillnetLibrary()
{
    if (module_)
        FreeLibrary(module_);
}

void *QuillnetLibrary::lookUp(const char *name)
{
    void *address = GetProcAddress(module_, name);
    if (!address && error_.empty())
        error_ = std::string(kQuillnetFileName) + " lacks " + name + ": " + LastLibraryError();
    return address;
}

}
