// Unicode's own data and conformance files (Debian's unicode-data package),
// read at test time, never copied into the repository. Under Wine the Unix
// root is drive Z:, which a path without a drive finds when the current
// directory is on it; Z: is tried as well.
#pragma once

#include <stdio.h>

#include <string>

// Calls on_line(line, line_number) for every line of
// /usr/share/unicode/<name>; false when the file cannot be read.
template <typename OnLine>
bool each_unicode_line(const char* name, OnLine on_line) {
    const std::string path = std::string("/usr/share/unicode/") + name;
    FILE* f = fopen(path.c_str(), "r");
#ifdef _WIN32
    if (f == nullptr) f = fopen(("Z:" + path).c_str(), "r");
#endif
    if (f == nullptr) return false;
    static char line[16384];
    for (int number = 1; fgets(line, sizeof line, f) != nullptr; number++) on_line(line, number);
    fclose(f);
    return true;
}

// The code point range at the start of a data line ("0041" or "0041..005A").
inline bool unicode_range(const char* line, unsigned* first, unsigned* last) {
    if (sscanf(line, "%x..%x", first, last) == 2) return true;
    if (sscanf(line, "%x", first) != 1) return false;
    *last = *first;
    return true;
}
