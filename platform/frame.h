#pragma once
// The hand-over of a frame to the display. The game's copy into the frame buffer
// calls begin before it writes and end once the frame is whole: begin returns once
// the frame buffer may be written, end hands the new frame over. The screen
// installs both when it is shown; both are null until then.
struct UpdateHooks {
    void (*begin)();
    void (*end)();
};
extern UpdateHooks update_hooks;
