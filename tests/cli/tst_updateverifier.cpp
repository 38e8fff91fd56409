#include "cli/unitdirectory.h"
#include "cli/updatescheduler.h"
#include "cli/updateverifier.h"
#include "common/schedulertest.h"
#include "core/runimage.h"

#include <QSignalSpy>
#include <QTest>

// The proof after an update, against the stand-in table: a unit that comes
// back with the image's version is verified, with another it failed, and one
// that does not come back in time is not verified. Nothing is asked of the
// table from inside one of its signals, and waiting holds no slot.
class TestUpdateVerifier : public SchedulerTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void outcome_data();
    void outcome();
    void notBackInTime();
    void checkRetriedAfterError();
    void checkNeverReadable();
    void absentFromTableIsRetried();
    void failedUnitIsNotAwaited();
    void disabled();
    void stopWaiting();
    void waitingHoldsNoSlot();
    void polling_data();
    void polling();

private:
    void emitUpdate(const QString &address, const QString &key, const QString &value);
    void complete(const QString &address);
    // What the table sends while a check reads the unit.
    void answerCheck(const QString &address, const QString &version, const QString &build);

    UpdateVerifier *m_verifier = nullptr;
};

namespace {
const QString kA = QStringLiteral("10.77.0.10");
const QString kB = QStringLiteral("10.77.0.11");
} // namespace

void TestUpdateVerifier::init()
{
    setUpScheduler(QStringLiteral("s3cret"));
    m_scheduler->setAwaitProof(true);
    // The shipped image's header: VK-3F, 1.04, build 0119.
    m_verifier =
            new UpdateVerifier(m_core, m_directory, m_scheduler,
                               RunImage::fromImage(QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12)));
    m_verifier->setPassword(QStringLiteral("s3cret"));
    m_verifier->setRetryMs(50);
    for (const QString &address : { kA, kB }) {
        emitting([&] {
            m_core->addUnit(address, QStringLiteral("Unit"), QStringLiteral("VK-3F"),
                            QStringLiteral("1.02"));
        });
    }
}

void TestUpdateVerifier::cleanup()
{
    QCOMPARE(m_callsWhileEmitting, 0);
    delete m_verifier;
    tearDownScheduler();
}

void TestUpdateVerifier::emitUpdate(const QString &address, const QString &key,
                                    const QString &value)
{
    emitting([&] { m_core->updateUnit(address, key, value); });
}

void TestUpdateVerifier::complete(const QString &address)
{
    for (const char *text :
         { "Starting...", "Sending... 0%", "Writing", "Firmware update completed." })
        emitProgress(QLatin1String(text), address);
}

void TestUpdateVerifier::answerCheck(const QString &address, const QString &version,
                                     const QString &build)
{
    emitUpdate(address, QStringLiteral("m_modelname"), QStringLiteral("VK-3F"));
    emitUpdate(address, QStringLiteral("m_version"), version);
    emitUpdate(address, QStringLiteral("m_build"), build);
}

void TestUpdateVerifier::outcome_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<UpdateScheduler::Result>("result");
    QTest::addColumn<QString>("message");

    QTest::newRow("the image's version and build")
            << "1.04"
            << "(build0119)" << UpdateScheduler::Succeeded << "verified 1.04 (build0119)";
    QTest::newRow("the same number written otherwise")
            << "1.4"
            << "(build119)" << UpdateScheduler::Succeeded << "verified 1.4 (build119)";
    QTest::newRow("no build read") << "1.04"
                                   << "" << UpdateScheduler::Succeeded << "verified 1.04";
    QTest::newRow("old version") << "1.02"
                                 << "(build0100)" << UpdateScheduler::Failed
                                 << "still reports 1.02 after the update";
    QTest::newRow("same version, other build") << "1.04"
                                               << "(build0110)" << UpdateScheduler::Failed
                                               << "still reports 1.04 (build0110) after the update";
    QTest::newRow("no version") << ""
                                << "(build)" << UpdateScheduler::Failed
                                << "still reports no version after the update";
    QTest::newRow("control characters")
            << "1.0\x1b[2J"
            << "" << UpdateScheduler::Failed << "still reports 1.0<U+001B>[2J after the update";
}

Q_DECLARE_METATYPE(UpdateScheduler::Result)

void TestUpdateVerifier::outcome()
{
    QFETCH(QString, version);
    QFETCH(QString, build);
    QSignalSpy idle(m_verifier, &UpdateVerifier::idle);
    QSignalSpy verified(m_scheduler, &UpdateScheduler::unitVerified);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    QVERIFY(m_scheduler->unit(kA)->verifying);
    QCOMPARE(m_verifier->pendingCount(), 1);
    QTRY_VERIFY(m_scheduler->isFinished()); // the scheduler's part is over

    // Restarting: the table sees it go; it is back when the table says so.
    emitUpdate(kA, QStringLiteral("m_version"), QStringLiteral("9.99"));
    emitUpdate(kA, QStringLiteral("m_build"), QString());
    QTest::qWait(20);
    QCOMPARE(m_core->checks().size(), 0);
    emitUpdate(kA, QStringLiteral("m_after_update"), QStringLiteral("back"));
    QCOMPARE(m_core->checks().size(), 0); // not from inside the table's signal
    QTRY_COMPARE(m_core->checks().size(), 1);
    QCOMPARE(m_core->checks().at(0).ipaddr, kA);
    QCOMPARE(m_core->checks().at(0).password, QStringLiteral("s3cret"));
    QCOMPARE(m_core->checks().at(0).port, QStringLiteral("54726"));
    QCOMPARE(verified.count(), 0);

    answerCheck(kA, version, build);
    QCOMPARE(verified.count(), 1);
    QCOMPARE(idle.count(), 1);
    QTEST(m_scheduler->unit(kA)->result, "result");
    QTEST(m_scheduler->unit(kA)->message, "message");
    QVERIFY(!m_scheduler->unit(kA)->verifying);
    QCOMPARE(m_verifier->pendingCount(), 0);
    // A later word from the unit changes nothing.
    answerCheck(kA, QStringLiteral("7.00"), QString());
    QCOMPARE(verified.count(), 1);
    QCOMPARE(m_core->checks().size(), 1);
}

void TestUpdateVerifier::notBackInTime()
{
    m_verifier->setTimeoutSeconds(0.2);
    QSignalSpy idle(m_verifier, &UpdateVerifier::idle);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    QTRY_COMPARE(idle.count(), 1);
    QCOMPARE(m_scheduler->unit(kA)->result, UpdateScheduler::NotVerified);
    QCOMPARE(m_scheduler->unit(kA)->message, QStringLiteral("did not come back within 0.2 s"));
    QCOMPARE(m_core->checks().size(), 0);
    // Back too late: nothing more happens.
    emitUpdate(kA, QStringLiteral("m_after_update"), QStringLiteral("back"));
    QTest::qWait(100);
    QCOMPARE(m_core->checks().size(), 0);
}

void TestUpdateVerifier::checkRetriedAfterError()
{
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    emitUpdate(kA, QStringLiteral("m_after_update"), QStringLiteral("back"));
    QTRY_COMPARE(m_core->checks().size(), 1);
    // Back on SSDP, but not yet listening: the check fails and is tried again.
    emitProgress(QStringLiteral("ERROR: Connection refused"), kA);
    QCOMPARE(m_scheduler->unit(kA)->result, UpdateScheduler::Succeeded);
    QTRY_COMPARE(m_core->checks().size(), 2);
    answerCheck(kA, QStringLiteral("1.04"), QStringLiteral("(build0119)"));
    QCOMPARE(m_scheduler->unit(kA)->message, QStringLiteral("verified 1.04 (build0119)"));
}

void TestUpdateVerifier::checkNeverReadable()
{
    // Long enough for a second check on a busy machine.
    m_verifier->setTimeoutSeconds(1.5);
    m_verifier->setRetryMs(100);
    QSignalSpy idle(m_verifier, &UpdateVerifier::idle);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    emitUpdate(kA, QStringLiteral("m_after_update"), QStringLiteral("back"));
    int answered = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                while (answered < m_core->checks().size()) {
                    ++answered;
                    emitProgress(QStringLiteral("ERROR: The unit rejected the password."), kA);
                }
                return idle.count() == 1;
            }(),
            5000);
    QVERIFY(answered >= 2);
    QCOMPARE(m_scheduler->unit(kA)->result, UpdateScheduler::NotVerified);
    QCOMPARE(m_scheduler->unit(kA)->message,
             QStringLiteral("came back, but its version could not be read (ERROR: The unit "
                            "rejected the password.)"));
}

// The unit's record has gone again (no answer to the check): tried later.
void TestUpdateVerifier::absentFromTableIsRetried()
{
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    m_core->refuse(kA);
    emitUpdate(kA, QStringLiteral("m_after_update"), QStringLiteral("back"));
    QTRY_COMPARE(m_core->checks().size(), 2);
    QCOMPARE(m_verifier->pendingCount(), 1);
}

void TestUpdateVerifier::failedUnitIsNotAwaited()
{
    QSignalSpy verified(m_scheduler, &UpdateScheduler::unitVerified);
    m_scheduler->start({ kA, QStringLiteral("10.77.0.99") });
    QTRY_COMPARE(m_core->callCount(), 1);
    emitProgress(QStringLiteral("ERROR: Connection refused"), kA);
    QCOMPARE(m_verifier->pendingCount(), 0);
    QVERIFY(!m_scheduler->unit(kA)->verifying);
    emitUpdate(kA, QStringLiteral("m_after_update"), QStringLiteral("back"));
    QTest::qWait(50);
    QCOMPARE(m_core->checks().size(), 0);
    QCOMPARE(verified.count(), 0);
}

void TestUpdateVerifier::disabled()
{
    // --no-verify: the scheduler awaits no unit.
    m_scheduler->setAwaitProof(false);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    QCOMPARE(m_verifier->pendingCount(), 0);
    QCOMPARE(m_scheduler->unit(kA)->message, QStringLiteral("Firmware update completed."));
    QCOMPARE(m_scheduler->verifyingCount(), 0);
}

void TestUpdateVerifier::stopWaiting()
{
    QSignalSpy idle(m_verifier, &UpdateVerifier::idle);
    m_scheduler->start({ kA, kB });
    QTRY_COMPARE(m_core->callCount(), 2);
    complete(kA);
    m_verifier->stopWaiting();
    QCOMPARE(idle.count(), 1);
    QCOMPARE(m_scheduler->unit(kA)->result, UpdateScheduler::NotVerified);
    QCOMPARE(m_scheduler->unit(kA)->message, QStringLiteral("interrupted before it came back"));
    // A unit that completes afterwards is not awaited.
    complete(kB);
    QCOMPARE(m_verifier->pendingCount(), 0);
    QCOMPARE(m_scheduler->unit(kB)->result, UpdateScheduler::Succeeded);
}

// One slot: the second unit starts as soon as the first has completed, long
// before the first is back.
void TestUpdateVerifier::waitingHoldsNoSlot()
{
    m_scheduler->setParallel(1);
    m_scheduler->start({ kA, kB });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    QTRY_COMPARE(m_core->callCount(), 2);
    QCOMPARE(m_core->call(1).value("ipaddr").toString(), kB);
    QCOMPARE(m_verifier->pendingCount(), 1);
    QCOMPARE(m_scheduler->workingCount(), 1);
    QCOMPARE(m_scheduler->verifyingCount(), 1);
}

// Units given by address (--direct) are never seen coming back by the
// table: they are checked in turn. Each step is what one check ends with:
// "refused", or the version it read. Runs that end on what a check reads get
// time to spare; the ones that end when the time is up, 0.6 s.
void TestUpdateVerifier::polling_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<UpdateScheduler::Result>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("timeoutSeconds");

    QTest::newRow("down, then the image")
            << QStringList{ "1.02", "refused", "refused", "1.04" } << UpdateScheduler::Succeeded
            << "verified 1.04 (build0119)" << 10.0;
    QTest::newRow("the image at the first look")
            << QStringList{ "1.04" } << UpdateScheduler::Succeeded << "verified 1.04 (build0119)"
            << 10.0;
    QTest::newRow("down, then the old version")
            << QStringList{ "refused", "1.02" } << UpdateScheduler::Failed
            << "still reports 1.02 after the update" << 10.0;
    QTest::newRow("never down, always the old version")
            << QStringList{ "1.02", "1.02", "1.02", "1.02", "1.02", "1.02", "1.02", "1.02",
                            "1.02", "1.02", "1.02", "1.02", "1.02", "1.02", "1.02", "1.02" }
            << UpdateScheduler::Failed << "still reports 1.02 after the update" << 0.6;
    QTest::newRow("never answers again")
            << QStringList{ "1.02",    "refused", "refused", "refused", "refused", "refused",
                            "refused", "refused", "refused", "refused", "refused", "refused",
                            "refused", "refused", "refused", "refused" }
            << UpdateScheduler::NotVerified << "did not come back within 0.6 s" << 0.6;
}

void TestUpdateVerifier::polling()
{
    QFETCH(QStringList, steps);
    QFETCH(double, timeoutSeconds);
    m_verifier->setPolling(true);
    m_verifier->setRetryMs(20);
    m_verifier->setTimeoutSeconds(timeoutSeconds);
    QSignalSpy idle(m_verifier, &UpdateVerifier::idle);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    complete(kA);
    int answered = 0;
    // Each check is answered as the step says; after the last step, the
    // same again until the time is up.
    QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                while (idle.count() == 0 && answered < m_core->checks().size()) {
                    const QString step = steps.value(answered, steps.last());
                    ++answered;
                    if (step == QLatin1String("refused"))
                        emitProgress(QStringLiteral("ERROR: Connection refused"), kA);
                    else
                        answerCheck(kA, step,
                                    step == QLatin1String("1.04") ? QStringLiteral("(build0119)")
                                                                  : QStringLiteral("(build0100)"));
                }
                return idle.count() == 1;
            }(),
            15000);
    QVERIFY(answered >= 1);
    QTEST(m_scheduler->unit(kA)->result, "result");
    QTEST(m_scheduler->unit(kA)->message, "message");
}

QTEST_GUILESS_MAIN(TestUpdateVerifier)
#include "tst_updateverifier.moc"
