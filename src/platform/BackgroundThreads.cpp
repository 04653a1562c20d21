#include "platform/BackgroundThreads.h"

#include <dirent.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velkin::BackgroundThreads {

namespace {

std::mutex& threadsLock()
{
    static std::mutex lock;
    return lock;
}

// Threads already finished are joined when the next one starts, so the list
// stays as short as the work in flight.
struct Started {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

std::vector<Started>& started()
{
    static std::vector<Started> threads;
    return threads;
}

// The kernel's name of a thread: at most 15 bytes, as the thread set it.
std::string threadName(const char* taskId)
{
    const std::string path = std::string("/proc/self/task/") + taskId + "/comm";
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file)
        return {};
    char name[32] = {};
    const size_t read = std::fread(name, 1, sizeof name - 1, file);
    std::fclose(file);
    std::string text(name, read);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

void start(std::function<void()> work)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::vector<std::thread> finished;
    {
        const std::lock_guard<std::mutex> guard(threadsLock());
        auto& threads = started();
        for (auto it = threads.begin(); it != threads.end();) {
            if (it->done->load()) {
                finished.push_back(std::move(it->thread));
                it = threads.erase(it);
            } else {
                ++it;
            }
        }
        threads.push_back({std::thread([work = std::move(work), done] {
                               work();
                               done->store(true);
                           }),
                           done});
    }
    for (std::thread& thread : finished)
        thread.join();
}

void joinAll()
{
    std::vector<Started> threads;
    {
        const std::lock_guard<std::mutex> guard(threadsLock());
        threads.swap(started());
    }
    for (Started& each : threads)
        each.thread.join();
}

int toolkitThreadsAlive()
{
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    int alive = 0;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string name = threadName(entry->d_name);
        if (name == "Thread (pooled)" || name == "QXcbEventQueue" || name == "QDBusConnection")
            ++alive;
    }
    closedir(tasks);
    return alive;
}

void awaitToolkitThreads(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (toolkitThreadsAlive() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace velkin::BackgroundThreads
