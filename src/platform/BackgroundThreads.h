#pragma once
// Threads that must be over before the process ends.
//
// A thread still in its last steps when the process exits races with whatever
// runs at exit (the leak checker of the sanitizer build stops every thread and
// reads its stack and thread-local storage). Our own background work is joined,
// which waits for the real end. Qt ends its threads as their owners go: the
// pooled ones (the global pool that converts and scales images, the pool of
// name lookups) and a network access manager's with the application object, a
// file dialog's with the dialog, the X event reader with the window system,
// the D-Bus thread and the system-proxy lookup thread with static objects at
// exit. Qt's own wait for them ends when they say they are done; the threads
// still run for a moment after, and under load that moment has no bound. So
// the exit waits until the kernel has let each of them go.
#include <functional>
#include <vector>

namespace velkin::BackgroundThreads {

// The most threads `start` keeps at once.
inline constexpr int maxThreads = 4;

// Runs `work` on one of at most maxThreads threads of our own, which `joinAll`
// waits for; while all are busy it waits its turn. A thread the system cannot
// start (its threads or address space used up) ends nothing: the work waits for
// one that runs, or runs at once on the caller when none does. A thread left
// without work waits a moment for more before it ends.
void start(std::function<void()> work);

// Waits for every thread `start` began, after the work waiting for them. Called
// once the event loop is over and before the application object goes, since the
// work posts its results there.
void joinAll();

// Makes the process's exit wait, however long it takes, until no thread Qt
// ends with the application and its statics is left. Called first thing in
// main, before Qt is used, so that the wait comes after Qt's own teardown at
// exit. An exit from inside the event loop, with the application object still
// there, does not wait: its threads are not ending.
void awaitToolkitThreadsAtExit();

// Starts every thread of Qt's global pool and keeps them. Qt cuts a large image
// conversion or fill into pieces for that pool and waits for each piece; a
// piece given to a thread the system cannot start any more (its address space
// used up) is never run, and the wait never ends. Started first thing in main,
// while memory is plentiful, the threads are there when it runs low.
void keepToolkitPoolStarted();

// The kernel's ids of the process's threads that carry a name Qt gives the
// threads listed above.
std::vector<long> toolkitThreads();

// Waits, without a time limit, until none of `threads` is in the process any
// more: until the kernel has let each go, which comes after its last step.
void awaitEnd(const std::vector<long>& threads);

} // namespace velkin::BackgroundThreads
