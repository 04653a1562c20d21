#pragma once
// Threads that must be over before the process ends.
//
// A thread still in its last steps when the process exits races with whatever
// runs at exit (the leak checker of the sanitizer build stops every thread and
// reads its stack and thread-local storage; one that is tearing those down makes
// it crash). Qt ends its pooled threads, its X event reader and its D-Bus
// thread as the application object and its own statics go, but only waits
// until they say they are done: the threads themselves still run for a moment
// after. Our own background work is joined, which waits for the real end.
#include <chrono>
#include <functional>

namespace velkin::BackgroundThreads {

// Runs `work` on a thread of its own that `joinAll` waits for.
void start(std::function<void()> work);

// Waits for every thread `start` began. Called once the event loop is over and
// before the application object goes, since the work posts its results there.
void joinAll();

// Waits, at most `limit`, until the threads Qt ended as the application object
// and its statics went have left the process; called at exit. An ending
// thread leaves within milliseconds; the limit only matters for pooled threads
// of a pool that outlives the application (Qt's name lookups keep theirs idle
// for half a minute), which must not hold up the exit for long.
void awaitToolkitThreads(std::chrono::milliseconds limit = std::chrono::milliseconds(500));

// How many of the process's threads carry one of the names Qt gives the
// threads it ends with the application (its pooled threads, its X event reader,
// its D-Bus thread).
int toolkitThreadsAlive();

} // namespace velkin::BackgroundThreads
