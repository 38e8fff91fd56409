#include "cli/runlog.h"
#include "cli/unitdirectory.h"
#include "cli/updatescheduler.h"
#include "common/standincore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// A console closed in the middle of a run (log-off, shut-down): the system
// gives the program seconds. Every unit being written gets its line at once,
// "interrupted" with what it was doing; the ones still waiting "not started".
class TestClosingRun : public QObject
{
    Q_OBJECT

private slots:
    void everyUnitInFlightRecorded_data();
    void everyUnitInFlightRecorded();
};

void TestClosingRun::everyUnitInFlightRecorded_data()
{
    QTest::addColumn<QString>("doing"); // the working unit's last progress text
    QTest::addColumn<QString>("message");
    const QString why = QStringLiteral("the console was closed");
    QTest::newRow("connecting") << "connecting..."
                                << why + " while the unit was at \"connecting...\"";
    QTest::newRow("sending") << "Sending... 37%"
                             << why + " while the unit was at \"Sending... 37%\"";
    QTest::newRow("writing") << "Writing" << why + " while the unit was at \"Writing\"";
}

void TestClosingRun::everyUnitInFlightRecorded()
{
    QFETCH(QString, doing);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    StandInCore core;
    UnitDirectory directory(&core);
    UpdateScheduler scheduler(&core, &directory);
    scheduler.setParallel(2);
    RunLog log(&scheduler, &directory, RunImage(), QStringLiteral("kvx-update 1.0"));
    const QString path = dir.filePath(QStringLiteral("runs.jsonl"));
    log.setHistory(RunHistory(path));
    const QStringList units{ "10.77.0.10", "10.77.0.11", "10.77.0.12" };
    for (const QString &unit : units)
        core.addUnit(unit, QStringLiteral("FOH"));
    scheduler.start(units);
    QTRY_COMPARE(core.callCount(), 2);
    core.progress(QStringLiteral("Sending... 99%"), units.at(0));
    if (doing != QLatin1String("connecting..."))
        core.progress(doing, units.at(1));
    QSignalSpy finished(&scheduler, &UpdateScheduler::finished);

    scheduler.endWorking(QStringLiteral("the console was closed"));

    // On the disk before the event loop runs again.
    const QList<UnitRunRecord> records = RunHistory(path).read().records;
    QCOMPARE(records.size(), 3);
    QCOMPARE(records.at(0).address, units.at(0));
    QCOMPARE(records.at(0).result, QStringLiteral("interrupted"));
    QCOMPARE(records.at(0).lastText, QStringLiteral("Sending... 99%"));
    QCOMPARE(records.at(1).address, units.at(1));
    QCOMPARE(records.at(1).result, QStringLiteral("interrupted"));
    QCOMPARE(records.at(1).lastText, doing);
    QCOMPARE(scheduler.unit(units.at(1))->message, message);
    QCOMPARE(records.at(2).address, units.at(2));
    QCOMPARE(records.at(2).result, QStringLiteral("not started"));
    // Nothing more is started, and the run is over.
    QVERIFY(finished.wait(2000));
    QCOMPARE(core.callCount(), 2);
    QVERIFY(scheduler.isFinished());
    QCOMPARE(UpdateScheduler::resultName(scheduler.unit(units.at(0))->result),
             UnitRunRecord::kInterrupted);
}

QTEST_GUILESS_MAIN(TestClosingRun)
#include "tst_closingrun.moc"
