// A rack of the units the field brings, updated in one run through the window:
// every way a healthy unit may speak where the protocol leaves room, and a
// wrong password on each style of login.
//
//   row  unit                                              ends as
//   0    prompts as soon as the connection opens           succeeded
//   1    ends its reply lines with CR only                 succeeded
//   2    never ends a reply line                           succeeded
//   3    acknowledges with "OK SET" and the command's key  succeeded
//   4    takes 20 s to acknowledge the start command       succeeded
//   5    wrong password, no new prompt after the failure   failed (the grace runs out)
//   6    wrong password, prompts again after the failure   failed (the grace runs out)
//   7    wrong password, prompts as soon as it connects    failed (second failure)
//   8    ends every text and prompt with a NUL             succeeded
//   9    prompts on connect, judges a password in 1.5 s    succeeded
//   10   prompts on connect, a new prompt for a verdict    succeeded
//   11   wrong password, "Password Failed" and hangs up    failed
//   12   wrong password, ends its texts with a NUL         failed (the grace runs out)
#include "e2e/rack.h"

#include <QQuickItem>

namespace {

// Internal: the quiet time after which the unit without line ends has its
// lines judged, shortened from 200 ms so that its 1,134 replies take seconds.
constexpr int kQuietTimeMs = 20;
constexpr int kStartDelayMs = 20000;

} // namespace

class TestE2eFieldRack : public RackTest
{
    Q_OBJECT

public:
    TestE2eFieldRack() : RackTest(13) { }

private slots:
    void fieldRack();
};

void TestE2eFieldRack::fieldRack()
{
    const QStringList a = Rack::addresses(13);
    const QJsonObject wrong{ { "password", "not-admin" } };
    using Rack::with;
    QList<QJsonObject> units{
        LabDevSim::unit(a[0], { { "promptOnConnect", true } }),
        LabDevSim::unit(a[1], { { "lineEnd", "cr" } }),
        LabDevSim::unit(a[2], { { "lineEnd", "none" } }),
        LabDevSim::unit(a[3], { { "ackWords", true } }),
        LabDevSim::unit(a[4], { { "startDelayMs", kStartDelayMs } }),
        LabDevSim::unit(a[5], wrong),
        LabDevSim::unit(a[6], with(wrong, { { "repromptAfterFailure", true } })),
        LabDevSim::unit(a[7], with(wrong, { { "promptOnConnect", true } })),
        LabDevSim::unit(a[8], { { "lineEnd", "nul" } }),
        LabDevSim::unit(a[9], { { "promptOnConnect", true }, { "verdictDelayMs", 1500 } }),
        LabDevSim::unit(a[10], { { "promptOnConnect", true }, { "refusal", "prompt" } }),
        LabDevSim::unit(a[11], with(wrong, { { "refusal", "hangUp" } })),
        LabDevSim::unit(a[12], with(wrong, { { "lineEnd", "nul" } })),
    };
    // The versions read at login are checked on the cards at the end: no unit
    // restarts into the image meanwhile (tst_e2e_versions is about that).
    for (QJsonObject &unit : units)
        unit.insert(QStringLiteral("rebootSeconds"), -1);
    QString why;
    QVERIFY2(startRack(units, &why), qPrintable(why));
    const QByteArray &image = tableImage();

    UdpMachineNode *silentLines = m_updater.record(a[2]);
    QVERIFY(silentLines);
    silentLines->m_comm.m_protocol.m_quietTimeMs = kQuietTimeMs;

    QVERIFY(m_updater.clickButton(QStringLiteral("Select all")));
    QVERIFY(m_updater.updateSelected(Rack::password()));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(m_updater.cardText(a[i]), QStringLiteral("connecting..."));
    for (int i = 5; i < 13; ++i)
        QCOMPARE(m_updater.cardText(a[i]), QStringLiteral("Waiting"));

    // Every run ends, each by its own verdict: the slowest is the unit that
    // erases its flash for 20 s before it acknowledges the start.
    QVERIFY2(m_updater.waitForFinished(kStartDelayMs + 90000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.statusLine(), QStringLiteral("Finished."));
    QCOMPARE(m_updater.successLine(), QStringLiteral("8 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("5 failed"));
    QCOMPARE(Rack::busyRecords(m_updater.table()), QStringList());

    const QStringList normal = Rack::normalRunTexts(image.size());
    const QJsonObject results = m_sim.results();
    for (int i : { 0, 1, 2, 3, 4, 8, 9, 10 }) {
        QCOMPARE(m_updater.cardTextsOf(a[i]), i < 5 ? normal : QStringList{ "Waiting" } + normal);
        const QJsonObject unit = LabDevSim::findUnit(results, a[i]);
        QCOMPARE(Rack::imageProblem(unit, image), QString());
        QCOMPARE(unit.value("connections").toInt(), 1);
        QCOMPARE(unit.value("logins").toInt(), 1);
        // The name and version read over TCP reached the card.
        QCOMPARE(m_updater.card(a[i])->property("m_version").toString(), QStringLiteral("1.02"));
    }
    // The unit that prompts on connect took the wake-up for a password and
    // then the one password the updater wrote: no second one reached it.
    for (int i : { 0, 9, 10 })
        QCOMPARE(LabDevSim::findUnit(results, a[i]).value("loginAttempts").toInt(), 2);

    const QStringList rejected{ QStringLiteral("Waiting"), QStringLiteral("connecting..."),
                                QStringLiteral("ERROR: The unit rejected the password.") };
    for (int i : { 5, 6, 7, 11, 12 }) {
        QCOMPARE(m_updater.cardTextsOf(a[i]), rejected);
        QVERIFY2(m_updater.checkBoxVisible(a[i]), qPrintable(a[i]));
        const QJsonObject unit = LabDevSim::findUnit(results, a[i]);
        QCOMPARE(unit.value("logins").toInt(), 0);
        QCOMPARE(unit.value("transfers").toInt(), 0);
        QCOMPARE(LabDevSim::violations(unit), QStringList());
    }
    // The password is tried once; the unit that prompts again after the
    // failure could have dropped it, so its prompt gets it once more; the
    // unit that prompts on connect has had the wake-up and one password.
    for (int i : { 5, 11, 12 })
        QCOMPARE(LabDevSim::findUnit(results, a[i]).value("loginAttempts").toInt(), 1);
    for (int i : { 6, 7 })
        QCOMPARE(LabDevSim::findUnit(results, a[i]).value("loginAttempts").toInt(), 2);
}

QTEST_MAIN(TestE2eFieldRack)
#include "tst_e2e_fieldrack.moc"
