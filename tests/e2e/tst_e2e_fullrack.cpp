// The largest run the window allows: 48 simulated units selected with
// "Select all" and updated through the window, five at a time at most.
#include "e2e/rack.h"

#include <QQuickItem>

class TestE2eFullRack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fortyEightUnits();

private:
    LabDevSim m_sim;
    UpdaterWindow m_updater;
};

void TestE2eFullRack::initTestCase()
{
    QString why;
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    QVERIFY2(UpdaterWindow::labIsolated(&why), qPrintable(why));
    QVERIFY(labDeviceAddresses().size() >= 48);
}

void TestE2eFullRack::cleanupTestCase()
{
    m_updater.stop();
    m_sim.stop();
}

void TestE2eFullRack::fortyEightUnits()
{
    const QStringList units = Rack::addresses(48);
    QList<QJsonObject> config;
    for (const QString &a : units)
        config << LabDevSim::unit(a);
    QVERIFY2(m_sim.start(LabDevSim::config(config)), qPrintable(m_sim.errorString()));
    QString why;
    QVERIFY2(m_updater.start(&why), qPrintable(why));
    QVERIFY2(m_updater.waitForCards(units, 15000),
             qPrintable(QString::number(m_updater.cardCount())));
    QCOMPARE(m_updater.cardAddresses(), units);
    const QByteArray &image = m_updater.table()->binfile();
    QVERIFY2(Rack::embeddedImageMatchesBuild(image, &why), qPrintable(why));

    // Internal check: every run points at the table's one image.
    QStringList pointerProblems;
    int transfersStarted = 0;
    m_updater.onCoreText = [&](const QString &text, const QString &address) {
        if (text != QLatin1String("Starting..."))
            return;
        ++transfersStarted;
        const UdpMachineNode *node = m_updater.record(address);
        if (!node || node->m_fwup_image != &image || node->m_comm.m_image != &image
            || node->m_comm.m_image->constData() != image.constData())
            pointerProblems << address;
    };

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
    QCOMPARE(transfersStarted, 48);
    QVERIFY2(pointerProblems.isEmpty(), qPrintable(pointerProblems.join(' ')));
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
