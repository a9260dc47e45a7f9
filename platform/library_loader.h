// Run-time loading of a shared library and lookup of its exports by name.
#pragma once

#include <string>

using HMODULE = void *;

// Opens the library at `fileName` (a path, or a bare name searched the usual way);
// null when it cannot be loaded.
HMODULE LoadLibrary(const char *fileName);

// The address of the export `name`, or null.
void *GetProcAddress(HMODULE module, const char *name);

// Non-zero when the library was released.
int FreeLibrary(HMODULE module);

// Why the last LoadLibrary or GetProcAddress of this thread failed; empty when it did not.
std::string LastLibraryError();
