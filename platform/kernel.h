#pragma once
// Threads. Every call below is a kill point: a thread that has been killed parks
// there for good instead of going on.
#include "platform/types.h"

typedef int32 (*thread_func)(void*);

enum : int32 { B_NORMAL_PRIORITY = 10 };

// A new thread, suspended until resume_thread. The name is kept for debuggers.
thread_id spawn_thread(thread_func entry, const char* name, int32 priority, void* data);
// Starts a thread made by spawn_thread. B_BAD_THREAD_ID for an unknown or dead id.
status_t resume_thread(thread_id id);
// Ends the thread at once, at its next kill point, and returns once it has stopped
// for good; it is parked, never unwound. Killing the calling thread parks it.
// A window lock the victim held is released. B_BAD_THREAD_ID for an unknown or dead id.
status_t kill_thread(thread_id id);

// One turn of a spinning wait: a kill point and a CPU pause. Long spins back off
// until some platform state changes, so a wait does not burn a core.
void spin_hint();
// Never returns; the thread idles until it is killed or the process ends.
[[noreturn]] void wait_forever();
