#include "cli/progresstext.h"
#include "cli/unitdirectory.h"
#include "cli/updatecommand.h"
#include "cli/updatescheduler.h"
#include "common/schedulertest.h"

#include <QSignalSpy>
#include <QTest>

// The scheduler against the stand-in table: which unit is started when, what
// each ends as, and that no start ever happens inside one of the table's
// signals (the real table holds its lock while it emits them).
class TestUpdateScheduler : public SchedulerTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void classification_data();
    void classification();
    void percentOfText_data();
    void percentOfText();

    void directoryFollowsNodeMessages();
    void directoryIgnoresBadMessages_data();
    void directoryIgnoresBadMessages();
    void directorySortsByAddressValue();

    void parallelLimit_data();
    void parallelLimit();
    void startsCarryPasswordAndPort();
    void nextStartWaitsForTheEventLoop();
    void oneRunPerUnit();
    void notFound();
    void nothingFoundFinishesAtOnce();
    void lostWhileWaiting();
    void lostWhileWorking();
    void lostWhenTableHasNoRecord();
    void interruptStopsNewStarts();
    void exitStatus_data();
    void exitStatus();
    void skippedUnitsEndAtOnce();
    void verificationChangesTheResult();
    void skipReason_data();
    void skipReason();
    void outdated_data();
    void outdated();

private:
    void runToSuccess(const QString &address);
};

Q_DECLARE_METATYPE(UpdateScheduler::Result)

void TestUpdateScheduler::init()
{
    setUpScheduler(QStringLiteral("s3cret"));
}

void TestUpdateScheduler::cleanup()
{
    // No start from inside a signal of the table.
    QCOMPARE(m_callsWhileEmitting, 0);
    tearDownScheduler();
}

void TestUpdateScheduler::runToSuccess(const QString &address)
{
    for (const char *text : { "Starting...", "Sending... 0%", "Sending... 50%", "Retry: 1 50%",
                              "Sending... 99%", "Writing", "Firmware update completed." })
        emitProgress(QLatin1String(text), address);
}

void TestUpdateScheduler::classification_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");

    QTest::newRow("completed") << "Firmware update completed." << int(ProgressText::Succeeded);
    QTest::newRow("completed without point")
            << "Firmware update completed" << int(ProgressText::Working);
    QTest::newRow("socket error") << "ERROR: Connection refused" << int(ProgressText::Failed);
    QTest::newRow("NG") << "ERROR: Detected NG response from the unit."
                        << int(ProgressText::Failed);
    QTest::newRow("ERROR without colon") << "ERROR" << int(ProgressText::Failed);
    QTest::newRow("lower-case error") << "error: x" << int(ProgressText::Working);
    QTest::newRow("connecting") << "connecting..." << int(ProgressText::Working);
    QTest::newRow("starting") << "Starting..." << int(ProgressText::Working);
    QTest::newRow("sending") << "Sending... 37%" << int(ProgressText::Working);
    QTest::newRow("retry") << "Retry: 3 37%" << int(ProgressText::Working);
    QTest::newRow("writing") << "Writing" << int(ProgressText::Working);
    QTest::newRow("waiting") << "Waiting" << int(ProgressText::Working);
}

void TestUpdateScheduler::classification()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QCOMPARE(int(ProgressText::classify(text)), kind);
}

void TestUpdateScheduler::percentOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("percent");

    QTest::newRow("sending 0") << "Sending... 0%" << 0;
    QTest::newRow("sending 99") << "Sending... 99%" << 99;
    QTest::newRow("retry count then percent") << "Retry: 12 37%" << 37;
    QTest::newRow("retry with comma") << "Retry: 2, 5%" << 5;
    QTest::newRow("no percent") << "Writing" << -1;
    QTest::newRow("bare sign") << "Sending... %" << -1;
    QTest::newRow("over 100") << "Sending... 250%" << -1;
    QTest::newRow("long number") << "Retry: 123456%" << -1;
    QTest::newRow("sign first") << "%" << -1;
}

void TestUpdateScheduler::percentOfText()
{
    QFETCH(QString, text);
    QTEST(ProgressText::percent(text), "percent");
}

void TestUpdateScheduler::directoryFollowsNodeMessages()
{
    QSignalSpy added(m_directory, &UnitDirectory::unitAdded);
    QSignalSpy removed(m_directory, &UnitDirectory::unitRemoved);
    m_core->addUnit(QStringLiteral("10.0.0.2"), QStringLiteral("Stage left"),
                    QStringLiteral("VK-3F"), QStringLiteral("1.02"));
    m_core->addUnit(QStringLiteral("10.0.0.1"), QStringLiteral("FOH"));
    QCOMPARE(added.count(), 2);
    QCOMPARE(m_directory->units().size(), 2);
    QCOMPARE(m_directory->units().at(0).address, QStringLiteral("10.0.0.2")); // arrival order
    QCOMPARE(m_directory->units().at(0).model, QStringLiteral("VK-3F"));
    QCOMPARE(m_directory->units().at(0).nickname, QStringLiteral("Stage left"));
    QCOMPARE(m_directory->units().at(0).version, QStringLiteral("1.02"));

    // The run reads the unit's own name and version and the table passes them on.
    m_core->updateUnit(QStringLiteral("10.0.0.2"), QStringLiteral("m_modelname"),
                       QStringLiteral("VK-3F2"));
    m_core->updateUnit(QStringLiteral("10.0.0.2"), QStringLiteral("m_version"),
                       QStringLiteral("1.04"));
    m_core->updateUnit(QStringLiteral("10.0.0.2"), QStringLiteral("m_nickname"),
                       QStringLiteral("Stage right"));
    QCOMPARE(m_directory->lastKnown(QStringLiteral("10.0.0.2")).model, QStringLiteral("VK-3F2"));
    QCOMPARE(m_directory->lastKnown(QStringLiteral("10.0.0.2")).version, QStringLiteral("1.04"));
    QCOMPARE(m_directory->lastKnown(QStringLiteral("10.0.0.2")).nickname,
             QStringLiteral("Stage right"));

    m_core->removeUnit(QStringLiteral("10.0.0.2"));
    QCOMPARE(removed.count(), 1);
    QVERIFY(!m_directory->contains(QStringLiteral("10.0.0.2")));
    QCOMPARE(m_directory->units().size(), 1);
    // What was known is kept for the summary.
    QCOMPARE(m_directory->lastKnown(QStringLiteral("10.0.0.2")).nickname,
             QStringLiteral("Stage right"));

    // An update for a unit that left brings nothing back.
    m_core->updateUnit(QStringLiteral("10.0.0.2"), QStringLiteral("m_nickname"),
                       QStringLiteral("Ghost"));
    QVERIFY(!m_directory->contains(QStringLiteral("10.0.0.2")));
    QCOMPARE(m_directory->lastKnown(QStringLiteral("10.0.0.2")).nickname,
             QStringLiteral("Stage right"));

    // Back again: announced again.
    m_core->addUnit(QStringLiteral("10.0.0.2"), QStringLiteral("Back"));
    QCOMPARE(added.count(), 3);
    QCOMPARE(m_directory->units().last().nickname, QStringLiteral("Back"));
}

void TestUpdateScheduler::directoryIgnoresBadMessages_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("not JSON") << "add 10.0.0.1";
    QTest::newRow("array") << "[\"10.0.0.1\"]";
    QTest::newRow("no address") << "{\"action\": \"add\", \"m_nickname\": \"x\"}";
    QTest::newRow("empty address") << "{\"action\": \"add\", \"m_ipaddr\": \"\"}";
    QTest::newRow("number address") << "{\"action\": \"add\", \"m_ipaddr\": 10}";
}

void TestUpdateScheduler::directoryIgnoresBadMessages()
{
    QFETCH(QString, message);
    QSignalSpy added(m_directory, &UnitDirectory::unitAdded);
    m_core->sendAdd(message);
    m_core->sendUpdate(message);
    m_core->sendRemove(message);
    QCOMPARE(added.count(), 0);
    QVERIFY(m_directory->units().isEmpty());
}

void TestUpdateScheduler::directorySortsByAddressValue()
{
    QList<UnitInfo> units;
    for (const char *a : { "10.0.0.10", "10.0.0.9", "9.255.255.255", "10.0.1.1", "10.0.0.100" })
        units << UnitInfo{ QLatin1String(a), {}, {}, {} };
    QStringList order;
    for (const UnitInfo &u : UnitDirectory::sortedByAddress(units))
        order << u.address;
    QCOMPARE(order,
             (QStringList{ "9.255.255.255", "10.0.0.9", "10.0.0.10", "10.0.0.100", "10.0.1.1" }));
}

void TestUpdateScheduler::parallelLimit_data()
{
    QTest::addColumn<int>("units");
    QTest::addColumn<int>("parallel");
    QTest::newRow("8 units, 5 at once") << 8 << 5;
    QTest::newRow("8 units, 2 at once") << 8 << 2;
    QTest::newRow("3 units, 1 at once") << 3 << 1;
    QTest::newRow("3 units, 5 at once") << 3 << 5;
}

void TestUpdateScheduler::parallelLimit()
{
    QFETCH(int, units);
    QFETCH(int, parallel);
    const QStringList addresses = addUnits(units);
    m_scheduler->setParallel(parallel);
    QSignalSpy waiting(m_scheduler, &UpdateScheduler::unitWaiting);
    QSignalSpy finished(m_scheduler, &UpdateScheduler::finished);

    m_scheduler->start(addresses);
    QCOMPARE(m_core->callCount(), 0); // not inside start()
    QTRY_COMPARE(m_core->callCount(), qMin(units, parallel));
    QCOMPARE(waiting.count(), units - qMin(units, parallel));
    for (int i = 0; i < waiting.count(); ++i)
        QCOMPARE(waiting.at(i).at(0).toString(), addresses.at(parallel + i));

    // Finish the oldest running unit, one at a time, until all are done.
    int done = 0;
    while (done < units) {
        QVERIFY(m_scheduler->workingCount() > 0);
        QVERIFY(m_scheduler->workingCount() <= parallel);
        const QString address = m_core->calledAddresses().at(done);
        runToSuccess(address);
        ++done;
        const int expected = qMin(units, done + parallel);
        QTRY_COMPARE(m_core->callCount(), expected);
    }
    QTRY_COMPARE(finished.count(), 1);

    QCOMPARE(m_core->calledAddresses(), addresses); // the order asked for, each once
    QCOMPARE(m_maxRunning, qMin(units, parallel));
    QCOMPARE(m_scheduler->peakWorking(), qMin(units, parallel));
    for (const UpdateScheduler::Unit &unit : m_scheduler->units()) {
        QCOMPARE(unit.result, UpdateScheduler::Succeeded);
        QCOMPARE(unit.message, QStringLiteral("Firmware update completed."));
        QCOMPARE(unit.percent, 99);
        QVERIFY(unit.durationMs() >= 0);
    }
}

void TestUpdateScheduler::startsCarryPasswordAndPort()
{
    const QStringList addresses = addUnits(2);
    m_scheduler->start(addresses);
    QTRY_COMPARE(m_core->callCount(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(m_core->call(i).value("ipaddr").toString(), addresses.at(i));
        QCOMPARE(m_core->call(i).value("password").toString(), QStringLiteral("s3cret"));
        QCOMPARE(m_core->call(i).value("port").toString(), QStringLiteral("54726"));
    }
}

void TestUpdateScheduler::nextStartWaitsForTheEventLoop()
{
    const QStringList addresses = addUnits(2);
    m_scheduler->setParallel(1);
    m_scheduler->start(addresses);
    QTRY_COMPARE(m_core->callCount(), 1);

    QSignalSpy finishedUnits(m_scheduler, &UpdateScheduler::unitFinished);
    emitProgress(QStringLiteral("ERROR: The remote host closed the connection"), addresses.at(0));
    QCOMPARE(finishedUnits.count(), 1);
    // The slot is free, but the unit that ended has only just closed its
    // connection: the next start comes later, from the event loop.
    QCOMPARE(m_core->callCount(), 1);
    QCOMPARE(m_scheduler->workingCount(), 0);
    QTRY_COMPARE(m_core->callCount(), 2);
    QCOMPARE(m_core->calledAddresses().at(1), addresses.at(1));
}

void TestUpdateScheduler::oneRunPerUnit()
{
    const QStringList addresses = addUnits(1);
    QSignalSpy progress(m_scheduler, &UpdateScheduler::unitProgress);
    QSignalSpy finished(m_scheduler, &UpdateScheduler::finished);
    m_scheduler->start(addresses);
    QTRY_COMPARE(m_core->callCount(), 1);
    emitProgress(QStringLiteral("Starting..."), addresses.at(0));
    emitProgress(QStringLiteral("ERROR: Detected NG response from the unit."), addresses.at(0));
    // A text after the end belongs to no run of ours.
    emitProgress(QStringLiteral("Firmware update completed."), addresses.at(0));
    QTRY_COMPARE(finished.count(), 1);
    QTest::qWait(UpdateScheduler::kSlotSettleMs + 100);
    QCOMPARE(m_core->callCount(), 1); // a failed unit is not tried again
    const UpdateScheduler::Unit *unit = m_scheduler->unit(addresses.at(0));
    QCOMPARE(unit->result, UpdateScheduler::Failed);
    QCOMPARE(unit->message, QStringLiteral("ERROR: Detected NG response from the unit."));
    QCOMPARE(progress.count(), 3); // connecting..., Starting..., ERROR
}

void TestUpdateScheduler::notFound()
{
    const QStringList addresses = addUnits(1);
    QSignalSpy finishedUnits(m_scheduler, &UpdateScheduler::unitFinished);
    m_scheduler->start({ QStringLiteral("10.77.0.99"), addresses.at(0) });
    QCOMPARE(finishedUnits.count(), 1);
    QCOMPARE(finishedUnits.at(0).at(0).toString(), QStringLiteral("10.77.0.99"));
    QTRY_COMPARE(m_core->callCount(), 1);
    QCOMPARE(m_core->calledAddresses(), QStringList{ addresses.at(0) });
    const UpdateScheduler::Unit *missing = m_scheduler->unit(QStringLiteral("10.77.0.99"));
    QCOMPARE(missing->result, UpdateScheduler::NotFound);
    QCOMPARE(missing->durationMs(), qint64(-1));
    // The summary keeps the order asked for.
    QCOMPARE(m_scheduler->units().at(0).address, QStringLiteral("10.77.0.99"));
}

void TestUpdateScheduler::nothingFoundFinishesAtOnce()
{
    QSignalSpy finished(m_scheduler, &UpdateScheduler::finished);
    m_scheduler->start({ QStringLiteral("10.77.0.98"), QStringLiteral("10.77.0.99") });
    QVERIFY(m_scheduler->isFinished());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(m_core->callCount(), 0);
}

void TestUpdateScheduler::lostWhileWaiting()
{
    const QStringList addresses = addUnits(3);
    m_scheduler->setParallel(1);
    m_scheduler->start(addresses);
    QTRY_COMPARE(m_core->callCount(), 1);

    emitting([&] { m_core->removeUnit(addresses.at(1)); });
    const UpdateScheduler::Unit *lost = m_scheduler->unit(addresses.at(1));
    QCOMPARE(lost->result, UpdateScheduler::Lost);
    QCOMPARE(lost->message, QStringLiteral("the unit left the network before it could be started"));

    runToSuccess(addresses.at(0));
    QTRY_COMPARE(m_core->callCount(), 2);
    QCOMPARE(m_core->calledAddresses(), (QStringList{ addresses.at(0), addresses.at(2) }));
}

void TestUpdateScheduler::lostWhileWorking()
{
    const QStringList addresses = addUnits(2);
    m_scheduler->setParallel(1);
    QSignalSpy finished(m_scheduler, &UpdateScheduler::finished);
    m_scheduler->start(addresses);
    QTRY_COMPARE(m_core->callCount(), 1);
    emitProgress(QStringLiteral("Sending... 12%"), addresses.at(0));
    emitting([&] { m_core->removeUnit(addresses.at(0)); });
    QCOMPARE(m_scheduler->unit(addresses.at(0))->result, UpdateScheduler::Lost);
    QCOMPARE(m_scheduler->unit(addresses.at(0))->message,
             QStringLiteral("the unit left the network during the update"));
    // The slot it held is free again.
    QTRY_COMPARE(m_core->callCount(), 2);
    runToSuccess(addresses.at(1));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(m_scheduler->unit(addresses.at(1))->result, UpdateScheduler::Succeeded);
}

void TestUpdateScheduler::lostWhenTableHasNoRecord()
{
    // The table drops a unit between the search and its start: fwUpdateStart
    // finds no record and says nothing.
    const QStringList addresses = addUnits(2);
    m_core->refuse(addresses.at(0));
    m_scheduler->setParallel(1);
    m_scheduler->start(addresses);
    QTRY_COMPARE(m_core->callCount(), 2);
    QCOMPARE(m_scheduler->unit(addresses.at(0))->result, UpdateScheduler::Lost);
    QCOMPARE(m_scheduler->unit(addresses.at(0))->message,
             QStringLiteral("the unit was no longer in the device table when it was started"));
    QCOMPARE(m_scheduler->unit(addresses.at(1))->state, UpdateScheduler::Working);
}

void TestUpdateScheduler::interruptStopsNewStarts()
{
    const QStringList addresses = addUnits(4);
    m_scheduler->setParallel(2);
    QSignalSpy finished(m_scheduler, &UpdateScheduler::finished);
    m_scheduler->start(addresses);
    QTRY_COMPARE(m_core->callCount(), 2);

    m_scheduler->stopStarting();
    QCOMPARE(m_scheduler->unit(addresses.at(2))->result, UpdateScheduler::NotStarted);
    QCOMPARE(m_scheduler->unit(addresses.at(3))->result, UpdateScheduler::NotStarted);
    QCOMPARE(m_scheduler->workingCount(), 2);
    QVERIFY(!m_scheduler->isFinished());

    // The running units go on to their own end.
    runToSuccess(addresses.at(0));
    emitProgress(QStringLiteral("ERROR: Socket operation timed out"), addresses.at(1));
    QTRY_COMPARE(finished.count(), 1);
    QTest::qWait(UpdateScheduler::kSlotSettleMs + 100);
    QCOMPARE(m_core->callCount(), 2);
    QCOMPARE(m_scheduler->unit(addresses.at(0))->result, UpdateScheduler::Succeeded);
    QCOMPARE(m_scheduler->unit(addresses.at(1))->result, UpdateScheduler::Failed);
}

void TestUpdateScheduler::exitStatus_data()
{
    QTest::addColumn<QList<int>>("results");
    QTest::addColumn<int>("interruptedBy");
    QTest::addColumn<int>("status");

    using S = UpdateScheduler;
    QTest::newRow("all succeeded") << QList<int>{ S::Succeeded, S::Succeeded } << 0 << 0;
    QTest::newRow("one failed") << QList<int>{ S::Succeeded, S::Failed } << 0 << 1;
    QTest::newRow("one lost") << QList<int>{ S::Lost, S::Succeeded } << 0 << 1;
    QTest::newRow("one of two not found") << QList<int>{ S::Succeeded, S::NotFound } << 0 << 1;
    QTest::newRow("the only one not found") << QList<int>{ S::NotFound } << 0 << 2;
    QTest::newRow("none found") << QList<int>{ S::NotFound, S::NotFound } << 0 << 2;
    QTest::newRow("nothing at all") << QList<int>{} << 0 << 2;
    QTest::newRow("Ctrl-C, all that ran succeeded")
            << QList<int>{ S::Succeeded, S::NotStarted } << 2 << 130;
    QTest::newRow("Ctrl-C while searching") << QList<int>{ S::NotStarted } << 2 << 130;
    QTest::newRow("SIGTERM") << QList<int>{ S::Succeeded } << 15 << 143;
    QTest::newRow("skips alone") << QList<int>{ S::Skipped, S::Skipped } << 0 << 0;
    QTest::newRow("succeeded and skipped") << QList<int>{ S::Succeeded, S::Skipped } << 0 << 0;
    QTest::newRow("skipped and not found") << QList<int>{ S::Skipped, S::NotFound } << 0 << 1;
    QTest::newRow("not verified") << QList<int>{ S::Succeeded, S::NotVerified } << 0 << 1;
    QTest::newRow("not updated (failed)") << QList<int>{ S::Skipped, S::Failed } << 0 << 1;
}

void TestUpdateScheduler::exitStatus()
{
    QFETCH(QList<int>, results);
    QFETCH(int, interruptedBy);
    QList<UpdateScheduler::Unit> units;
    for (int r : results) {
        UpdateScheduler::Unit unit;
        unit.state = UpdateScheduler::Done;
        unit.result = UpdateScheduler::Result(r);
        units << unit;
    }
    QTEST(UpdateCommand::exitStatus(units, interruptedBy), "status");
    // Units found, none picked (--outdated with nothing older): nothing to
    // do is no failure.
    if (results.isEmpty())
        QCOMPARE(UpdateCommand::exitStatus(units, interruptedBy, true), 0);
}

void TestUpdateScheduler::skippedUnitsEndAtOnce()
{
    const QStringList units = addUnits(3);
    QSignalSpy finished(m_scheduler, &UpdateScheduler::unitFinished);
    m_scheduler->start(units, { { units.at(1), QStringLiteral("already runs 1.04") } });
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), units.at(1));
    const UpdateScheduler::Unit *skipped = m_scheduler->unit(units.at(1));
    QCOMPARE(skipped->state, UpdateScheduler::Done);
    QCOMPARE(skipped->result, UpdateScheduler::Skipped);
    QCOMPARE(skipped->message, QStringLiteral("already runs 1.04"));
    QCOMPARE(UpdateScheduler::resultName(UpdateScheduler::Skipped), QStringLiteral("skipped"));
    QTRY_COMPARE(m_core->callCount(), 2);
    QCOMPARE(m_core->calledAddresses(), (QStringList{ units.at(0), units.at(2) }));
    runToSuccess(units.at(0));
    runToSuccess(units.at(2));
    QTRY_VERIFY(m_scheduler->isFinished());
    QCOMPARE(m_core->callCount(), 2);

    // Every unit skipped: the run is over at once.
    delete m_scheduler;
    m_scheduler = new UpdateScheduler(m_core, m_directory);
    QSignalSpy over(m_scheduler, &UpdateScheduler::finished);
    m_scheduler->start({ units.at(0) }, { { units.at(0), QStringLiteral("x") } });
    QTRY_COMPARE(over.count(), 1);
    QCOMPARE(m_core->callCount(), 2);
}

void TestUpdateScheduler::verificationChangesTheResult()
{
    const QStringList units = addUnits(2);
    QSignalSpy verified(m_scheduler, &UpdateScheduler::unitVerified);
    m_scheduler->setAwaitProof(true);
    // Marked before anyone hears of the end.
    QList<bool> verifyingAtTheEnd;
    connect(m_scheduler, &UpdateScheduler::unitFinished, this, [&](const QString &address) {
        verifyingAtTheEnd << m_scheduler->unit(address)->verifying;
    });
    m_scheduler->start(units);
    QTRY_COMPARE(m_core->callCount(), 2);
    emitProgress(QStringLiteral("ERROR: Connection refused"), units.at(1));
    QCOMPARE(m_scheduler->verifyingCount(), 0); // failed: nothing to verify
    runToSuccess(units.at(0));
    QCOMPARE(m_scheduler->verifyingCount(), 1);
    QCOMPARE(verifyingAtTheEnd, QList<bool>({ false, true }));
    QTRY_VERIFY(m_scheduler->isFinished());
    m_scheduler->setVerified(units.at(0), UpdateScheduler::Failed,
                             QStringLiteral("still reports 1.02 after the update"));
    QCOMPARE(verified.count(), 1);
    QCOMPARE(m_scheduler->unit(units.at(0))->result, UpdateScheduler::Failed);
    QCOMPARE(m_scheduler->unit(units.at(0))->message,
             QStringLiteral("still reports 1.02 after the update"));
    QCOMPARE(m_scheduler->verifyingCount(), 0);
    // Only once, and only for a unit awaited.
    m_scheduler->setVerified(units.at(0), UpdateScheduler::Succeeded, QStringLiteral("x"));
    m_scheduler->setVerified(units.at(1), UpdateScheduler::Succeeded, QStringLiteral("x"));
    QCOMPARE(verified.count(), 1);
    QCOMPARE(m_scheduler->unit(units.at(1))->result, UpdateScheduler::Failed);
}

void TestUpdateScheduler::skipReason_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("reason");

    const QStringList none;
    QTest::newRow("older is written") << "VK-3F"
                                      << "1.02" << none << "";
    QTest::newRow("current") << "VK-3F"
                             << "1.04" << none << "already runs 1.04 (--reinstall writes it again)";
    QTest::newRow("current, --reinstall") << "VK-3F"
                                          << "1.04" << QStringList{ "--reinstall" } << "";
    QTest::newRow("newer") << "VK-3F"
                           << "1.10" << none
                           << "runs 1.10, newer than the image's 1.04 (--allow-older writes the "
                              "older image)";
    QTest::newRow("newer, --allow-older") << "VK-3F"
                                          << "1.10" << QStringList{ "--allow-older" } << "";
    QTest::newRow("other model") << "ZP-9E"
                                 << "1.02" << none
                                 << "a ZP-9E unit; the image is for VK-3F (--any-model writes it)";
    QTest::newRow("other model, --any-model") << "ZP-9E"
                                              << "1.02" << QStringList{ "--any-model" } << "";
    QTest::newRow("other model and current, --any-model")
            << "ZP-9E"
            << "1.04" << QStringList{ "--any-model" }
            << "already runs 1.04 (--reinstall writes it again)";
    QTest::newRow("control characters shown safely")
            << "ZP\x1b[2J"
            << "1.02" << none
            << "a ZP<U+001B>[2J unit; the image is for VK-3F (--any-model writes it)";
}

static RunImage shippedImage()
{
    return RunImage::fromImage(QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12));
}

void TestUpdateScheduler::skipReason()
{
    QFETCH(QString, model);
    QFETCH(QString, version);
    QFETCH(QStringList, options);
    const CliArguments arguments =
            CliArguments::parse(QStringList{ "update", "10.0.0.1" } + options);
    QVERIFY2(arguments.error.isEmpty(), qPrintable(arguments.error));
    UnitInfo unit{ QStringLiteral("10.0.0.1"), model, QStringLiteral("Desk"), version };
    QTEST(UpdateCommand::skipReason(unit, shippedImage(), arguments), "reason");
}

void TestUpdateScheduler::outdated_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<bool>("outdated");

    QTest::newRow("older") << "VK-3F"
                           << "1.02"
                           << "" << true;
    QTest::newRow("older build") << "VK-3F"
                                 << "1.04"
                                 << "(build0100)" << true;
    QTest::newRow("other model, older") << "ZP-9E"
                                        << "1.02"
                                        << "" << true;
    QTest::newRow("current") << "VK-3F"
                             << "1.04"
                             << "" << false;
    QTest::newRow("newer") << "VK-3F"
                           << "1.9"
                           << "" << false;
}

void TestUpdateScheduler::outdated()
{
    QFETCH(QString, model);
    QFETCH(QString, version);
    QFETCH(QString, build);
    UnitInfo unit{ QStringLiteral("10.0.0.1"), model, QStringLiteral("Desk"), version };
    unit.build = build;
    QTEST(UpdateCommand::isOutdated(unit, shippedImage()), "outdated");
}

QTEST_GUILESS_MAIN(TestUpdateScheduler)
#include "tst_updatescheduler.moc"
