// Prints how long the device list takes for what a large venue throws at it:
// many add messages at start, progress messages during a run, and the
// once-a-second scheduler tick, and what one card costs in memory. Runs the
// shipped main.qml offscreen with the stand-in core. Figures only, no pass or
// fail.

#include "common/offscreen.h"
#include "common/standinwindow.h"
#include "common/resident.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

int g_logLines = 0;

// The list writes a few console lines per card; on the shipped Windows build
// there is no console, so the figures leave out the cost of printing them.
void countOnly(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++g_logLines;
}

QString address(int i)
{
    return QStringLiteral("10.77.%1.%2").arg(i / 200).arg(10 + i % 200);
}

// The benchmark steps the scheduler itself: the window's timer is stopped.
struct Window : StandInWindow
{
    Window() { QCoreApplication::processEvents(); }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Adds n cards to an empty list: the handlers alone, then until the window
// has laid them out and drawn a frame.
void addCards(int n)
{
    std::vector<double> handlers, total;
    for (int round = 0; round < 3; ++round) {
        Window w;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < n; ++i)
            w.core().addUnit(address(i), QStringLiteral("Unit %1").arg(i));
        handlers.push_back(t.nsecsElapsed() / 1e6);
        w.window()->requestUpdate();
        QCoreApplication::processEvents();
        total.push_back(t.nsecsElapsed() / 1e6);
        if (!w.card(n - 1))
            std::printf("  (card %d missing!)\n", n - 1);
    }
    std::printf("add %4d cards:                 %8.1f ms in the handlers, %8.1f ms with layout and "
                "frame"
                " (median of 3; %.2f ms a card)\n",
                n, median(handlers), median(total), median(total) / n);
}

// One progress message for the last of 48 cards: the handler walks all rows.
void progressMessage()
{
    Window w;
    for (int i = 0; i < 48; ++i)
        w.core().addUnit(address(i));
    QCoreApplication::processEvents();
    const int repeats = 2000;
    QElapsedTimer t;
    t.start();
    for (int r = 0; r < repeats; ++r)
        w.core().progress(QStringLiteral("Sending... %1%").arg(r % 100), address(47));
    const double perMessage = t.nsecsElapsed() / 1e3 / repeats;
    std::printf("progress message, 48 cards:    %8.1f us per message (last row, %d messages)\n",
                perMessage, repeats);
    QCoreApplication::processEvents();
}

// One scheduler tick over 48 targets: five sending, 43 waiting.
void schedulerTick()
{
    Window w;
    for (int i = 0; i < 48; ++i) {
        w.core().addUnit(address(i));
        w.card(i)->setProperty("m_f_selected", true);
    }
    QMetaObject::invokeMethod(w.view(), "start_update");
    for (int i = 0; i < 5; ++i)
        w.core().progress(QStringLiteral("Sending... 12%"), address(i));
    const int repeats = 2000;
    QElapsedTimer t;
    t.start();
    for (int r = 0; r < repeats; ++r)
        QMetaObject::invokeMethod(w.view(), "updating_tick");
    const double perTick = t.nsecsElapsed() / 1e3 / repeats;
    const int working = w.view()->property("m_nofWorkingUnits").toInt();
    const int waiting = w.view()->property("m_nofWaitingUnits").toInt();
    std::printf("scheduler tick, 48 targets:    %8.1f us per tick (%d working, %d waiting, %d "
                "starts)\n",
                perTick, working, waiting, w.core().callCount());
}

// The resident size one card adds, with every row filled and a version
// tag showing: many cards, so that the heap's own steps average out.
void memoryPerCard(int n)
{
    std::vector<double> perCard;
    for (int round = 0; round < 3; ++round) {
        Window w;
        w.window()->grabWindow();
        const qint64 before = residentKiB();
        if (before < 0) {
            std::printf("memory:                        n/a (no resident size here)\n");
            return;
        }
        for (int i = 0; i < n; ++i) {
            w.core().addUnit(address(i), QStringLiteral("Unit %1").arg(i), QStringLiteral("VK-3F"),
                             QStringLiteral("1.02"));
            w.core().updateUnit(address(i), QStringLiteral("m_build"),
                                QStringLiteral("(build0110)"));
        }
        w.window()->grabWindow();
        perCard.push_back(double(residentKiB() - before) / n);
    }
    std::printf("memory, %4d drawn cards:       %8.2f KiB a card (median of 3)\n", n,
                median(perCard));
}

} // namespace

int main(int argc, char *argv[])
{
    preferOffscreenSoftware();
    QGuiApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    qInstallMessageHandler(countOnly);

    std::printf("device list (qml/UdpListView.qml), stand-in core, %s backend, %s platform\n",
                qgetenv("QT_QUICK_BACKEND").constData(), qgetenv("QT_QPA_PLATFORM").constData());
    addCards(48);
    addCards(500);
    progressMessage();
    schedulerTick();
    memoryPerCard(480);
    std::printf("(%d console lines swallowed)\n", g_logLines);
    return 0;
}
