#include "platform/BackgroundThreads.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThreadPool>

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace velkin::BackgroundThreads {

namespace {

// How long a thread with nothing left to do waits for more before it ends:
// work handed over bit by bit (the loads of a document of thousands of
// pictures, each over in microseconds) then takes the threads there are
// instead of starting one for nearly every load.
constexpr auto kIdleWait = std::chrono::milliseconds(200);

// The work waiting for a thread, and the threads. A thread takes work until
// none comes for kIdleWait (or the threads are to end and none is left), then
// says it is done (under the lock, so that one not done yet is sure to look at
// the queue again) and ends; the next start joins it.
struct Pool {
    std::mutex lock;
    std::condition_variable arrived;  // work came, or the threads are to end
    std::deque<std::function<void()>> waiting;
    int idle = 0;         // threads waiting for work
    bool ending = false;  // the threads end once the work is done, without waiting for more
    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> done;
    };
    std::vector<Worker> workers;

    // At exit without joinAll (a program that never ran the event loop): the
    // threads have ended their work or are ending it.
    ~Pool()
    {
        {
            const std::lock_guard<std::mutex> guard(lock);
            ending = true;
        }
        arrived.notify_all();
        for (Worker& each : workers)
            if (each.thread.joinable())
                each.thread.join();
    }
};

Pool& pool()
{
    static Pool p;
    return p;
}

void work(const std::shared_ptr<bool>& done)
{
    Pool& p = pool();
    std::unique_lock<std::mutex> guard(p.lock);
    for (;;) {
        if (p.waiting.empty() && !p.ending) {
            ++p.idle;
            p.arrived.wait_for(guard, kIdleWait, [&p] { return !p.waiting.empty() || p.ending; });
            --p.idle;
        }
        if (p.waiting.empty()) {
            *done = true;
            return;
        }
        std::function<void()> next = std::move(p.waiting.front());
        p.waiting.pop_front();
        guard.unlock();
        next();
        next = nullptr;  // what the work holds goes outside the lock
        guard.lock();
    }
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
    Pool& p = pool();
    std::vector<std::thread> finished;
    std::function<void()> atOnce;
    {
        const std::lock_guard<std::mutex> guard(p.lock);
        for (auto it = p.workers.begin(); it != p.workers.end();) {
            if (*it->done) {
                finished.push_back(std::move(it->thread));
                it = p.workers.erase(it);
            } else {
                ++it;
            }
        }
        p.waiting.push_back(std::move(work));
        if (int(p.workers.size()) < maxThreads && p.idle < int(p.waiting.size())) {
            p.workers.reserve(maxThreads);  // a thread started is never left out of the list
            auto done = std::make_shared<bool>(false);
            try {
                p.workers.push_back({std::thread([done] { velkin::BackgroundThreads::work(done); }), done});
            } catch (const std::system_error&) {
                if (p.workers.empty()) {
                    atOnce = std::move(p.waiting.back());
                    p.waiting.pop_back();
                }
            }
        }
    }
    p.arrived.notify_one();
    for (std::thread& thread : finished)
        thread.join();
    if (atOnce)
        atOnce();
}

void joinAll()
{
    Pool& p = pool();
    std::vector<Pool::Worker> workers;
    {
        const std::lock_guard<std::mutex> guard(p.lock);
        workers.swap(p.workers);
        p.ending = true;
    }
    p.arrived.notify_all();
    for (Pool::Worker& each : workers)
        each.thread.join();
    const std::lock_guard<std::mutex> guard(p.lock);
    p.ending = false;
}

std::vector<long> toolkitThreads()
{
    // Every kind of thread the Qt modules and plugins the program loads start,
    // by the name Qt gives it (of which the kernel keeps the first 15 bytes).
    static constexpr std::string_view names[] = {
        "Thread (pooled)",               // any QThreadPool's: image conversion and scaling, name lookups
        "QNetworkAccessManager thread",  // a network access manager's
        "QLibProxyWrapper",              // the system-proxy lookups of downloads, ended by a static object
        "QFileInfoGatherer",             // a file dialog's
        "QXcbEventQueue",                // the X event reader
        "QDBusConnection",               // the D-Bus connections', ended by a static object
    };
    std::vector<long> found;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return found;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string name = threadName(entry->d_name);
        for (std::string_view known : names) {
            if (!name.empty() && name == known.substr(0, 15)) {
                found.push_back(std::strtol(entry->d_name, nullptr, 10));
                break;
            }
        }
    }
    closedir(tasks);
    return found;
}

void awaitEnd(const std::vector<long>& threads)
{
    for (const long thread : threads) {
        // The entry goes when the kernel lets the thread go: after it cleared
        // the id that pthread_join waits on, so after the thread's last step.
        const std::string path = "/proc/self/task/" + std::to_string(thread);
        struct stat entry {};
        while (::stat(path.c_str(), &entry) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void awaitToolkitThreadsAtExit()
{
    static std::once_flag registered;
    std::call_once(registered, [] {
        // Registered before Qt's statics are made, so that it runs after their teardown.
        std::atexit([] {
            if (QCoreApplication::instance())
                return;
            for (auto threads = toolkitThreads(); !threads.empty(); threads = toolkitThreads())
                awaitEnd(threads);
        });
    });
}

void keepToolkitPoolStarted()
{
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setStackSize(1 << 20);  // for pixel loops
    pool->setExpiryTimeout(-1);
    // Each task holds its thread until every task has one, so each starts a thread of its own.
    struct Gate {
        QSemaphore started, go;
    };
    const auto gate = std::make_shared<Gate>();
    const int count = pool->maxThreadCount();
    for (int i = 0; i < count; ++i)
        pool->start([gate] {
            gate->started.release();
            gate->go.acquire();
        });
    gate->started.tryAcquire(count, 10000);
    gate->go.release(count);
}

} // namespace velkin::BackgroundThreads
