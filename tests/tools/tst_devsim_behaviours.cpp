// kvx-devsim's unit behaviours, the ways units in the field differ where the
// protocol leaves room, each seen from a raw client in the network lab.
#include "common/lab.h"
#include "tools/rawclient.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTest>

class TestDevsimBehaviours : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void promptOnConnect();
    void repromptAfterFailure();
    void lineEnds_data();
    void lineEnds();
    void acknowledgementWithWords();
    void slowStart();

private:
    bool startUnit(const QJsonObject &settings);
    QString address() const { return m_addresses.at(0); }

    LabDevSim m_sim;
    QStringList m_addresses;
};

namespace {

QByteArray image()
{
    QByteArray out(700, '\0');
    for (int i = 0; i < out.size(); ++i)
        out[i] = char((i * 11 + 5) % 256); // CR, LF and NUL among them
    return out;
}

QByteArray start(const QByteArray &bytes)
{
    return "SET UPDATE/SYSTEM:STA SIZE:" + QByteArray::number(bytes.size(), 16) + "\r\n";
}

} // namespace

void TestDevsimBehaviours::initTestCase()
{
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    m_addresses = labDeviceAddresses();
    QVERIFY(!m_addresses.isEmpty());
}

void TestDevsimBehaviours::cleanup()
{
    m_sim.stop();
    QVERIFY2(m_sim.errorString().isEmpty(), qPrintable(m_sim.errorString()));
}

bool TestDevsimBehaviours::startUnit(const QJsonObject &settings)
{
    const bool ok = m_sim.start(LabDevSim::config({ LabDevSim::unit(address(), settings) }));
    if (!ok)
        qWarning("%s", qPrintable(m_sim.errorString()));
    return ok;
}

// The prompt comes unasked; the wake-up is taken for an empty password.
void TestDevsimBehaviours::promptOnConnect()
{
    QVERIFY(startUnit({ { "promptOnConnect", true } }));
    RawClient client;
    QVERIFY(client.connectTo(address()));
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    client.write("\r\n");
    QCOMPARE(client.readBytes(32), QByteArray("Password Failed\r\nEnter Password:"));
    client.write("admin\r\n");
    QCOMPARE(client.readLine(), QByteArray("Login Successful\r\n"));
    client.write("GET DEVICE/NAME\r\n");
    QCOMPARE(client.readLine(), QByteArray("OK GET DEVICE/NAME:\"ZP-9E\"\r\n"));
    const QJsonObject unit = m_sim.unitResults(address());
    QCOMPARE(unit.value("loginAttempts").toInt(), 2);
    QCOMPARE(unit.value("logins").toInt(), 1);
    QCOMPARE(unit.value("violations").toArray().size(), 0);
}

void TestDevsimBehaviours::repromptAfterFailure()
{
    QVERIFY(startUnit({ { "repromptAfterFailure", true },
                        { "faults", QJsonObject{ { "wrongPassword", true } } } }));
    RawClient client;
    QVERIFY(client.connectTo(address()));
    QCOMPARE(client.readFor(100), QByteArray()); // waits for the wake-up
    client.write("\r\n");
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    for (int i = 0; i < 3; ++i) {
        client.write("admin\r\n");
        QCOMPARE(client.readBytes(32), QByteArray("Password Failed\r\nEnter Password:"));
    }
    QCOMPARE(m_sim.unitResults(address()).value("loginAttempts").toInt(), 3);
}

// Every reply line ends the configured way, the prompt never; a unit with no
// line ends sends each reply as its own segment.
void TestDevsimBehaviours::lineEnds_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QByteArray>("end");
    QTest::newRow("crlf") << "crlf" << QByteArray("\r\n");
    QTest::newRow("cr") << "cr" << QByteArray("\r");
    QTest::newRow("none") << "none" << QByteArray();
}

void TestDevsimBehaviours::lineEnds()
{
    QFETCH(QString, setting);
    QFETCH(QByteArray, end);
    QVERIFY(startUnit(
            { { "lineEnd", setting }, { "faults", QJsonObject{ { "ngQuery", true } } } }));
    RawClient client;
    QVERIFY(client.connectTo(address()));
    client.write("\r\n");
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    client.write("wrong\r\n");
    const QByteArray failed = "Password Failed" + end;
    QCOMPARE(client.readBytes(failed.size()), failed);
    client.write("admin\r\n");
    const QByteArray success = "Login Successful" + end;
    QCOMPARE(client.readBytes(success.size()), success);
    client.write("GET DEVICE/NAME\r\n");
    QCOMPARE(client.readBytes(2 + end.size()), "NG" + end);
    const QByteArray bytes = image();
    const int before = client.reads().size();
    client.write(start(bytes));
    QCOMPARE(client.readBytes(6 + end.size()), "OK SET" + end);
    client.write(RawClient::dataCommand(bytes, 0));
    QCOMPARE(client.readBytes(6 + end.size()), "OK SET" + end);
    QCOMPARE(client.reads().size(), before + 2);
    QCOMPARE(client.readFor(100), QByteArray());
}

// Start and data commands are acknowledged with their key behind the OK SET;
// the end command with the two words alone.
void TestDevsimBehaviours::acknowledgementWithWords()
{
    QVERIFY(startUnit({ { "ackWords", true } }));
    RawClient client;
    QVERIFY(client.connectTo(address()));
    QVERIFY(client.login("admin"));
    const QByteArray bytes = image();
    client.write(start(bytes));
    QCOMPARE(client.readLine(), QByteArray("OK SET UPDATE/SYSTEM:STA\r\n"));
    for (int offset = 0; offset < bytes.size(); offset += 512) {
        client.write(RawClient::dataCommand(bytes, offset));
        QCOMPARE(client.readLine(), QByteArray("OK SET UPDATE/SYSTEM:BIN\r\n"));
    }
    client.write("SET UPDATE/SYSTEM:END\r\n");
    QCOMPARE(client.readLine(), QByteArray("OK SET\r\n"));
    const QJsonObject unit = m_sim.unitResults(address());
    QCOMPARE(unit.value("endAcknowledged").toBool(), true);
    QCOMPARE(unit.value("sha256").toString().toLatin1(),
             QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// The start command is acknowledged only after the unit's erase time.
void TestDevsimBehaviours::slowStart()
{
    QVERIFY(startUnit({ { "startDelayMs", 700 } }));
    RawClient client;
    QVERIFY(client.connectTo(address()));
    QVERIFY(client.login("admin"));
    const QByteArray bytes = image();
    client.write(start(bytes));
    QCOMPARE(client.readFor(300), QByteArray());
    QCOMPARE(client.readLine(5000), QByteArray("OK SET\r\n"));
    client.write(RawClient::dataCommand(bytes, 0));
    QCOMPARE(client.readLine(), QByteArray("OK SET\r\n"));
}

QTEST_GUILESS_MAIN(TestDevsimBehaviours)
#include "tst_devsim_behaviours.moc"
