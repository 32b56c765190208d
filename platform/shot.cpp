// Pictures of the screen: the frame copied while no _UPDATE writes it, then
// written as PNG.
#include "platform/shot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core.h"
#include "platform/device.h"

namespace platform {

std::vector<uint32_t> copy_frame() {
    Core& c = core();
    {
        Guard g(c.mu);
        wait(g, self(g), [&] { return !c.copying; });
        c.presenting = true;
    }
    std::vector<uint32_t> out(640 * 480);
    std::memcpy(out.data(), device().frame_buffer(), kFrameBytes);
    Guard g(c.mu);
    c.presenting = false;
    c.cv.notify_all();
    return out;
}

} // namespace platform

// The picture goes to a new file beside the target, which then takes the target's
// name: a shot that fails leaves the path as it was and removes only the file it
// made, and a device or a directory of that name is never written or removed.
bool save_shot(const std::string& path, std::string* why) {
    auto fail = [&](const std::string& cause) {
        if (why) *why = cause;
        return false;
    };
    struct stat there;
    if (lstat(path.c_str(), &there) == 0 && !S_ISREG(there.st_mode)) return fail("not a regular file");
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string temp = dir + ".shot-XXXXXX";
    int fd = mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* out = fdopen(fd, "wb");
    if (!out) {
        int cause = errno;
        close(fd);
        unlink(temp.c_str());
        return fail(std::strerror(cause));
    }

    // The frame is copied first, so that no _UPDATE waits while the picture is compressed.
    std::vector<uint32_t> frame = platform::copy_frame();
    std::vector<uint8_t> rgb(640 * 480 * 3);
    for (size_t i = 0; i < 640 * 480; i++) {
        rgb[i * 3 + 0] = uint8_t(frame[i] >> 16);
        rgb[i * 3 + 1] = uint8_t(frame[i] >> 8);
        rgb[i * 3 + 2] = uint8_t(frame[i]);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 640;
    image.height = 480;
    image.format = PNG_FORMAT_RGB;
    image.flags = PNG_IMAGE_FLAG_FAST; // shots are for tests and looking, not for keeping
    bool ok = png_image_write_to_stdio(&image, out, 0, rgb.data(), 640 * 3, nullptr);
    std::string cause = ok ? "" : image.message[0] ? image.message : "cannot write the picture";
    if (std::fflush(out) != 0 && ok) ok = false, cause = std::strerror(errno);
    if (std::fclose(out) != 0 && ok) ok = false, cause = std::strerror(errno);
    if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false, cause = std::strerror(errno);
    if (ok) return true;
    unlink(temp.c_str());
    return fail(cause);
}
