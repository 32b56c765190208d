#pragma once
// Sequential reading of a file by relative path.
#include <string>
#include <sys/types.h>

#include "platform/types.h"

enum : uint32 { B_READ_ONLY = 0 };

class BFile {
public:
    // Opens path (relative to the working directory) for reading. The first file
    // of the run that cannot be opened is named on stderr, with the cause.
    BFile(const char* path, uint32 open_mode);
    // Closes the file.
    virtual ~BFile();
    // B_OK when the file is open, B_NO_INIT otherwise.
    status_t InitCheck() const;
    // Reads up to size bytes at the current position into buffer and moves on.
    // Returns the count read; after a failed open, 0, and buffer is left untouched.
    virtual ssize_t Read(void* buffer, size_t size);

    BFile(const BFile&) = delete;
    BFile& operator=(const BFile&) = delete;

private:
    int fd_;
    std::string path_;
};

// The file a thread is opening or reading at this moment, or "": for messages about
// a game that does not answer.
std::string file_in_progress();
