// The widget-free pieces of the quick-scan window: name shortening and the worker hand-off.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <thread>

#include "app/core/gui_hand_off.h"
#include "app/core/quick_scan_names.h"
#include "app_test_support.h"
#include "platform/main_thread.h"

namespace nimbara::test {
namespace {

using shell::shortenedLargeAppName;
using shell::shortenedLargeFileName;

TEST(QuickScanNames, LargeFileNamesAreShortenedFrom43Characters) {
    const QString name42 = QString(38, QLatin1Char('a')) + QStringLiteral(".MOV");
    EXPECT_EQ(shortenedLargeFileName(name42), name42);
    const QString name43 = QStringLiteral("0123456789abcdefghijK") + QStringLiteral("X") +
                           QStringLiteral("LMNOPQRSTUVWXYZ01.MOV");
    ASSERT_EQ(name43.size(), 43);
    const QString shortened = shortenedLargeFileName(name43);
    EXPECT_EQ(shortened.size(), 47);
    EXPECT_EQ(shortened, QStringLiteral("0123456789abcdefghijK.....LMNOPQRSTUVWXYZ01.MOV"));
    EXPECT_EQ(shortenedLargeFileName(QString()), QString());
}

TEST(QuickScanNames, LargeAppNamesAreShortenedFrom81Characters) {
    const QString name80 = QString(76, QLatin1Char('b')) + QStringLiteral(".app");
    EXPECT_EQ(shortenedLargeAppName(name80), name80);
    const QString name81 = QString(40, QLatin1Char('h')) + QStringLiteral("M") +
                           QString(36, QLatin1Char('t')) + QStringLiteral(".app");
    const QString shortened = shortenedLargeAppName(name81);
    EXPECT_EQ(shortened.size(), 85);
    EXPECT_EQ(shortened, QString(40, QLatin1Char('h')) + QStringLiteral(".....") +
                             QString(36, QLatin1Char('t')) + QStringLiteral(".app"));
}

TEST(QuickScanNames, CharactersOutsideTheBasicPlaneAreNeverCut) {
    // 43 characters, each two UTF-16 units: the cut keeps whole characters.
    QString name;
    for (int i = 0; i < 43; ++i) {
        name += QString::fromUcs4(U"\U0001F600", 1);
    }
    const QString shortened = shortenedLargeFileName(name);
    EXPECT_EQ(shortened.toUcs4().size(), 47);
    EXPECT_EQ(shortened.toUcs4().count(0xFFFD), 0);
    EXPECT_TRUE(shortened.contains(QStringLiteral(".....")));
}

// A worker waiting for the GUI thread is released by cancel(), and the step it asked for
// never runs afterwards: the GUI thread can join it without a deadlock.
TEST(GuiHandOff, CancelReleasesAWaitingWorkerAndDropsItsStep) {
    ensureApplication();
    resetMainThreadCalls();
    shell::GuiHandOff handOff;
    std::atomic<bool> stepRan{false};
    std::atomic<bool> started{false};
    bool result = true;
    std::thread worker([&] {
        started = true;
        result = handOff.run([&] { stepRan = true; });
    });
    while (!started) {
        std::this_thread::yield();
    }
    handOff.cancel();  // before this thread ran any event: the step is still queued
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_FALSE(result);
    EXPECT_FALSE(stepRan);
    EXPECT_FALSE(handOff.run([&] { stepRan = true; }));  // on the GUI thread, after cancel
    EXPECT_FALSE(stepRan);
}

TEST(GuiHandOff, StepsRunOnTheGuiThreadInOrder) {
    ensureApplication();
    resetMainThreadCalls();
    shell::GuiHandOff handOff;
    std::vector<int> order;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            handOff.run([&order, i] {
                EXPECT_TRUE(isMainThread());
                order.push_back(i);
            });
        }
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

}  // namespace
}  // namespace nimbara::test
