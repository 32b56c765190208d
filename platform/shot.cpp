// Pictures of the screen: the frame copied while no _UPDATE writes it, then
// written as PNG.
#include "platform/shot.h"

#include <cerrno>
#include <cstring>
#include <png.h>

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

// The frame is copied first, so that no _UPDATE waits while the picture is compressed.
bool save_shot(const std::string& path, std::string* why) {
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
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 640 * 3, nullptr)) return true;
    if (why) *why = image.message[0] ? image.message : std::strerror(errno);
    return false;
}
