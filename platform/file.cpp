// Files: a thin wrapper over a read-only descriptor.
#include "platform/file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

#include "platform/core.h"
#include "platform/device.h"

namespace {

bool failure_said = false; // under the platform mutex

// Opening and reading are kill points like every other platform call; a thread
// stuck in the system call itself is named by file_in_progress meanwhile.
void start_io(const std::string& path) {
    platform::Guard g(platform::core().mu);
    platform::enter(g);
    platform::core().opening = path;
}

// True, once per run, when the open that ends here failed.
bool end_io(bool failed = false) {
    platform::Guard g(platform::core().mu);
    platform::core().opening.clear();
    return failed && !std::exchange(failure_said, true);
}

} // namespace

BFile::BFile(const char* path, uint32 /*open_mode: reading is all the game does*/) : fd_(-1), path_(path ? path : "") {
    start_io(path_);
    fd_ = path ? ::open(path, O_RDONLY | O_CLOEXEC) : -1;
    int cause = errno;
    // The game shows a missing picture as black and goes on; the player is told
    // once why the screen is dark, which is most often the working directory.
    if (end_io(fd_ < 0)) {
        bool picture = path_.rfind("Sprites/", 0) == 0;
        std::fprintf(stderr, "%s: cannot open %s: %s%s\n", platform::program_name(), path_.c_str(),
                     std::strerror(cause),
                     picture ? " (pictures are read from Sprites/ in the working directory)" : "");
    }
}

BFile::~BFile() {
    if (fd_ >= 0) ::close(fd_);
}

status_t BFile::InitCheck() const { return fd_ >= 0 ? B_OK : B_NO_INIT; }

// Reads until size bytes have come or the file ends, so that a picture is never
// cut short by a read that returns early.
ssize_t BFile::Read(void* buffer, size_t size) {
    start_io(path_);
    size_t done = 0;
    while (fd_ >= 0 && done < size) {
        ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    end_io();
    return ssize_t(done);
}

std::string file_in_progress() {
    platform::Guard g(platform::core().mu);
    return platform::core().opening;
}
