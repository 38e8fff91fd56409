// The whole updater (table, records, protocol, main.qml) against kvx-devsim in
// the network lab, driven through its window: seven healthy units five at a
// time, a failed unit updated again, and two start requests for one unit.
//
// Each case builds a fresh simulator and a fresh updater. The window is used
// as a technician uses it (clicks and keys at window coordinates); the few
// internal accesses are marked where they are made.
#include "e2e/rack.h"

#include <QQmlExpression>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>

class TestE2eUpdate : public RackTest
{
    Q_OBJECT

public:
    TestE2eUpdate() : RackTest(7) { }

private slots:
    void sevenHealthyUnits();
    void failedUnitUpdatedAgain();
    void twoStartsOneConnection();
};

void TestE2eUpdate::sevenHealthyUnits()
{
    const QStringList units = Rack::addresses(7);
    QList<QJsonObject> config;
    const QStringList models{ "ZP-9E", "VK-3F", "VK-5F", "VL-3F", "RT-6C", "ZP-9E", "VK-3F" };
    for (int i = 0; i < units.size(); ++i) {
        // A unit writes its flash for 1.5 s before its final acknowledgement,
        // so that the first five overlap and the other two have to wait.
        config << LabDevSim::unit(
                units.at(i),
                { { "model", models.at(i) },
                  { "nickname", QStringLiteral("Rack %1").arg(i + 1) },
                  { "version", "1.02" },
                  { "build", QStringLiteral("01%1").arg(i, 2, 10, QLatin1Char('0')) },
                  { "writeDelayMs", 1500 } });
    }
    QString why;
    QVERIFY2(startRack(config, &why), qPrintable(why));
    const QByteArray &image = tableImage();

    // Internal check: every run points at the table's one image.
    watchImagePointers();

    QVERIFY(m_updater.clickButton(QStringLiteral("Select all")));
    for (const QString &a : units)
        QVERIFY2(m_updater.card(a)->property("m_f_selected").toBool(), qPrintable(a));
    const int startTick = m_updater.tick();
    QVERIFY(m_updater.updateSelected(Rack::password()));

    // Right after "Update": the first five rows report "connecting..." (the
    // core answers before the start call returns), the other two wait.
    for (int i = 0; i < 5; ++i)
        QCOMPARE(m_updater.cardText(units.at(i)), QStringLiteral("connecting..."));
    QCOMPARE(m_updater.cardText(units.at(5)), QStringLiteral("Waiting"));
    QCOMPARE(m_updater.cardText(units.at(6)), QStringLiteral("Waiting"));
    QVERIFY(m_updater.overlayVisible());
    QVERIFY2(m_updater.statusLine().startsWith(QLatin1String("Updating")),
             qPrintable(m_updater.statusLine()));
    QVERIFY(!m_updater.closeButtonVisible());

    QVERIFY2(m_updater.waitForFinished(60000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.statusLine(), QStringLiteral("Finished."));
    QCOMPARE(m_updater.successLine(), QStringLiteral("7 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("0 failed"));

    const QStringList normal = Rack::normalRunTexts(image.size());
    QCOMPARE(normal.size(), 104);
    for (int i = 0; i < units.size(); ++i) {
        const QString a = units.at(i);
        QCOMPARE(m_updater.cardText(a), QStringLiteral("Firmware update completed."));
        // A completed unit cannot be picked again while its card is shown.
        QVERIFY(!m_updater.checkBoxVisible(a));
        QCOMPARE(m_updater.coreTextsOf(a), normal);
        QCOMPARE(m_updater.cardTextsOf(a),
                 i < 5 ? normal : QStringList{ QStringLiteral("Waiting") } + normal);
        // The name and version read over TCP replaced the SSDP values.
        QQuickItem *c = m_updater.card(a);
        QCOMPARE(c->property("m_modelname").toString(), models.at(i));
        QCOMPARE(c->property("m_version").toString(), QStringLiteral("1.02"));
        QCOMPARE(c->property("m_build").toString(),
                 QStringLiteral("(build01%1)").arg(i, 2, 10, QLatin1Char('0')));
    }

    // The waiting units started one per tick, each after a slot had come
    // free, and never more than five worked at once.
    const QList<UpdaterWindow::TextEvent> &log = m_updater.cardTexts();
    const int start5 = Rack::firstEvent(log, units.at(5), QStringLiteral("connecting..."));
    const int start6 = Rack::firstEvent(log, units.at(6), QStringLiteral("connecting..."));
    QVERIFY(start5 >= 0 && start6 > start5);
    QVERIFY2(log.at(start5).tick > startTick, qPrintable(QString::number(log.at(start5).tick)));
    QVERIFY2(log.at(start6).tick > log.at(start5).tick,
             qPrintable(QString::number(log.at(start6).tick)));
    int firstDone = log.size();
    for (int i = 0; i < 5; ++i)
        firstDone = qMin(
                firstDone,
                Rack::firstEvent(log, units.at(i), QStringLiteral("Firmware update completed.")));
    QVERIFY2(firstDone < start5, "a waiting unit started before any slot came free");
    QCOMPARE(Rack::peakWorkingCards(log), 5);

    QCOMPARE(m_transfersStarted, 7);
    QVERIFY2(m_pointerProblems.isEmpty(), qPrintable(m_pointerProblems.join(' ')));
    QVERIFY2(Rack::busyRecords(m_updater.table()).isEmpty(), "a record did not return to Idle");

    const QJsonObject results = m_sim.results();
    QCOMPARE(results.value(QStringLiteral("peakConnections")).toInt(), 5);
    QCOMPARE(results.value(QStringLiteral("openConnections")).toInt(), 0);
    for (const QString &a : units) {
        const QJsonObject unit = LabDevSim::findUnit(results, a);
        QCOMPARE(Rack::imageProblem(unit, image), QString());
        QCOMPARE(unit.value(QStringLiteral("connections")).toInt(), 1);
        QCOMPARE(unit.value(QStringLiteral("transfers")).toInt(), 1);
        QCOMPARE(unit.value(QStringLiteral("resends")).toInt(), 0);
    }
    // The wheel reaches the list through the overlay: the last card can be
    // brought into view while the overlay is up.
    QVERIFY(m_updater.scrollIntoView(m_updater.card(6)));
    QVERIFY(m_updater.overlayVisible());
    QVERIFY(m_updater.closeOverlay());
}

void TestE2eUpdate::failedUnitUpdatedAgain()
{
    const QString a = Rack::address(0);
    // Block 3 is answered NG twice in every transfer: each run resends it twice.
    QString why;
    QVERIFY2(
            startRack({ LabDevSim::unit(a,
                                        { { "writeDelayMs", 1500 },
                                          { "faults",
                                            QJsonObject{ { "ngData",
                                                           QJsonObject{ { "index", 3 },
                                                                        { "times", 2 } } } } } }) },
                      &why),
            qPrintable(why));
    const QByteArray &image = tableImage();
    UdpMachineNode *node = m_updater.record(a);
    QVERIFY(node);

    // Internal: the first run may wait only 300 ms for the unit's final
    // acknowledgement (instead of five minutes), so it fails while the unit
    // writes its flash.
    const int finalAck = node->m_comm.m_finalAckTimeoutMs;
    node->m_comm.m_finalAckTimeoutMs = 300;
    QVERIFY(m_updater.clickCheckBox(a));
    QVERIFY(m_updater.updateSelected(Rack::password()));
    QVERIFY(m_updater.waitForFinished(30000));
    const QString timedOut = QStringLiteral(
            "ERROR: No reply from the unit to \"SET UPDATE/SYSTEM:END\" within 300 ms.");
    QCOMPARE(m_updater.cardText(a), timedOut);
    QCOMPARE(m_updater.successLine(), QStringLiteral("0 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("1 failed"));
    QStringList first = m_updater.coreTextsOf(a);
    QCOMPARE(first.filter(QRegularExpression(QStringLiteral("^Retry: "))).size(), 2);
    QCOMPARE(first.last(), timedOut);
    QCOMPARE(node->m_fwup_state, UdpMachineNode::Idle);
    QVERIFY(m_updater.closeOverlay());
    node->m_comm.m_finalAckTimeoutMs = finalAck;

    // A failed unit can be picked again: the box is back.
    QVERIFY(m_updater.checkBoxVisible(a));
    m_updater.clearLogs();
    QVERIFY(m_updater.clickCheckBox(a));
    QVERIFY(m_updater.updateSelected(Rack::password()));
    QVERIFY(m_updater.waitForFinished(30000));
    QCOMPARE(m_updater.cardText(a), QStringLiteral("Firmware update completed."));
    QCOMPARE(m_updater.successLine(), QStringLiteral("1 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("0 failed"));

    // Every text of the second run, resend reports included, was sent once
    // and reached the card once, in order: the first run's links are gone.
    const QStringList second = m_updater.coreTextsOf(a);
    QCOMPARE(QSet<QString>(second.begin(), second.end()).size(), second.size());
    QCOMPARE(m_updater.cardTextsOf(a), second);
    const QStringList retries = second.filter(QRegularExpression(QStringLiteral("^Retry: ")));
    QCOMPARE(retries.size(), 2);
    // Both resends are of block 3, still at 0 %, right after "Sending... 0%".
    const int sending0 = second.indexOf(QStringLiteral("Sending... 0%"));
    QVERIFY(sending0 > 0);
    QVERIFY(retries.at(0).endsWith(QLatin1String("(0%)"))
            && retries.at(1).endsWith(QLatin1String("(0%)")));
    QCOMPARE(second.mid(sending0 + 1, 2), retries);
    QStringList withoutRetries = second;
    withoutRetries.removeAll(retries.at(0));
    withoutRetries.removeAll(retries.at(1));
    QCOMPARE(withoutRetries, Rack::normalRunTexts(image.size()));
    QCOMPARE(node->m_fwup_state, UdpMachineNode::Idle);

    const QJsonObject unit = m_sim.unitResults(a);
    QCOMPARE(Rack::imageProblem(unit, image), QString());
    QCOMPARE(unit.value(QStringLiteral("connections")).toInt(), 2);
    QCOMPARE(unit.value(QStringLiteral("transfers")).toInt(), 2);
    QCOMPARE(unit.value(QStringLiteral("resends")).toInt(), 4);
    QCOMPARE(unit.value(QStringLiteral("openConnections")).toInt(), 0);
}

void TestE2eUpdate::twoStartsOneConnection()
{
    const QString a = Rack::address(0);
    QString why;
    QVERIFY2(startRack({ LabDevSim::unit(a, { { "writeDelayMs", 500 } }) }, &why), qPrintable(why));

    // The card never asks twice for a unit that is busy, so the window offers
    // no way to do it: the two calls are made the way the cards make them,
    // through "udpmachine" in the window's QML context. The second carries a
    // wrong password, which must not reach the run that is already under way.
    QQmlExpression twice(m_updater.engine()->rootContext(), m_updater.window(),
                         QStringLiteral("udpmachine.fwUpdateStart(\"%1\", \"%2\", 54726);"
                                        "udpmachine.fwUpdateStart(\"%1\", \"wrong\", 54726)")
                                 .arg(a, Rack::password()));
    twice.evaluate();
    QVERIFY2(!twice.hasError(), qPrintable(twice.error().toString()));
    QCOMPARE(m_updater.cardText(a), QStringLiteral("connecting..."));
    QVERIFY(labWaitUntil(
            [&] { return m_updater.cardText(a) == QLatin1String("Firmware update completed."); },
            30000));
    QCOMPARE(m_updater.coreTextsOf(a), Rack::normalRunTexts(m_updater.table()->binfile().size()));
    // Internal: the second call only overwrote the stored password.
    QCOMPARE(m_updater.record(a)->m_login_passwd, QStringLiteral("wrong"));
    QCOMPARE(m_updater.record(a)->m_fwup_state, UdpMachineNode::Idle);

    const QJsonObject unit = m_sim.unitResults(a);
    QCOMPARE(Rack::imageProblem(unit, m_updater.table()->binfile()), QString());
    QCOMPARE(unit.value(QStringLiteral("connections")).toInt(), 1);
    QCOMPARE(unit.value(QStringLiteral("loginAttempts")).toInt(), 1);
    QCOMPARE(unit.value(QStringLiteral("logins")).toInt(), 1);
    QCOMPARE(unit.value(QStringLiteral("transfers")).toInt(), 1);
}

QTEST_MAIN(TestE2eUpdate)
#include "tst_e2e_update.moc"
