#include "cli/signalwatcher.h"

#include <QSignalSpy>
#include <QTest>

#ifdef Q_OS_WIN
#include <atomic>
#include <thread>
#include <windows.h>
#else
#include <csignal>
#endif

// What reaches kvx-update when it is asked to stop: a request it may take
// its time over (interrupted), or the system's notice that it ends the
// process within seconds (closing: a Windows console closed, log-off,
// shut-down), when the handler must hold on until the program is done.
class TestSignalWatcher : public QObject
{
    Q_OBJECT

private slots:
    void events_data();
    void events();
};

void TestSignalWatcher::events_data()
{
    QTest::addColumn<unsigned long>("event"); // a console event, or a POSIX signal
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("closing");
#ifdef Q_OS_WIN
    QTest::newRow("Ctrl-C") << static_cast<unsigned long>(CTRL_C_EVENT) << 2 << false;
    QTest::newRow("Ctrl-Break") << static_cast<unsigned long>(CTRL_BREAK_EVENT) << 2 << false;
    QTest::newRow("console closed") << static_cast<unsigned long>(CTRL_CLOSE_EVENT) << 1 << true;
    QTest::newRow("log-off") << static_cast<unsigned long>(CTRL_LOGOFF_EVENT) << 15 << true;
    QTest::newRow("shut-down") << static_cast<unsigned long>(CTRL_SHUTDOWN_EVENT) << 15 << true;
#else
    // A remote shell that closed, or kill: the program ends well, in its time.
    QTest::newRow("SIGINT") << static_cast<unsigned long>(SIGINT) << 2 << false;
    QTest::newRow("SIGHUP") << static_cast<unsigned long>(SIGHUP) << 1 << false;
    QTest::newRow("SIGTERM") << static_cast<unsigned long>(SIGTERM) << 15 << false;
#endif
}

void TestSignalWatcher::events()
{
    QFETCH(unsigned long, event);
    QFETCH(int, number);
    QFETCH(bool, closing);
    auto *watcher = new SignalWatcher;
    QVERIFY(watcher->isActive());
    QSignalSpy interrupted(watcher, &SignalWatcher::interrupted);
    QSignalSpy closed(watcher, &SignalWatcher::closing);
#ifdef Q_OS_WIN
    // As the system does: on a thread of its own.
    std::atomic<bool> returned{ false };
    std::atomic<int> handled{ -1 };
    std::thread system([&] {
        handled = SignalWatcher::handleConsoleEvent(event);
        returned = true;
    });
    QSignalSpy &heard = closing ? closed : interrupted;
    QTRY_COMPARE(heard.count(), 1);
    QCOMPARE(heard.at(0).at(0).toInt(), number);
    QCOMPARE((closing ? interrupted : closed).count(), 0);
    if (closing) {
        // Held until the program is done with the watcher: the system would
        // end the process as soon as it returns.
        QTest::qWait(200);
        QVERIFY(!returned);
        delete watcher;
        watcher = nullptr;
    }
    system.join();
    QCOMPARE(handled.load(), 1);
    delete watcher;
#else
    QVERIFY(!closing);
    std::raise(int(event));
    QTRY_COMPARE(interrupted.count(), 1);
    QCOMPARE(interrupted.at(0).at(0).toInt(), number);
    QCOMPARE(closed.count(), 0);
    delete watcher;
#endif
}

QTEST_GUILESS_MAIN(TestSignalWatcher)
#include "tst_signalwatcher.moc"
