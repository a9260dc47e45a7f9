// Private-profile (ini) files: "[Section]" lines followed by "Key=Value" lines,
// read and written with the semantics of the Windows calls of the same names,
// so that a file written by either side reads the same on the other.
// Section and key names are compared without regard to case; a value loses the
// blanks around it and one pair of surrounding quotes. Null names read as absent.
#pragma once

#include <cstdint>

// The key's value as a number: an optional sign, then decimal digits or "0x"
// and hexadecimal ones, up to the first other character. `defaultValue` when
// the file, the section or the key is absent or the value is empty.
unsigned int GetPrivateProfileInt(const char *appName, const char *keyName, int defaultValue, const char *fileName);

// Copies the key's value, or `defaultValue` when the file, section or key is
// absent, into `returnedString`, cut to `size` - 1 characters and always
// NUL-terminated. The number of characters copied, without the NUL.
uint32_t GetPrivateProfileString(const char *appName, const char *keyName, const char *defaultValue,
                                 char *returnedString, uint32_t size, const char *fileName);

// Sets the key to `string`: replaces the key's line where it stands, or adds
// the key at the end of its section, or the section at the end of the file, or
// creates the file. Every other line is kept as it was. Non-zero on success; 0
// when the file cannot be read or written, or when a name or the value would
// break the file's line structure (a line break, "=" in a key, "]" in a section).
int WritePrivateProfileString(const char *appName, const char *keyName, const char *string, const char *fileName);
