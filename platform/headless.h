#pragma once
// For tests and measuring programs: input set directly, below the input queue, a
// look at what the game has presented, and the threads and locks. In the library
// platform_testing, which only they link: game code never includes this.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/app.h"

namespace headless {

// Runs this process on the headless device: use_headless_device().
void select();

// Input as a player gives it. Positions are clamped into the 640x480 screen; buttons
// are 1 (primary), 2 and 3; key codes are the raw codes of key_info.
void move(float x, float y);
void press(int button = 1);
void release(int button = 1);
void key(uint8 code, bool down);

// Waits until the game has taken in the latest input: the mouse thread has begun
// GetMouse `passes` times since, and after that the game has begun `calls` polls
// (get_key_info, spin_hint, wait_forever). False when limit_ms ran out first.
bool wait_seen(int passes = 2, int calls = 3, int limit_ms = 10000);

// The frame as the last whole _UPDATE left it: 640x480 words 0xAARRGGBB.
std::vector<uint32_t> frame();
// Waits until the frame, as the last whole _UPDATE left it, satisfies pred; false
// when limit_ms ran out first.
bool wait_frame(const std::function<bool(const uint32_t* frame)>& pred, int limit_ms = 10000);

// The pacing waits inside get_key_info, GetMouse and spin_hint last at most ms;
// with 0 they end only when something changes, so tests can tell the two apart.
void set_tick_ms(int ms);

// Threads and locks, for tests.
thread_id current_thread();
bool wait_parked(thread_id id, int limit_ms = 10000);
thread_id lock_owner(BLooper* looper); // 0 while free
uint64_t game_calls();                 // get_key_info, spin_hint, wait_forever begun so far

} // namespace headless
