#include "cli/runlog.h"
#include "cli/unitdirectory.h"
#include "cli/updatescheduler.h"
#include "common/schedulertest.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// kvx-update's record of a run: a history line the moment each unit's run
// ends, with what the unit was, what it ran and how it ended, for every unit
// asked for (the ones never found or never started too).
class TestRunLog : public SchedulerTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void lineAsEachUnitEnds();
    void recordFields();
    void notFoundAndLost();
    void interruptedUnitsAreRecorded();
    void historyFailureSaidOnce();
    void proofAfterTheRun_data();
    void proofAfterTheRun();

private:
    QStringList historyResults() const;

    QTemporaryDir *m_dir = nullptr;
    RunLog *m_log = nullptr;
    QDateTime m_now;
};

void TestRunLog::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    setUpScheduler(QStringLiteral("pw"));
    RunImage image;
    image.model = QStringLiteral("VK-3F");
    image.version = QStringLiteral("1.04");
    image.build = QStringLiteral("0119");
    image.sha256 = QStringLiteral("abcd");
    m_log = new RunLog(m_scheduler, m_directory, image, QStringLiteral("kvx-update 1.0"));
    m_log->setHistory(RunHistory(m_dir->filePath(QStringLiteral("runs.jsonl"))));
    m_now = QDateTime(QDate(2024, 5, 1), QTime(14, 0));
    m_log->setClock([this] { return m_now; });
}

void TestRunLog::cleanup()
{
    delete m_log;
    tearDownScheduler();
    delete m_dir;
}

QStringList TestRunLog::historyResults() const
{
    QStringList results;
    for (const UnitRunRecord &r :
         RunHistory(m_dir->filePath(QStringLiteral("runs.jsonl"))).read().records)
        results << r.address + QLatin1Char(' ') + r.result;
    return results;
}

void TestRunLog::lineAsEachUnitEnds()
{
    const QStringList units = addUnits(3);
    m_scheduler->setParallel(1);
    m_scheduler->start(units);
    QTRY_COMPARE(m_core->callCount(), 1);
    m_core->progress(QStringLiteral("Firmware update completed."), units.at(0));
    // On the disk before the next unit is started.
    QCOMPARE(historyResults(), QStringList{ "10.77.0.10 succeeded" });
    QCOMPARE(m_core->callCount(), 1);
    QTRY_COMPARE(m_core->callCount(), 2);
    m_core->progress(QStringLiteral("ERROR: Connection refused"), units.at(1));
    QCOMPARE(historyResults(), QStringList({ "10.77.0.10 succeeded", "10.77.0.11 failed" }));
    QTRY_COMPARE(m_core->callCount(), 3);
    m_core->progress(QStringLiteral("Firmware update completed."), units.at(2));
    QCOMPARE(historyResults().size(), 3);
    QCOMPARE(m_log->records().size(), 3);
}

void TestRunLog::recordFields()
{
    const QStringList units = addUnits(1);
    m_scheduler->start(units);
    m_now = m_now.addSecs(2);
    QTRY_COMPARE(m_core->callCount(), 1);
    m_core->updateUnit(units.at(0), QStringLiteral("m_build"), QStringLiteral("(build0110)"));
    m_core->progress(QStringLiteral("Sending... 40%"), units.at(0));
    m_now = m_now.addSecs(30);
    m_core->progress(QStringLiteral("Firmware update completed."), units.at(0));
    const UnitRunRecord &r = m_log->records().first();
    QCOMPARE(r.run, QDateTime(QDate(2024, 5, 1), QTime(14, 0, 2)));
    QCOMPARE(r.started, QDateTime(QDate(2024, 5, 1), QTime(14, 0, 2)));
    QCOMPARE(r.ended, QDateTime(QDate(2024, 5, 1), QTime(14, 0, 32)));
    QCOMPARE(r.address, units.at(0));
    QCOMPARE(r.model, QStringLiteral("VK-3F")); // the stand-in's units are the image's model
    QCOMPARE(r.nickname, QStringLiteral("Unit 1"));
    QCOMPARE(r.versionBefore, QStringLiteral("1.02 (build0110)"));
    QCOMPARE(r.versionAfter, QString());
    QCOMPARE(r.result, QStringLiteral("succeeded"));
    QCOMPARE(r.lastText, QStringLiteral("Firmware update completed."));
    QCOMPARE(r.image.model, QStringLiteral("VK-3F"));
    QCOMPARE(r.image.sha256, QStringLiteral("abcd"));
    QCOMPARE(r.program, QStringLiteral("kvx-update 1.0"));
}

void TestRunLog::notFoundAndLost()
{
    const QStringList units = addUnits(2);
    m_scheduler->setParallel(1);
    m_scheduler->start({ units.at(0), units.at(1), QStringLiteral("10.77.0.99") });
    // Not found at once, without a start time.
    QCOMPARE(historyResults(), QStringList{ "10.77.0.99 not found" });
    QVERIFY(!m_log->records().first().started.isValid());
    QCOMPARE(m_log->records().first().lastText,
             QStringLiteral("the unit did not answer the search"));
    QTRY_COMPARE(m_core->callCount(), 1);
    // The waiting unit leaves the network.
    m_core->removeUnit(units.at(1));
    QCOMPARE(historyResults(), QStringList({ "10.77.0.99 not found", "10.77.0.11 lost" }));
    QCOMPARE(m_log->records().last().lastText,
             QStringLiteral("the unit left the network before it could be started"));
    QCOMPARE(m_log->records().last().nickname, QStringLiteral("Unit 2"));
}

void TestRunLog::interruptedUnitsAreRecorded()
{
    const QStringList units = addUnits(3);
    m_scheduler->setParallel(1);
    m_scheduler->start(units);
    QTRY_COMPARE(m_core->callCount(), 1);
    m_scheduler->stopStarting();
    QCOMPARE(historyResults(), QStringList({ "10.77.0.11 not started", "10.77.0.12 not started" }));
    m_core->progress(QStringLiteral("Firmware update completed."), units.at(0));
    QCOMPARE(historyResults().last(), QStringLiteral("10.77.0.10 succeeded"));
}

// A unit awaited after its update has its line when the proof is in, with
// the version it came back with; the next unit's run does not wait for it.
void TestRunLog::proofAfterTheRun_data()
{
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("versionBack");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("versionAfter");
    QTest::newRow("runs the image") << int(UpdateScheduler::Succeeded) << "1.04"
                                    << "succeeded"
                                    << "1.04 (build0119)";
    QTest::newRow("came back unchanged") << int(UpdateScheduler::Failed) << "1.02"
                                         << "not updated"
                                         << "1.02 (build0110)";
    QTest::newRow("not back in time")
            << int(UpdateScheduler::NotVerified) << QString() << "not verified" << QString();
}

void TestRunLog::proofAfterTheRun()
{
    QFETCH(int, verdict);
    QFETCH(QString, versionBack);
    QFETCH(QString, result);
    QFETCH(QString, versionAfter);
    // Awaited as with the verifier, which the log need not come after.
    m_scheduler->setAwaitProof(true);

    const QStringList units = addUnits(1);
    m_scheduler->start(units);
    QTRY_COMPARE(m_core->callCount(), 1);
    m_core->updateUnit(units.at(0), QStringLiteral("m_build"), QStringLiteral("(build0110)"));
    m_core->progress(QStringLiteral("Firmware update completed."), units.at(0));
    QCOMPARE(historyResults(), QStringList()); // awaited, not yet written

    if (!versionBack.isEmpty()) {
        m_core->updateUnit(units.at(0), QStringLiteral("m_version"), versionBack);
        m_core->updateUnit(units.at(0), QStringLiteral("m_build"),
                           versionBack == QLatin1String("1.04") ? QStringLiteral("(build0119)")
                                                                : QStringLiteral("(build0110)"));
    }
    m_scheduler->setVerified(units.at(0), UpdateScheduler::Result(verdict), QStringLiteral("why"));
    QCOMPARE(historyResults(), QStringList{ units.at(0) + QLatin1Char(' ') + result });
    const UnitRunRecord r =
            RunHistory(m_dir->filePath(QStringLiteral("runs.jsonl"))).read().records.first();
    QCOMPARE(r.versionBefore, QStringLiteral("1.02 (build0110)"));
    QCOMPARE(r.versionAfter, versionAfter);
    QCOMPARE(r.lastText, QStringLiteral("Firmware update completed."));
}

void TestRunLog::historyFailureSaidOnce()
{
    m_log->setHistory(RunHistory(m_dir->path())); // a folder: nothing can be appended
    QSignalSpy failed(m_log, &RunLog::historyFailed);
    const QStringList units = addUnits(2);
    m_scheduler->start(units);
    QTRY_COMPARE(m_core->callCount(), 2);
    m_core->progress(QStringLiteral("Firmware update completed."), units.at(0));
    m_core->progress(QStringLiteral("Firmware update completed."), units.at(1));
    QCOMPARE(failed.count(), 1);
    QVERIFY2(failed.first().first().toString().startsWith(
                     QStringLiteral("Could not add to the run history ")),
             qPrintable(failed.first().first().toString()));
    // The report still has both.
    QCOMPARE(m_log->records().size(), 2);
}

QTEST_GUILESS_MAIN(TestRunLog)
#include "tst_runlog.moc"
