#pragma once
// A generated source is written aside and renamed over its target, so that a failed
// run never leaves half a file behind for the build to take as made.
#include <cstdio>
#include <string>

namespace tools {

// Opens OUT.tmp for writing; null, with a line on stderr, when it cannot.
inline FILE* open_aside(const char* tool, const std::string& out) {
    FILE* f = std::fopen((out + ".tmp").c_str(), "w");
    if (!f) std::fprintf(stderr, "%s: cannot write %s.tmp\n", tool, out.c_str());
    return f;
}

// Closes f and puts it in place of OUT; false, with a line and nothing left behind,
// when any write failed.
inline bool finish_aside(const char* tool, FILE* f, const std::string& out) {
    const std::string temp = out + ".tmp";
    bool ok = std::ferror(f) == 0;
    ok &= std::fclose(f) == 0;
    if (ok && std::rename(temp.c_str(), out.c_str()) == 0) return true;
    std::fprintf(stderr, "%s: cannot write %s\n", tool, out.c_str());
    std::remove(temp.c_str());
    return false;
}

} // namespace tools
