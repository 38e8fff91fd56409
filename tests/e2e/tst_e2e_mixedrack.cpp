// A mixed rack of eleven simulated units updated in one run through the window:
// every kind of trouble a technician meets, each unit ending in its class.
//
//   row  unit                                         ends as
//   0    stops answering SSDP early in the run,      succeeded (not removed while
//        writes its flash for a long time            updating; removed after)
//   1    NG twice to one data command                succeeded, two "Retry: " texts
//   2-4  healthy, long flash write                   succeeded
//   5    stops answering SSDP while it waits         lost (removed before it starts)
//   6    rejects the password                        failed
//   7    drops the connection mid-transfer           failed
//   8    silent after login                          failed (time-out)
//   9    NG to the start command                     failed (nothing to resend)
//   10   NG to one data command, again and again     failed (resends are bounded)
//
// Rows 0 to 4 hold all five slots while they write their flash, so the unit in
// row 5 is still waiting when the table drops it (about 12 s after its last
// answer); only then do the rows behind it start.
#include "e2e/rack.h"

#include <QQuickItem>
#include <QRegularExpression>

namespace {

// Seconds after the simulator's start at which rows 0 and 5 fall silent:
// after discovery and the click on "Update", early in the run.
constexpr int kSilentAfterSeconds = 5;
// The five slot holders' flash write: longer than the silent waiting unit
// needs to age out (5 s + about 12.2 s) with room to spare on a busy machine.
constexpr int kLongWriteMs = 24000;
// Internal: the silent unit's reply time-out, shortened from 15 s.
constexpr int kReplyTimeoutMs = 2000;

} // namespace

class TestE2eMixedRack : public RackTest
{
    Q_OBJECT

public:
    TestE2eMixedRack() : RackTest(11) { }

private slots:
    void mixedRack();
};

void TestE2eMixedRack::mixedRack()
{
    const QStringList a = Rack::addresses(11);
    const QJsonObject longWrite{ { "writeDelayMs", kLongWriteMs } };
    using Rack::with;
    const QList<QJsonObject> units{
        LabDevSim::unit(a[0], with(longWrite, { { "silentAfterSeconds", kSilentAfterSeconds } })),
        LabDevSim::unit(
                a[1],
                with(longWrite,
                     { { "faults",
                         QJsonObject{ { "ngData",
                                        QJsonObject{ { "index", 100 }, { "times", 2 } } } } } })),
        LabDevSim::unit(a[2], longWrite),
        LabDevSim::unit(a[3], longWrite),
        LabDevSim::unit(a[4], longWrite),
        LabDevSim::unit(a[5], { { "silentAfterSeconds", kSilentAfterSeconds } }),
        LabDevSim::unit(a[6], { { "faults", QJsonObject{ { "wrongPassword", true } } } }),
        LabDevSim::unit(a[7], { { "faults", QJsonObject{ { "closeAtOffset", 262144 } } } }),
        LabDevSim::unit(a[8], { { "faults", QJsonObject{ { "silentAfterLogin", true } } } }),
        LabDevSim::unit(a[9], { { "faults", QJsonObject{ { "ngStart", true } } } }),
        LabDevSim::unit(a[10],
                        { { "faults",
                            QJsonObject{ { "ngData",
                                           QJsonObject{ { "index", 7 }, { "times", 100 } } } } } }),
    };

    QElapsedTimer sinceSimStart;
    sinceSimStart.start();
    QString why;
    QVERIFY2(startRack(units, &why, 4000), qPrintable(why));
    const QByteArray &image = tableImage();

    // Internal: the unit that falls silent after login times out in 2 s
    // instead of 15 s.
    UdpMachineNode *silent = m_updater.record(a[8]);
    QVERIFY(silent);
    silent->m_comm.m_protocol.m_replyTimeoutMs = kReplyTimeoutMs;

    QVERIFY(m_updater.clickButton(QStringLiteral("Select all")));
    QVERIFY(m_updater.updateSelected(Rack::password()));
    const qint64 clickedAt = sinceSimStart.elapsed();
    // The timetable needs the run to begin before rows 0 and 5 fall silent.
    QVERIFY2(clickedAt < (kSilentAfterSeconds - 1) * 1000, qPrintable(QString::number(clickedAt)));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(m_updater.cardText(a[i]), QStringLiteral("connecting..."));
    for (int i = 5; i < 11; ++i)
        QCOMPARE(m_updater.cardText(a[i]), QStringLiteral("Waiting"));

    // Row 5 is dropped while it waits and the run goes on.
    QVERIFY(labWaitUntil([&] { return !m_updater.hasCard(a[5]); }, 25000));
    QVERIFY2(m_updater.statusLine().startsWith(QLatin1String("Updating")),
             qPrintable(m_updater.statusLine()));
    for (int i = 0; i < 5; ++i)
        QVERIFY2(Rack::isWorkingText(m_updater.cardText(a[i])),
                 qPrintable(a[i] + ": " + m_updater.cardText(a[i])));
    for (int i = 6; i < 11; ++i)
        QCOMPARE(m_updater.cardText(a[i]), QStringLiteral("Waiting"));

    QVERIFY2(m_updater.waitForFinished(90000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.successLine(), QStringLiteral("5 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("5 failed and 1lost"));

    const QString completed = QStringLiteral("Firmware update completed.");
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(m_updater.cardText(a[i]), completed);
        QVERIFY(!m_updater.checkBoxVisible(a[i]));
    }
    QCOMPARE(m_updater.cardText(a[6]), QStringLiteral("ERROR: The unit rejected the password."));
    QCOMPARE(m_updater.cardText(a[7]),
             QStringLiteral("ERROR: The remote host closed the connection"));
    QCOMPARE(m_updater.cardText(a[8]),
             QStringLiteral("ERROR: No reply from the unit to \"GET DEVICE/NAME\" within 2 s."));
    QCOMPARE(m_updater.cardText(a[9]),
             QStringLiteral("ERROR: Detected NG response from the unit."));
    const QString gaveUp =
            QStringLiteral("ERROR: The unit kept answering NG to \"SET UPDATE/SYSTEM:BIN SIZE:200 "
                           "offset:e00\"; gave up after 8 resends.");
    QCOMPARE(m_updater.cardText(a[10]), gaveUp);
    for (int i = 6; i < 11; ++i)
        QVERIFY2(m_updater.checkBoxVisible(a[i]),
                 qPrintable(a[i])); // failed units may be picked again

    // What each card went through.
    QCOMPARE(m_updater.cardTextsOf(a[5]), QStringList{ QStringLiteral("Waiting") });
    QCOMPARE(m_updater.cardTextsOf(a[6]),
             (QStringList{ QStringLiteral("Waiting"), QStringLiteral("connecting..."),
                           QStringLiteral("ERROR: The unit rejected the password.") }));
    QCOMPARE(m_updater.cardTextsOf(a[8]),
             (QStringList{ QStringLiteral("Waiting"), QStringLiteral("connecting..."),
                           m_updater.cardText(a[8]) }));
    const QStringList dropped = m_updater.cardTextsOf(a[7]);
    QVERIFY2(dropped.contains(QStringLiteral("Sending... 45%"))
                     && !dropped.contains(QStringLiteral("Sending... 46%"))
                     && !dropped.contains(QStringLiteral("Writing")),
             qPrintable(dropped.join(" | ")));
    const QStringList ng = m_updater.coreTextsOf(a[1]);
    const QStringList retries = ng.filter(QRegularExpression(QStringLiteral("^Retry: ")));
    QCOMPARE(retries.size(), 2);
    QStringList ngWithoutRetries = ng;
    for (const QString &r : retries)
        ngWithoutRetries.removeAll(r);
    QCOMPARE(ngWithoutRetries, Rack::normalRunTexts(image.size()));
    QCOMPARE(m_updater.cardTextsOf(a[1]), ng);
    QCOMPARE(m_updater.cardTextsOf(a[9]),
             (QStringList{ QStringLiteral("Waiting"), QStringLiteral("connecting..."),
                           QStringLiteral("Starting..."),
                           QStringLiteral("ERROR: Detected NG response from the unit.") }));
    const QStringList endless = m_updater.coreTextsOf(a[10]);
    QCOMPARE(endless.filter(QRegularExpression(QStringLiteral("^Retry: "))).size(), 8);
    QCOMPARE(endless.last(), gaveUp);
    QCOMPARE(m_updater.cardTextsOf(a[10]), QStringList{ QStringLiteral("Waiting") } + endless);

    // Row 0 was silent on SSDP for more than the 12 s that drop an idle
    // unit, yet kept its card while it was updated ...
    const QList<UpdaterWindow::TextEvent> &log = m_updater.cardTexts();
    const int done0 = Rack::firstEvent(log, a[0], completed);
    QVERIFY(done0 >= 0);
    const qint64 silentWhileUpdating = log.at(done0).ms
            - (kSilentAfterSeconds * 1000 - sinceSimStart.elapsed() + m_updater.elapsed());
    QVERIFY2(silentWhileUpdating > 13000, qPrintable(QString::number(silentWhileUpdating)));
    const QList<UpdaterWindow::TextEvent> removedSoFar = m_updater.removedCards();
    QCOMPARE(removedSoFar.size(), 1);
    QCOMPARE(removedSoFar.first().address, a[5]);
    QCOMPARE(removedSoFar.first().text, QStringLiteral("Waiting"));
    // ... and ages again once its run has ended: the table drops it.
    QVERIFY(labWaitUntil([&] { return !m_updater.hasCard(a[0]); }, 20000));
    QCOMPARE(m_updater.removedCards().last().address, a[0]);
    QVERIFY(m_updater.removedCards().last().ms > log.at(done0).ms);
    QCOMPARE(m_updater.removedCards().last().text, completed);

    // Internal: every remaining record is idle again.
    QVERIFY2(Rack::busyRecords(m_updater.table()).isEmpty(),
             qPrintable(Rack::busyRecords(m_updater.table()).join(' ')));

    // What the units received.
    const QJsonObject results = m_sim.results();
    QVERIFY(results.value(QStringLiteral("peakConnections")).toInt() <= 5);
    QCOMPARE(results.value(QStringLiteral("openConnections")).toInt(), 0);
    for (int i = 0; i < 5; ++i) {
        const QJsonObject unit = LabDevSim::findUnit(results, a[i]);
        QCOMPARE(Rack::imageProblem(unit, image), QString());
        QCOMPARE(unit.value(QStringLiteral("connections")).toInt(), 1);
        QCOMPARE(unit.value(QStringLiteral("resends")).toInt(), i == 1 ? 2 : 0);
    }
    const QJsonObject lost = LabDevSim::findUnit(results, a[5]);
    QCOMPARE(lost.value(QStringLiteral("connections")).toInt(), 0);
    const QJsonObject rejected = LabDevSim::findUnit(results, a[6]);
    QCOMPARE(rejected.value(QStringLiteral("loginAttempts")).toInt(), 1);
    QCOMPARE(rejected.value(QStringLiteral("logins")).toInt(), 0);
    QCOMPARE(rejected.value(QStringLiteral("transfers")).toInt(), 0);
    const QJsonObject cut = LabDevSim::findUnit(results, a[7]);
    QCOMPARE(cut.value(QStringLiteral("transfers")).toInt(), 1);
    QCOMPARE(cut.value(QStringLiteral("bytesReceived")).toInt(), 262144);
    QCOMPARE(cut.value(QStringLiteral("endAcknowledged")).toBool(), false);
    const QJsonObject mute = LabDevSim::findUnit(results, a[8]);
    QCOMPARE(mute.value(QStringLiteral("logins")).toInt(), 1);
    QCOMPARE(mute.value(QStringLiteral("transfers")).toInt(), 0);
    const QJsonObject ngStart = LabDevSim::findUnit(results, a[9]);
    QCOMPARE(ngStart.value(QStringLiteral("transfers")).toInt(), 0);
    QCOMPARE(ngStart.value(QStringLiteral("dataCommands")).toInt(), 0);
    const QJsonObject ngData = LabDevSim::findUnit(results, a[10]);
    QCOMPARE(ngData.value(QStringLiteral("resends")).toInt(), 8);
    QCOMPARE(ngData.value(QStringLiteral("bytesReceived")).toInt(), 7 * 512);
    QCOMPARE(ngData.value(QStringLiteral("openConnections")).toInt(), 0);
    for (int i = 5; i < 9; ++i)
        QVERIFY2(LabDevSim::violations(LabDevSim::findUnit(results, a[i])).isEmpty(),
                 qPrintable(a[i]));

    QVERIFY(m_updater.closeOverlay());
}

QTEST_MAIN(TestE2eMixedRack)
#include "tst_e2e_mixedrack.moc"
