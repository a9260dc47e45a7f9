#include "library_loader.h"

#include <dlfcn.h>

namespace {
thread_local std::string lastError;

void rememberError()
{
    const char *text = dlerror();
    lastError = text ? text : "";
}
}

HMODULE LoadLibrary(const char *fileName)
{
    if (!fileName)
        return nullptr;
    HMODULE module = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        rememberError();
    else
        lastError.clear();
    return module;
}

void *GetProcAddress(HMODULE module, const char *name)
{
    if (!module || !name)
        return nullptr;
    dlerror();
    void *address = dlsym(module, name);
    if (!address)
        rememberError();
    else
        lastError.clear();
    return address;
}

int FreeLibrary(HMODULE module)
{
    return module && dlclose(module) == 0;
}

std::string LastLibraryError()
{
    return lastError;
}
