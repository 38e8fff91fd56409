// kvx-devsim's units restart after an acknowledged update: gone from the
// network for their reboot time, then back with the image they received (or
// their old firmware when the boot fails). Seen from raw clients in the lab.
#include "common/lab.h"
#include "tools/rawclient.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

class TestDevsimRestart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void restartsIntoTheImage_data();
    void restartsIntoTheImage();
    void withoutRestartNothingChanges();
    void incompleteTransferNoRestart();

private:
    // The description line of the unit's answer to a search sent to it
    // alone; empty when it does not answer within the time.
    QByteArray searchAnswer(const QString &address, int ms);
    QByteArray versionReply(const QString &address);

    LabDevSim m_sim;
    QStringList m_addresses;
};

namespace {

const QByteArray kSearch =
        "M-SEARCH * HTTP/1.1\r\nHost:239.255.255.250:1900\r\nST:upnp:rootdevice\r\n"
        "Man:\"ssdp:discover\"\r\nMX:3\r\n\r\n";

// A VK-3F image of version 1.04, build 0119, with CR, LF and NUL in it.
QByteArray image()
{
    QByteArray bytes("VK-3F\0\0\0\x68\x00\x77\x00", 12);
    for (int i = 0; i < 1500; ++i)
        bytes.append(char((i * 13 + 1) % 256));
    return bytes;
}

} // namespace

void TestDevsimRestart::initTestCase()
{
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    m_addresses = labDeviceAddresses();
    QVERIFY(!m_addresses.isEmpty());
}

void TestDevsimRestart::cleanup()
{
    m_sim.stop();
    QVERIFY2(m_sim.errorString().isEmpty(), qPrintable(m_sim.errorString()));
}

QByteArray TestDevsimRestart::searchAnswer(const QString &address, int ms)
{
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return QByteArray();
    socket.writeDatagram(kSearch, QHostAddress(address), 1900);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (!socket.hasPendingDatagrams()
            && !socket.waitForReadyRead(int(qMax<qint64>(1, ms - clock.elapsed()))))
            continue;
        const QByteArray data = socket.receiveDatagram().data();
        for (const QByteArray &line : data.split('\n')) {
            if (line.startsWith(KVX_MAKER_DOMAIN ":"))
                return line.trimmed();
        }
    }
    return QByteArray();
}

QByteArray TestDevsimRestart::versionReply(const QString &address)
{
    RawClient client;
    if (!client.connectTo(address) || !client.login("admin"))
        return client.error().toLatin1();
    client.write("GET DEVICE/VER/SYSTEM\r\n");
    return client.readLine();
}

void TestDevsimRestart::restartsIntoTheImage_data()
{
    QTest::addColumn<bool>("bootFails");
    QTest::addColumn<QByteArray>("versionAfter");
    QTest::addColumn<QByteArray>("replyAfter");

    QTest::newRow("boots the image")
            << false << QByteArray("1.04") << QByteArray("OK GET DEVICE/VER/SYSTEM:V1.04B0119\r\n");
    QTest::newRow("boot fails") << true << QByteArray("1.02")
                                << QByteArray("OK GET DEVICE/VER/SYSTEM:V1.02B0100\r\n");
}

void TestDevsimRestart::restartsIntoTheImage()
{
    QFETCH(bool, bootFails);
    const QString a = m_addresses.at(0);
    QVERIFY2(m_sim.start(LabDevSim::config({ LabDevSim::unit(
                     a,
                     { { "model", "VK-3F" },
                       { "rebootSeconds", 6 },
                       { "faults", QJsonObject{ { "bootFails", bootFails } } } }) })),
             qPrintable(m_sim.errorString()));
    QCOMPARE(searchAnswer(a, 2000),
             QByteArray(KVX_MAKER_DOMAIN ":model=\"VK-3F\",version=\"1.02\",name=\"Unit%201\""));

    RawClient client;
    QVERIFY(client.connectTo(a));
    QVERIFY(client.login("admin"));
    QVERIFY2(client.transfer(image()), qPrintable(client.error()));
    // The last reply arrives whole; then the unit goes.
    QVERIFY(client.waitClosed(2000));
    QJsonObject unit = m_sim.unitResults(a);
    QCOMPARE(unit.value("endAcknowledged").toBool(), true);
    QCOMPARE(unit.value("restarting").toBool(), true);
    QCOMPARE(unit.value("restarts").toInt(), 1);
    QCOMPARE(unit.value("version").toString(), QStringLiteral("1.02"));

    // Restarting (6 s: time for these checks on a busy machine): no answer
    // to a search, every connection refused.
    QCOMPARE(searchAnswer(a, 1000), QByteArray());
    RawClient refused;
    QCOMPARE(refused.connectError(a), QAbstractSocket::ConnectionRefusedError);

    QVERIFY(labWaitUntil([&] { return !m_sim.unitResults(a).value("restarting").toBool(); }, 9000));
    QFETCH(QByteArray, versionAfter);
    QCOMPARE(searchAnswer(a, 2000),
             KVX_MAKER_DOMAIN ":model=\"VK-3F\",version=\"" + versionAfter
                     + "\",name=\"Unit%201\"");
    QTEST(versionReply(a), "replyAfter");
    unit = m_sim.unitResults(a);
    QCOMPARE(unit.value("version").toString(), QString::fromLatin1(versionAfter));
    QCOMPARE(unit.value("build").toString(), bootFails ? QStringLiteral("0100") : "0119");
    QCOMPARE(unit.value("restarts").toInt(), 1);
    QVERIFY(unit.value("violations").toArray().isEmpty());
}

void TestDevsimRestart::withoutRestartNothingChanges()
{
    const QString a = m_addresses.at(0);
    QVERIFY2(m_sim.start(LabDevSim::config({ LabDevSim::unit(a, { { "rebootSeconds", -1 } }) })),
             qPrintable(m_sim.errorString()));
    RawClient client;
    QVERIFY(client.connectTo(a));
    QVERIFY(client.login("admin"));
    QVERIFY2(client.transfer(image()), qPrintable(client.error()));
    // The connection stays, and so does the firmware.
    client.write("GET DEVICE/VER/SYSTEM\r\n");
    QCOMPARE(client.readLine(), QByteArray("OK GET DEVICE/VER/SYSTEM:V1.02B0100\r\n"));
    QVERIFY(!searchAnswer(a, 2000).isEmpty());
    const QJsonObject unit = m_sim.unitResults(a);
    QCOMPARE(unit.value("restarts").toInt(), 0);
    QCOMPARE(unit.value("restarting").toBool(), false);
}

// NG to the end command: nothing was written, nothing restarts.
void TestDevsimRestart::incompleteTransferNoRestart()
{
    const QString a = m_addresses.at(0);
    QVERIFY2(m_sim.start(LabDevSim::config(
                     { LabDevSim::unit(a, { { "faults", QJsonObject{ { "ngEnd", true } } } }) })),
             qPrintable(m_sim.errorString()));
    RawClient client;
    QVERIFY(client.connectTo(a));
    QVERIFY(client.login("admin"));
    QVERIFY(!client.transfer(image()));
    QVERIFY(!searchAnswer(a, 2000).isEmpty());
    QCOMPARE(m_sim.unitResults(a).value("restarts").toInt(), 0);
    QCOMPARE(versionReply(a), QByteArray("OK GET DEVICE/VER/SYSTEM:V1.02B0100\r\n"));
}

QTEST_GUILESS_MAIN(TestDevsimRestart)
#include "tst_devsim_restart.moc"
