// A rack of 48 simulated units (no flash write delay) updated by the whole
// updater, driven through its window as in the end-to-end tests. Prints, and
// asserts nothing:
//
//  - time: each 48-unit run from the click on "Update" to the last unit's
//    completion and to "Finished.", the time per unit (connection request to
//    completion) against one unit updated alone, and the same 48 units started
//    by the core alone five at a time without the window's one-start-a-second
//    pacing, which shows what bounds the total;
//  - memory: resident size idle with 48 discovered units, the peak during
//    each run, and the resident size after each of the consecutive runs;
//  - the proof: after each run, the time from "Finished." until every unit
//    has restarted (the simulator's default reboot time) and is back on its
//    card. The next run starts only then, and the core-alone figures too, so
//    that no unit is started while it restarts.
//
//     tools/netlab/netlab -- build/bench/bench_rack [--runs N]   (default 10)
//
// Between runs the benchmark clears every card's progress text (as if the
// units had just been discovered): a card that shows a completed update
// cannot be selected again.
#include "common/offscreen.h"
#include "common/lab.h"
#include "common/updaterwindow.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kUnits = 48;

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed())
                                          : QString();
}

double mib(qint64 kib)
{
    return double(kib) / 1024.0;
}

struct UnitTimes
{
    QList<qint64> perUnit; // connection request to completion, ms
    qint64 firstRequest = -1;
    qint64 lastCompletion = -1;
    int completed = 0;
    int failed = 0;
};

// From the core's progress log: each unit's time from "connecting..." to its
// completion text.
UnitTimes unitTimes(const QList<UpdaterWindow::TextEvent> &log)
{
    UnitTimes t;
    QHash<QString, qint64> started;
    for (const UpdaterWindow::TextEvent &e : log) {
        if (e.text == QLatin1String("connecting...")) {
            started.insert(e.address, e.ms);
            if (t.firstRequest < 0)
                t.firstRequest = e.ms;
        } else if (e.text == QLatin1String("Firmware update completed.")) {
            ++t.completed;
            t.perUnit << e.ms - started.value(e.address, e.ms);
            t.lastCompletion = e.ms;
        } else if (e.text.startsWith(QLatin1String("ERROR"))) {
            ++t.failed;
        }
    }
    return t;
}

qint64 median(QList<qint64> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

qint64 mean(const QList<qint64> &values)
{
    if (values.isEmpty())
        return -1;
    qint64 sum = 0;
    for (qint64 v : values)
        sum += v;
    return sum / values.size();
}

void resetCards(UpdaterWindow &updater)
{
    for (int i = 0; i < updater.cardCount(); ++i) {
        QQuickItem *card = updater.card(i);
        card->setProperty("m_msg", QString());
        card->setProperty("m_f_selected", false);
    }
}

// Waits until every unit's card says it is back after its update.
bool waitUntilBack(UpdaterWindow &updater, const QStringList &addresses)
{
    return labWaitUntil(
            [&] {
                for (const QString &a : addresses) {
                    QQuickItem *card = updater.card(a);
                    if (!card || card->property("m_after_update").toString() != "back")
                        return false;
                }
                return true;
            },
            90000);
}

// Samples the resident size while a run goes on.
class ResidentSampler
{
public:
    ResidentSampler()
    {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_peak = qMax(m_peak, residentKiB()); });
    }
    void start()
    {
        m_peak = residentKiB();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        return qMax(m_peak, residentKiB());
    }

private:
    QTimer m_timer;
    qint64 m_peak = 0;
};

// One unit at a time through the core, to compare with the rack's per-unit
// figure: the same path as a run started by a card.
qint64 singleUnit(UpdaterWindow &updater, const QString &address)
{
    updater.clearLogs();
    QMetaObject::invokeMethod(updater.table(), "fwUpdateStart", Q_ARG(QString, address),
                              Q_ARG(QString, QStringLiteral("admin")),
                              Q_ARG(QString, QStringLiteral("54726")));
    labWaitUntil(
            [&] {
                return !updater.coreTextsOf(address).isEmpty()
                        && (updater.coreTextsOf(address).last()
                                    == QLatin1String("Firmware update completed.")
                            || updater.coreTextsOf(address).last().startsWith(
                                    QLatin1String("ERROR")));
            },
            30000);
    const UnitTimes t = unitTimes(updater.coreTexts());
    return t.completed == 1 ? t.perUnit.first() : -1;
}

// All units through the core, five at a time, each next one started the
// moment a unit completes (no pacing).
UnitTimes coreAlone(UpdaterWindow &updater, const QStringList &addresses)
{
    updater.clearLogs();
    int next = 0;
    auto startNext = [&] {
        if (next < addresses.size())
            updater.table()->fwUpdateStart(addresses.at(next++), QStringLiteral("admin"),
                                           QStringLiteral("54726"));
    };
    // Started from the event loop, not from inside the core's emission (the
    // table holds its lock while it reports some texts).
    updater.onCoreText = [&](const QString &text, const QString &) {
        if (text == QLatin1String("Firmware update completed.")
            || text.startsWith(QLatin1String("ERROR")))
            QTimer::singleShot(0, startNext);
    };
    for (int i = 0; i < 5; ++i)
        startNext();
    labWaitUntil(
            [&] {
                const UnitTimes t = unitTimes(updater.coreTexts());
                return t.completed + t.failed == addresses.size();
            },
            120000);
    updater.onCoreText = nullptr;
    return unitTimes(updater.coreTexts());
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreenSoftware();
    QGuiApplication app(argc, argv);
    int runs = 10;
    const QStringList args = app.arguments();
    const int runsAt = args.indexOf(QStringLiteral("--runs"));
    if (runsAt > 0 && runsAt + 1 < args.size())
        runs = qMax(1, args.at(runsAt + 1).toInt());

    QString why;
    if (!UpdaterWindow::labIsolated(&why)) {
        std::fprintf(stderr, "%s: run it inside the lab: tools/netlab/netlab -- %s\n",
                     qPrintable(why), argv[0]);
        return 77;
    }
    labUseDevsimOfThisBuild(QStringLiteral("../tools/devsim/kvx-devsim"));
    const QStringList addresses = labDeviceAddresses().mid(0, kUnits);
    if (addresses.size() < kUnits) {
        std::fprintf(stderr, "the lab has %d unit addresses, %d needed\n", int(addresses.size()),
                     kUnits);
        return 1;
    }

    std::printf("rack benchmark: %d simulated units, no flash write delay, %d run(s) through the "
                "window\n",
                kUnits, runs);
    std::printf("machine: %s, %d logical CPUs (shared), load average %s\n", qPrintable(cpuModel()),
                QThread::idealThreadCount(), qPrintable(loadAverage()));

    LabDevSim sim;
    QList<QJsonObject> units;
    for (const QString &a : addresses)
        units << LabDevSim::unit(a);
    if (!sim.start(LabDevSim::config(units))) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.errorString()));
        return 1;
    }
    const qint64 beforeUpdater = residentKiB();
    UpdaterWindow updater;
    if (!updater.start(&why) || !updater.waitForCards(addresses, 15000)) {
        std::fprintf(stderr, "updater: %s (%d cards)\n", qPrintable(why), updater.cardCount());
        return 1;
    }
    const qint64 image = updater.table()->binfile().size();
    // Let the window settle: every card drawn, a few discovery rounds.
    QTest::qWait(5000);
    const qint64 idle = residentKiB();
    std::printf("\nmemory: resident %.1f MiB before the updater was built, %.1f MiB idle with %d "
                "units discovered\n",
                mib(beforeUpdater), mib(idle), updater.cardCount());

    std::printf("\nthrough the window (\"Select all\", \"Update selected units\", password, "
                "\"Update\"):\n");
    std::printf("run  units ok  to last completion  to \"Finished.\"  per unit median/mean/max ms  "
                "resident before  peak during  after (MiB)  all back after \"Finished.\"\n");
    QList<qint64> after;
    QList<qint64> peaks;
    ResidentSampler sampler;
    for (int run = 1; run <= runs; ++run) {
        resetCards(updater);
        updater.clearLogs();
        QTest::qWait(200);
        const qint64 before = residentKiB();
        resetPeakResident();
        sampler.start();
        if (!updater.clickButton(QStringLiteral("Select all"))
            || !updater.updateSelected(QStringLiteral("admin"))) {
            std::fprintf(stderr, "run %d: the window did not take the update\n", run);
            return 1;
        }
        const qint64 clicked = updater.elapsed();
        if (!updater.waitForFinished(180000)) {
            std::fprintf(stderr, "run %d: no \"Finished.\" (%s)\n", run,
                         qPrintable(updater.statusLine()));
            return 1;
        }
        const qint64 finished = updater.elapsed();
        const qint64 peak = qMax(sampler.stop(), peakResidentKiB());
        const UnitTimes t = unitTimes(updater.coreTexts());
        updater.closeOverlay();
        QTest::qWait(500);
        after << residentKiB();
        peaks << peak;
        const qint64 back = waitUntilBack(updater, addresses) ? updater.elapsed() - finished : -1;
        std::printf("%3d  %8d  %16.2f s  %13.2f s  %10lld / %lld / %lld  %15.1f  %11.1f  %5.1f  "
                    "%16.2f s\n",
                    run, t.completed, double(t.lastCompletion - clicked) / 1000.0,
                    double(finished - clicked) / 1000.0, median(t.perUnit), mean(t.perUnit),
                    t.perUnit.isEmpty() ? -1
                                        : *std::max_element(t.perUnit.begin(), t.perUnit.end()),
                    mib(before), mib(peak), mib(after.last()), double(back) / 1000.0);
        std::fflush(stdout);
    }

    // The simulator counts a connection as open until it has handled the
    // updater's close, so a unit started the moment another completes may
    // overlap it there for a moment; the window's runs never start a unit
    // within a tick of a completion.
    const int windowPeak = sim.results().value(QStringLiteral("peakConnections")).toInt();
    std::printf("simulator: peak %d connections open at once during the window runs\n", windowPeak);
    std::printf("memory: idle %.1f MiB; peak during run 1 %.1f MiB (%+.1f MiB over idle); after "
                "run 1 %.1f MiB, "
                "after run %d %.1f MiB (growth over the runs %+.2f MiB)\n",
                mib(idle), mib(peaks.first()), mib(peaks.first() - idle), mib(after.first()), runs,
                mib(after.last()), mib(after.last() - after.first()));

    // One unit alone, three times (the figure to compare each rack unit with).
    QList<qint64> single;
    for (int i = 0; i < 3; ++i)
        single << singleUnit(updater, addresses.at(i));
    std::printf("one unit alone (%lld bytes): %lld / %lld / %lld ms, median %lld ms\n", image,
                single.at(0), single.at(1), single.at(2), median(single));
    resetCards(updater);
    waitUntilBack(updater, addresses.mid(0, 3));

    // The core alone, five at a time with no pacing.
    const UnitTimes core = coreAlone(updater, addresses);
    std::printf("\ncore alone, 5 at a time, no pacing: %d completed in %.2f s, per unit median "
                "%lld ms, mean %lld ms, "
                "max %lld ms\n",
                core.completed, double(core.lastCompletion - core.firstRequest) / 1000.0,
                median(core.perUnit), mean(core.perUnit),
                core.perUnit.isEmpty()
                        ? -1
                        : *std::max_element(core.perUnit.begin(), core.perUnit.end()));

    sim.stop();
    std::printf("bound: the window starts at most one waiting unit per second, so 48 units take at "
                "least 43 s\n"
                "after the first five; a unit alone takes %lld ms, so the scheduler's pace, not "
                "the transfer,\n"
                "bounds the total.\n",
                median(single));
    return 0;
}
