#include "platform/BackgroundThreads.h"

#include <QApplication>
#include <QEvent>
#include <QThread>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // As the program does: after the toolkit's own teardown, no thread of it is still ending.
    velkin::BackgroundThreads::awaitToolkitThreadsAtExit();
    int result = 0;
    {
        QApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
        // Tests run no outer event loop, so replies a test finished with wait for
        // deletion; delete them now and give the network manager's thread a moment
        // to free its half of each download: the application's teardown stops that
        // thread without letting it finish its queue.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QThread::msleep(50);
        QCoreApplication::processEvents();
        velkin::BackgroundThreads::joinAll();
    }
    return result;
}
