#include "platform/BackgroundThreads.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace velkin;

int threadsInProcess()
{
    DIR* tasks = opendir("/proc/self/task");
    int count = 0;
    while (const dirent* entry = readdir(tasks))
        count += entry->d_name[0] != '.';
    closedir(tasks);
    return count;
}

// What the process's exit relies on: after joinAll no started thread is left,
// however long its work ran, and Qt's pooled threads are known by their name,
// so that the exit can wait until they are really gone.
TEST(BackgroundThreads, NoThreadOutlivesTheWaitsAtExit)
{
    const int before = threadsInProcess();
    std::atomic<int> finished = 0;
    for (int i = 0; i < 4; ++i)
        BackgroundThreads::start([&finished, i] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * i));
            ++finished;
        });
    BackgroundThreads::joinAll();
    EXPECT_EQ(finished.load(), 4);
    EXPECT_EQ(threadsInProcess(), before);

    const int pooledBefore = BackgroundThreads::toolkitThreadsAlive();
    {
        QThreadPool pool;
        std::atomic<bool> release = false;
        std::atomic<bool> running = false;
        pool.start([&] {
            running = true;
            while (!release)
                std::this_thread::yield();
        });
        while (!running)
            std::this_thread::yield();
        EXPECT_EQ(BackgroundThreads::toolkitThreadsAlive(), pooledBefore + 1);
        release = true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (BackgroundThreads::toolkitThreadsAlive() > pooledBefore && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(BackgroundThreads::toolkitThreadsAlive(), pooledBefore);
}

} // namespace
