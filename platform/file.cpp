// Files: a thin wrapper over a read-only descriptor.
#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/core.h"

namespace {
// Opening and reading are kill points like every other platform call.
void kill_point() {
    platform::Guard g(platform::core().mu);
    platform::enter(g);
}
} // namespace

BFile::BFile(const char* path, uint32 /*open_mode: reading is all the game does*/) : fd_(-1) {
    kill_point();
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
}

BFile::~BFile() {
    if (fd_ >= 0) ::close(fd_);
}

status_t BFile::InitCheck() const { return fd_ >= 0 ? B_OK : B_NO_INIT; }

// Reads until size bytes have come or the file ends, so that a picture is never
// cut short by a read that returns early.
ssize_t BFile::Read(void* buffer, size_t size) {
    kill_point();
    if (fd_ < 0) return 0;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return ssize_t(done);
}
