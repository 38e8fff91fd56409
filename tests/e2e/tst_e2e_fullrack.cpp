// The largest run the window allows: 48 simulated units selected with
// "Select all" and updated through the window, five at a time at most.
#include "e2e/rack.h"

#include <QQuickItem>

class TestE2eFullRack : public RackTest
{
    Q_OBJECT

public:
    TestE2eFullRack() : RackTest(48) { }

private slots:
    void fortyEightUnits();
};

void TestE2eFullRack::fortyEightUnits()
{
    const QStringList units = Rack::addresses(48);
    QList<QJsonObject> config;
    for (const QString &a : units)
        config << LabDevSim::unit(a);
    QString why;
    QVERIFY2(startRack(config, &why), qPrintable(why));
    const QByteArray &image = tableImage();

    // Internal check: every run points at the table's one image.
    watchImagePointers();

    QVERIFY(m_updater.clickButton(QStringLiteral("Select all")));
    QVERIFY(m_updater.updateSelected(Rack::password())); // 48 is still allowed
    for (int i = 0; i < 48; ++i)
        QCOMPARE(m_updater.cardText(units.at(i)),
                 i < 5 ? QStringLiteral("connecting...") : QStringLiteral("Waiting"));

    // The scheduler starts one waiting unit a second: at least 43 s.
    QVERIFY2(m_updater.waitForFinished(120000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.successLine(), QStringLiteral("48 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("0 failed"));
    const QStringList normal = Rack::normalRunTexts(image.size());
    for (const QString &a : units) {
        QCOMPARE(m_updater.cardText(a), QStringLiteral("Firmware update completed."));
        QCOMPARE(m_updater.coreTextsOf(a), normal);
    }
    QVERIFY(Rack::peakWorkingCards(m_updater.cardTexts()) <= 5);
    QCOMPARE(m_transfersStarted, 48);
    QVERIFY2(m_pointerProblems.isEmpty(), qPrintable(m_pointerProblems.join(' ')));
    QVERIFY(Rack::busyRecords(m_updater.table()).isEmpty());

    const QJsonObject results = m_sim.results();
    const int peak = results.value(QStringLiteral("peakConnections")).toInt();
    QVERIFY2(peak >= 1 && peak <= 5, qPrintable(QString::number(peak)));
    QCOMPARE(results.value(QStringLiteral("openConnections")).toInt(), 0);
    for (const QString &a : units) {
        const QJsonObject unit = LabDevSim::findUnit(results, a);
        QCOMPARE(Rack::imageProblem(unit, image), QString());
        QCOMPARE(unit.value(QStringLiteral("connections")).toInt(), 1);
    }

    // The wheel reaches the list through the overlay: the last card can be
    // brought into view and read while the overlay is still up.
    QVERIFY(m_updater.overlayVisible());
    QQuickItem *last = m_updater.card(47);
    QVERIFY(m_updater.scrollIntoView(last));
    QVERIFY(m_updater.overlayVisible());
    QVERIFY(m_updater.closeOverlay());
}

QTEST_MAIN(TestE2eFullRack)
#include "tst_e2e_fullrack.moc"
