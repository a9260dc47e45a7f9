// Where the running program file lies.
#pragma once

#include <string>

// The directory of the running program file, ending in "/"; empty when it
// cannot be found.
std::string ProgramDirectory();
