#include "platform/BackgroundThreads.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTcpServer>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <string>
#include <thread>

namespace {

using namespace velkin;

std::set<long> threadsInProcess()
{
    std::set<long> ids;
    DIR* tasks = opendir("/proc/self/task");
    while (const dirent* entry = readdir(tasks))
        if (entry->d_name[0] != '.')
            ids.insert(std::stol(entry->d_name));
    closedir(tasks);
    return ids;
}

bool isToolkitThread(long thread)
{
    const std::vector<long> toolkit = BackgroundThreads::toolkitThreads();
    return std::find(toolkit.begin(), toolkit.end(), thread) != toolkit.end();
}

TEST(BackgroundThreads, OwnThreadsAreJoined)
{
    const std::set<long> before = threadsInProcess();
    std::atomic<int> finished = 0;
    for (int i = 0; i < 4; ++i)
        BackgroundThreads::start([&finished, i] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * i));
            ++finished;
        });
    BackgroundThreads::joinAll();
    EXPECT_EQ(finished.load(), 4);
    EXPECT_EQ(threadsInProcess(), before);
}

// Qt's wait for a thread it ends returns once the thread says it is done; the
// thread then still runs its last steps (here a thread_local object's
// destructor, held until let go from beside). The exit's wait lasts until then.
TEST(BackgroundThreads, AToolkitThreadIsAwaitedUntilItsLastStepIsOver)
{
    std::promise<void> letGo;  // gone or set, it lets the thread go
    std::shared_future<void> gate = letGo.get_future().share();
    std::atomic<bool> lastStepOver = false;
    std::atomic<long> worker = 0;
    {
        QThreadPool pool;
        pool.start([&] {
            struct LastStep {
                std::shared_future<void> gate;
                std::atomic<bool>* over = nullptr;
                ~LastStep() { gate.wait(), *over = true; }
            };
            thread_local LastStep last{gate, &lastStepOver};
            worker = gettid();
        });
    }
    EXPECT_TRUE(threadsInProcess().count(worker));
    EXPECT_TRUE(isToolkitThread(worker));
    std::thread releaser([&letGo] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        letGo.set_value();
    });
    BackgroundThreads::awaitEnd({worker});
    EXPECT_TRUE(lastStepOver);
    EXPECT_FALSE(threadsInProcess().count(worker));
    releaser.join();
}

// Every thread Qt starts for what the program uses (a download and its
// system-proxy lookup, pooled work as image conversion and name lookups do)
// carries a name the exit waits for.
TEST(BackgroundThreads, EveryThreadQtStartsForUsIsOneTheExitAwaits)
{
    const std::set<long> before = threadsInProcess();
    QTcpServer closed;  // a port nothing listens on: the download is refused at once
    closed.listen(QHostAddress::LocalHost);
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()));
    closed.close();
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(url)));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(QStringLiteral("http://192.0.2.1/"))));
    QThreadPool pool;
    std::promise<void> running, letGo;  // gone at the end, letGo lets the pooled thread go
    pool.start([&running, gate = letGo.get_future().share()] { running.set_value(), gate.wait(); });
    running.get_future().wait();

    std::vector<long> started;
    const std::set<long> now = threadsInProcess();
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::back_inserter(started));
    EXPECT_GE(started.size(), 3u);
    for (const long thread : started)
        EXPECT_TRUE(isToolkitThread(thread)) << "thread " << thread << " is not one the exit waits for";
}

} // namespace
