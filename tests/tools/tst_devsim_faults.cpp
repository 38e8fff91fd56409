// kvx-devsim's configured faults, each seen from a raw client in the network lab.
#include "common/simtest.h"
#include "tools/rawclient.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTest>

class TestDevsimFaults : public SimTest
{
    Q_OBJECT

private slots:
    void replyFaults_data();
    void replyFaults();
    void wrongPassword();
    void faultsSpareLaterConnections();
    void closeAtOffset_data();
    void closeAtOffset();
    void silentAfterLogin();
    void silentAtOffset();
    void refuse();
    void splitReplies();
    void coalescedNotifyComesInOneSegment();
    void slowFinalAcknowledgement_data();
    void slowFinalAcknowledgement();

private:
    // The unit under test, and a healthy one beside it.
    bool startUnit(const QJsonObject &settings)
    {
        return startUnits({ LabDevSim::unit(address(0), settings), LabDevSim::unit(address(1)) });
    }
};

namespace {

QByteArray pattern(int n, char seed)
{
    QByteArray out(n, '\0');
    for (int i = 0; i < n; ++i)
        out[i] = char((i * 7 + seed) % 256); // CR, LF and NUL among them
    return out;
}

const QByteArray kOk = "OK SET\r\n";
const QByteArray kNg = "NG\r\n";
const QByteArray kEnd = "SET UPDATE/SYSTEM:END\r\n";
const QByteArray kImage = pattern(1024, 3);

QByteArray start(const QByteArray &image)
{
    return "SET UPDATE/SYSTEM:STA SIZE:" + QByteArray::number(image.size(), 16) + "\r\n";
}

QByteArray notify(int percent)
{
    return kOk + "NOTIFY UPDATE/SYSTEM:PROGRESS:" + QByteArray::number(percent) + "\r\n";
}

} // namespace

void TestDevsimFaults::replyFaults_data()
{
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<int>("ngSent");
    QTest::addColumn<int>("resends");
    QTest::addColumn<bool>("endAcknowledged");

    const QByteArray b0 = RawClient::dataCommand(kImage, 0);
    const QByteArray b1 = RawClient::dataCommand(kImage, 512);
    QTest::newRow("NG to the start command")
            << QJsonObject{ { "ngStart", true } } << QByteArrayList{ start(kImage) }
            << QByteArrayList{ kNg } << 1 << 0 << false;
    QTest::newRow("NG to the queries")
            << QJsonObject{ { "ngQuery", true } }
            << QByteArrayList{ "GET DEVICE/NAME\r\n", "GET DEVICE/VER/SYSTEM\r\n" }
            << QByteArrayList{ kNg, kNg } << 2 << 0 << false;
    QTest::newRow("NG to the end command")
            << QJsonObject{ { "ngEnd", true } } << QByteArrayList{ start(kImage), b0, b1, kEnd }
            << QByteArrayList{ kOk, kOk, kOk, kNg } << 1 << 0 << false;
    QTest::newRow("NG twice to the second block")
            << QJsonObject{ { "ngData", QJsonObject{ { "index", 1 }, { "times", 2 } } } }
            << QByteArrayList{ start(kImage), b0, b1, b1, b1, kEnd }
            << QByteArrayList{ kOk, kOk, kNg, kNg, kOk, kOk } << 2 << 2 << true;
    QTest::newRow("NG once to the first block")
            << QJsonObject{ { "ngData", QJsonObject{ { "index", 0 }, { "times", 1 } } } }
            << QByteArrayList{ start(kImage), b0, b0, b1, kEnd }
            << QByteArrayList{ kOk, kNg, kOk, kOk, kOk } << 1 << 1 << true;
    QTest::newRow("NOTIFY behind every OK SET")
            << QJsonObject{ { "coalesceNotify", true } }
            << QByteArrayList{ start(kImage), b0, b1, kEnd }
            << QByteArrayList{ notify(0), notify(50), notify(100), notify(100) } << 0 << 0 << true;
    QTest::newRow("no NOTIFY behind a query")
            << QJsonObject{ { "coalesceNotify", true } } << QByteArrayList{ "GET DEVICE/NAME\r\n" }
            << QByteArrayList{ "OK GET DEVICE/NAME:\"ZP-9E\"\r\n" } << 0 << 0 << false;
}

void TestDevsimFaults::replyFaults()
{
    QFETCH(QJsonObject, faults);
    QFETCH(QByteArrayList, writes);
    QFETCH(QByteArrayList, replies);
    QFETCH(int, ngSent);
    QFETCH(int, resends);
    QFETCH(bool, endAcknowledged);
    QVERIFY(startUnit({ { "faults", faults } }));

    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY2(client.login("admin"), qPrintable(client.error()));
    for (int i = 0; i < writes.size(); ++i) {
        client.write(writes[i]);
        QCOMPARE(client.readBytes(replies[i].size()), replies[i]);
    }
    QCOMPARE(client.readFor(50), QByteArray());

    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("ngSent").toInt(), ngSent);
    QCOMPARE(unit.value("resends").toInt(), resends);
    QCOMPARE(unit.value("endAcknowledged").toBool(), endAcknowledged);
    if (endAcknowledged) {
        QCOMPARE(unit.value("sha256").toString().toLatin1(),
                 QCryptographicHash::hash(kImage, QCryptographicHash::Sha256).toHex());
    }
    QCOMPARE(LabDevSim::violations(unit), QStringList());
}

void TestDevsimFaults::wrongPassword()
{
    QVERIFY(startUnit(
            { { "password", "admin" }, { "faults", QJsonObject{ { "wrongPassword", true } } } }));
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    client.write("\r\n");
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    for (int i = 0; i < 2; ++i) {
        client.write("admin\r\n");
        QCOMPARE(client.readLine(), QByteArray("Password Failed\r\n"));
    }
    QCOMPARE(client.readFor(100), QByteArray());
    QCOMPARE(client.socket().state(), QAbstractSocket::ConnectedState);
    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("loginAttempts").toInt(), 2);
    QCOMPARE(unit.value("logins").toInt(), 0);
}

void TestDevsimFaults::faultsSpareLaterConnections()
{
    QVERIFY(startUnit(
            { { "faults", QJsonObject{ { "wrongPassword", true }, { "faultConnections", 1 } } } }));
    RawClient first;
    QVERIFY(first.connectTo(address(0)));
    QVERIFY(!first.login("admin"));
    QCOMPARE(first.error(), QString("login: Password Failed\r\n"));
    RawClient second;
    QVERIFY(second.connectTo(address(0)));
    QVERIFY2(second.login("admin"), qPrintable(second.error()));
}

void TestDevsimFaults::closeAtOffset_data()
{
    QTest::addColumn<int>("closeAt");
    QTest::addColumn<int>("blocksTaken");
    QTest::newRow("first block") << 0 << 0;
    QTest::newRow("third block, on its boundary") << 0x400 << 2;
    QTest::newRow("inside the third block") << 0x500 << 2;
    QTest::newRow("last byte") << 2047 << 3;
}

void TestDevsimFaults::closeAtOffset()
{
    QFETCH(int, closeAt);
    QFETCH(int, blocksTaken);
    QVERIFY(startUnit({ { "faults", QJsonObject{ { "closeAtOffset", closeAt } } } }));
    const QByteArray image = pattern(2048, 5);
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY(client.login("admin"));
    client.write(start(image));
    QCOMPARE(client.readLine(), kOk);
    for (int i = 0; i < blocksTaken; ++i) {
        client.write(RawClient::dataCommand(image, i * 512));
        QCOMPARE(client.readLine(), kOk);
    }
    client.write(RawClient::dataCommand(image, blocksTaken * 512));
    QVERIFY(client.waitClosed());
    QCOMPARE(client.readFor(0), QByteArray()); // closed without an answer
    QCOMPARE(client.socket().error(), QAbstractSocket::RemoteHostClosedError);

    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("bytesReceived").toInt(), blocksTaken * 512);
    QCOMPARE(unit.value("endAcknowledged").toBool(), false);
    QCOMPARE(LabDevSim::violations(unit), QStringList());
}

void TestDevsimFaults::silentAfterLogin()
{
    QVERIFY(startUnit({ { "faults", QJsonObject{ { "silentAfterLogin", true } } } }));
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY(client.login("admin"));
    client.write("GET DEVICE/NAME\r\n");
    // The unit keeps reading, so even a whole image does not stall the writer.
    client.write(start(kImage) + QByteArray(600000, 'x'));
    QVERIFY(client.socket().waitForBytesWritten(5000) || client.socket().bytesToWrite() == 0);
    QCOMPARE(client.readFor(300), QByteArray());
    QCOMPARE(client.socket().state(), QAbstractSocket::ConnectedState);
    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("logins").toInt(), 1);
    QCOMPARE(unit.value("announcedSize").toInt(), -1);
}

void TestDevsimFaults::silentAtOffset()
{
    QVERIFY(startUnit({ { "faults", QJsonObject{ { "silentAtOffset", 0x200 } } } }));
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY(client.login("admin"));
    client.write(start(kImage));
    QCOMPARE(client.readLine(), kOk);
    client.write(RawClient::dataCommand(kImage, 0));
    QCOMPARE(client.readLine(), kOk);
    client.write(RawClient::dataCommand(kImage, 512));
    QCOMPARE(client.readFor(300), QByteArray());
    client.write("GET DEVICE/NAME\r\n");
    QCOMPARE(client.readFor(100), QByteArray());
    QCOMPARE(client.socket().state(), QAbstractSocket::ConnectedState);
    QCOMPARE(m_sim.unitResults(address(0)).value("bytesReceived").toInt(), 512);
}

void TestDevsimFaults::refuse()
{
    QVERIFY(startUnit({ { "faults", QJsonObject{ { "refuse", true } } } }));
    RawClient refused;
    QCOMPARE(refused.connectError(address(0)), QAbstractSocket::ConnectionRefusedError);
    RawClient other; // the unit beside it is unaffected
    QVERIFY(other.connectTo(address(1)));
    QVERIFY(other.login("admin"));
    QCOMPARE(m_sim.unitResults(address(0)).value("connections").toInt(), 0);
}

// Each reply comes in several pieces with pauses between them; put together
// they are the same bytes.
void TestDevsimFaults::splitReplies()
{
    QVERIFY(startUnit(
            { { "faults", QJsonObject{ { "splitReplies", 4 }, { "splitPauseMs", 80 } } } }));
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    client.write("\r\n");
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    const int promptReads = client.reads().size();
    QVERIFY2(promptReads >= 2, qPrintable(QString::number(promptReads)));
    client.write("admin\r\n");
    QCOMPARE(client.readLine(), QByteArray("Login Successful\r\n"));
    client.write("GET DEVICE/VER/SYSTEM\r\n");
    QCOMPARE(client.readLine(), QByteArray("OK GET DEVICE/VER/SYSTEM:V1.02B0100\r\n"));
    QVERIFY(client.reads().size() >= promptReads + 4);
    QVERIFY2(client.transfer(kImage), qPrintable(client.error()));
    QCOMPARE(m_sim.unitResults(address(0)).value("endAcknowledged").toBool(), true);
}

void TestDevsimFaults::coalescedNotifyComesInOneSegment()
{
    QVERIFY(startUnit({ { "faults", QJsonObject{ { "coalesceNotify", true } } } }));
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY(client.login("admin"));
    const int before = client.reads().size();
    client.write(start(kImage));
    QCOMPARE(client.readBytes(notify(0).size()), notify(0));
    QCOMPARE(client.reads().mid(before), QVector<int>{ notify(0).size() });
}

void TestDevsimFaults::slowFinalAcknowledgement_data()
{
    QTest::addColumn<QJsonObject>("settings");
    QTest::newRow("slow final acknowledgement")
            << QJsonObject{ { "faults", QJsonObject{ { "slowFinalAckMs", 700 } } } };
    QTest::newRow("write delay") << QJsonObject{ { "writeDelayMs", 700 } };
    QTest::newRow("both, split") << QJsonObject{
        { "writeDelayMs", 400 },
        { "faults", QJsonObject{ { "slowFinalAckMs", 300 }, { "splitReplies", 2 } } }
    };
}

void TestDevsimFaults::slowFinalAcknowledgement()
{
    QFETCH(QJsonObject, settings);
    QVERIFY(startUnit(settings));
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY(client.login("admin"));
    client.write(start(kImage));
    QCOMPARE(client.readLine(), kOk);
    for (int offset = 0; offset < kImage.size(); offset += 512) {
        client.write(RawClient::dataCommand(kImage, offset));
        QCOMPARE(client.readLine(), kOk);
    }
    client.write(kEnd);
    client.write("GET DEVICE/NAME\r\n"); // answered only after the delayed reply
    QCOMPARE(client.readFor(250), QByteArray());
    QCOMPARE(m_sim.unitResults(address(0)).value("endAcknowledged").toBool(), false);
    QCOMPARE(client.readLine(5000), kOk);
    QCOMPARE(client.readLine(), QByteArray("OK GET DEVICE/NAME:\"ZP-9E\"\r\n"));
    QCOMPARE(m_sim.unitResults(address(0)).value("endAcknowledged").toBool(), true);
}

QTEST_GUILESS_MAIN(TestDevsimFaults)
#include "tst_devsim_faults.moc"
