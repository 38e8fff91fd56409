// kvx-devsim's TCP side against a raw client in the network lab: login, the two
// queries, whole transfers however the client cuts or bunches its bytes, and
// every way a client can get a command wrong.
#include "common/simtest.h"
#include "tools/rawclient.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTest>
#include <QThread>

class TestDevsimExchange : public SimTest
{
    Q_OBJECT

private slots:
    void loginAndQueries_data();
    void loginAndQueries();
    void wrongPasswordKeepsTheConnection();
    void wakeUpMustBeAnEmptyLine();
    void fullImage();
    void splitInput_data();
    void splitInput();
    void coalescedInput();
    void violations_data();
    void violations();
    void connectionCounts();
    void handOverIsNoOverlap();

private:
    void initSimTest() override;
    bool startUnit(const QJsonObject &settings = QJsonObject())
    {
        return startUnits({ LabDevSim::unit(address(0), settings) });
    }

    QByteArray m_image;
};

namespace {

QByteArray sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Bytes a line-based reader gets wrong: CR, LF, NUL and a whole command.
QByteArray awkwardBytes(int n, char salt = 0)
{
    const QByteArray pattern("\r\n\0SET UPDATE/SYSTEM:END\r\nOK SET\r\n\n\r", 35);
    QByteArray out;
    while (out.size() < n)
        out += pattern;
    out.truncate(n);
    out[n / 2] = salt;
    return out;
}

QByteArray block(const QByteArray &sizeField, const QByteArray &offsetField,
                 const QByteArray &payload, const QByteArray &trailer = "\r\n")
{
    return "SET UPDATE/SYSTEM:BIN SIZE:" + sizeField + " offset:" + offsetField + " bin:" + payload
            + trailer;
}

QByteArray start(const QByteArray &sizeField)
{
    return "SET UPDATE/SYSTEM:STA SIZE:" + sizeField + "\r\n";
}

const QByteArray kOk = "OK SET\r\n";
const QByteArray kNg = "NG\r\n";
const QByteArray kEnd = "SET UPDATE/SYSTEM:END\r\n";

} // namespace

void TestDevsimExchange::initSimTest()
{
    QFile image(qEnvironmentVariable("KVX_IMAGE_PATH"));
    QVERIFY2(image.open(QIODevice::ReadOnly), qPrintable(image.fileName()));
    m_image = image.readAll();
    QCOMPARE(m_image.size(), 579616);
}

void TestDevsimExchange::loginAndQueries_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("password");
    QTest::newRow("ZP-9E") << "ZP-9E"
                           << "1.02"
                           << "0100"
                           << "admin";
    QTest::newRow("RT-6C") << "RT-6C"
                           << "2.10"
                           << "0007"
                           << "p@ss word";
    QTest::newRow("VK-3F") << "VK-3F"
                           << "1.04"
                           << "0119"
                           << QString::fromUtf8("cl\xc3\xa9 d\xe2\x80\x99\xc3\xa9t\xc3\xa9");
    QTest::newRow("VK-5F") << "VK-5F"
                           << "0.9"
                           << "1"
                           << "x";
    QTest::newRow("VL-3F, empty password") << "VL-3F"
                                           << "3.00"
                                           << "0200"
                                           << "";
}

void TestDevsimExchange::loginAndQueries()
{
    QFETCH(QString, model);
    QFETCH(QString, version);
    QFETCH(QString, build);
    QFETCH(QString, password);
    QVERIFY(startUnit({ { "model", model },
                        { "version", version },
                        { "build", build },
                        { "password", password } }));

    RawClient client;
    QVERIFY2(client.connectTo(address(0)), qPrintable(client.error()));
    client.write("\r\n");
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    QCOMPARE(client.readFor(100), QByteArray()); // the prompt has no line end
    client.write(password.toUtf8() + "\r\n");
    QCOMPARE(client.readLine(), QByteArray("Login Successful\r\n"));
    client.write("GET DEVICE/NAME\r\n");
    QCOMPARE(client.readLine(), "OK GET DEVICE/NAME:\"" + model.toUtf8() + "\"\r\n");
    client.write("GET DEVICE/VER/SYSTEM\r\n");
    QCOMPARE(client.readLine(),
             "OK GET DEVICE/VER/SYSTEM:V" + version.toUtf8() + "B" + build.toUtf8() + "\r\n");

    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("loginAttempts").toInt(), 1);
    QCOMPARE(unit.value("logins").toInt(), 1);
    QCOMPARE(unit.value("connections").toInt(), 1);
    QCOMPARE(unit.value("announcedSize").toDouble(), -1.0);
    QCOMPARE(LabDevSim::violations(unit), QStringList());
}

void TestDevsimExchange::wrongPasswordKeepsTheConnection()
{
    QVERIFY(startUnit({ { "password", "right" } }));
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    client.write("\r\n");
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    client.write("wrong\r\n");
    QCOMPARE(client.readLine(), QByteArray("Password Failed\r\n"));
    // No new prompt, and the connection stays open for another try.
    QCOMPARE(client.readFor(200), QByteArray());
    QCOMPARE(client.socket().state(), QAbstractSocket::ConnectedState);
    client.write("right\r\n");
    QCOMPARE(client.readLine(), QByteArray("Login Successful\r\n"));

    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("loginAttempts").toInt(), 2);
    QCOMPARE(unit.value("logins").toInt(), 1);
    QCOMPARE(LabDevSim::violations(unit), QStringList());
}

void TestDevsimExchange::wakeUpMustBeAnEmptyLine()
{
    QVERIFY(startUnit());
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    client.write("hello\r\n");
    QCOMPARE(client.readBytes(15), QByteArray("Enter Password:"));
    QCOMPARE(LabDevSim::violations(m_sim.unitResults(address(0))),
             QStringList{ "wake-up \"hello\" is not an empty line" });
}

void TestDevsimExchange::fullImage()
{
    QVERIFY(startUnit());
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY2(client.login("admin"), qPrintable(client.error()));
    QVERIFY2(client.transfer(m_image), qPrintable(client.error()));

    const QJsonObject results = m_sim.results();
    QCOMPARE(results.value("generation").toInt(), 1);
    const QJsonObject unit = LabDevSim::findUnit(results, address(0));
    QCOMPARE(unit.value("announcedSize").toDouble(), 579616.0);
    QCOMPARE(unit.value("bytesReceived").toDouble(), 579616.0);
    QCOMPARE(unit.value("sha256").toString().toLatin1(), sha256Hex(m_image));
    QCOMPARE(unit.value("endAcknowledged").toBool(), true);
    QCOMPARE(unit.value("dataCommands").toInt(), 1133);
    QCOMPARE(unit.value("transfers").toInt(), 1);
    QCOMPARE(unit.value("ngSent").toInt(), 0);
    QCOMPARE(LabDevSim::violations(unit), QStringList());

    // The file written at the end says the same.
    const QJsonObject final = LabDevSim::findUnit(m_sim.stop(), address(0));
    QCOMPARE(final.value("sha256").toString().toLatin1(), sha256Hex(m_image));
    QCOMPARE(final.value("connections").toInt(), 1);
}

void TestDevsimExchange::splitInput_data()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("1 byte") << 1;
    QTest::newRow("2 bytes") << 2;
    QTest::newRow("13 bytes") << 13;
    QTest::newRow("511 bytes") << 511;
}

// Every command written in small pieces with pauses between them, so that the
// unit sees it in many reads.
void TestDevsimExchange::splitInput()
{
    QFETCH(int, chunk);
    QVERIFY(startUnit());
    const QByteArray image = awkwardBytes(1100, 7);
    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY(client.login("admin"));

    QByteArrayList commands{ start(QByteArray::number(image.size(), 16)) };
    for (int offset = 0; offset < image.size(); offset += 512)
        commands << RawClient::dataCommand(image, offset);
    commands << kEnd;
    for (const QByteArray &command : qAsConst(commands)) {
        for (int i = 0; i < command.size(); i += chunk) {
            client.write(command.mid(i, chunk));
            QThread::msleep(chunk < 4 ? 1 : 3);
        }
        QCOMPARE(client.readLine(), kOk);
    }
    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("sha256").toString().toLatin1(), sha256Hex(image));
    QCOMPARE(unit.value("endAcknowledged").toBool(), true);
    QCOMPARE(LabDevSim::violations(unit), QStringList());
}

// The whole session in one write: the unit must answer each command in turn.
void TestDevsimExchange::coalescedInput()
{
    QVERIFY(startUnit({ { "model", "VL-3F" }, { "version", "1.10" }, { "build", "0042" } }));
    const QByteArray image = awkwardBytes(1300, 9);
    QByteArray all = "\r\nadmin\r\nGET DEVICE/NAME\r\nGET DEVICE/VER/SYSTEM\r\n" + start("514");
    for (int offset = 0; offset < image.size(); offset += 512)
        all += RawClient::dataCommand(image, offset);
    all += kEnd;
    const QByteArray expected =
            "Enter Password:Login Successful\r\nOK GET DEVICE/NAME:\"VL-3F\"\r\n"
            "OK GET DEVICE/VER/SYSTEM:V1.10B0042\r\n"
            + kOk.repeated(1 + 3 + 1);

    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    client.write(all);
    QCOMPARE(client.readBytes(expected.size()), expected);
    const QJsonObject unit = m_sim.unitResults(address(0));
    QCOMPARE(unit.value("sha256").toString().toLatin1(), sha256Hex(image));
    QCOMPARE(unit.value("endAcknowledged").toBool(), true);
    QCOMPARE(LabDevSim::violations(unit), QStringList());
}

void TestDevsimExchange::violations_data()
{
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QStringList>("violations");

    const QByteArray a = awkwardBytes(512, 1);
    const QByteArray b = awkwardBytes(512, 2);
    const QByteArray tail = awkwardBytes(0xa0, 3);
    const auto differs = [](const QByteArray &got, const QByteArray &exact) {
        return QStringLiteral("command \"%1\" differs from \"%2\"")
                .arg(QString::fromLatin1(got), QString::fromLatin1(exact));
    };

    QTest::newRow("clean two blocks")
            << QJsonObject()
            << QByteArrayList{ start("400"), block("200", "0", a), block("200", "200", b), kEnd }
            << QByteArrayList{ kOk, kOk, kOk, kOk } << QStringList();
    QTest::newRow("size in capitals")
            << QJsonObject()
            << QByteArrayList{ start("2A0"), block("200", "0", a), block("a0", "200", tail), kEnd }
            << QByteArrayList{ kOk, kOk, kOk, kOk }
            << QStringList{ differs("SET UPDATE/SYSTEM:STA SIZE:2A0",
                                    "SET UPDATE/SYSTEM:STA SIZE:2a0") };
    QTest::newRow("block size in capitals")
            << QJsonObject()
            << QByteArrayList{ start("2a0"), block("200", "0", a), block("A0", "200", tail), kEnd }
            << QByteArrayList{ kOk, kOk, kOk, kOk }
            << QStringList{ differs("SET UPDATE/SYSTEM:BIN SIZE:A0 offset:200 bin:",
                                    "SET UPDATE/SYSTEM:BIN SIZE:a0 offset:200 bin:") };
    QTest::newRow("offset with leading zero")
            << QJsonObject() << QByteArrayList{ start("200"), block("200", "00", a), kEnd }
            << QByteArrayList{ kOk, kOk, kOk }
            << QStringList{ differs("SET UPDATE/SYSTEM:BIN SIZE:200 offset:00 bin:",
                                    "SET UPDATE/SYSTEM:BIN SIZE:200 offset:0 bin:") };
    QTest::newRow("two blanks before the key")
            << QJsonObject() << QByteArrayList{ "GET  DEVICE/NAME\r\n" }
            << QByteArrayList{ "OK GET DEVICE/NAME:\"ZP-9E\"\r\n" }
            << QStringList{ differs("GET  DEVICE/NAME", "GET DEVICE/NAME") };
    QTest::newRow("blank at the end")
            << QJsonObject() << QByteArrayList{ "SET UPDATE/SYSTEM:STA SIZE:200 \r\n" }
            << QByteArrayList{ kOk }
            << QStringList{ differs("SET UPDATE/SYSTEM:STA SIZE:200 ",
                                    "SET UPDATE/SYSTEM:STA SIZE:200") };
    QTest::newRow("LF without CR")
            << QJsonObject() << QByteArrayList{ "GET DEVICE/VER/SYSTEM\n" }
            << QByteArrayList{ "OK GET DEVICE/VER/SYSTEM:V1.02B0100\r\n" }
            << QStringList{ "line \"GET DEVICE/VER/SYSTEM\" ends in LF without CR" };
    QTest::newRow("unknown command")
            << QJsonObject() << QByteArrayList{ "GET DEVICE/NICKNAME\r\n" } << QByteArrayList{ kNg }
            << QStringList{ "unknown command \"GET DEVICE/NICKNAME\"" };
    QTest::newRow("gap in the offsets")
            << QJsonObject() << QByteArrayList{ start("400"), block("200", "200", a) }
            << QByteArrayList{ kOk, kNg }
            << QStringList{ "data command at offset 200; the next block starts at 0" };
    QTest::newRow("block above 200")
            << QJsonObject() << QByteArrayList{ start("400"), block("201", "0", a + "x") }
            << QByteArrayList{ kOk, kNg }
            << QStringList{ "data command at offset 0 carries 201 bytes; expected 200" };
    QTest::newRow("short block before the last")
            << QJsonObject() << QByteArrayList{ start("400"), block("100", "0", a.left(256)) }
            << QByteArrayList{ kOk, kNg }
            << QStringList{ "data command at offset 0 carries 100 bytes; expected 200" };
    QTest::newRow("data before start")
            << QJsonObject() << QByteArrayList{ block("200", "0", a) } << QByteArrayList{ kNg }
            << QStringList{ "data command at offset 0 before any start command" };
    QTest::newRow("end before all data")
            << QJsonObject() << QByteArrayList{ start("400"), block("200", "0", a), kEnd }
            << QByteArrayList{ kOk, kOk, kNg }
            << QStringList{ "end command after 512 of 1024 bytes" };
    QTest::newRow("end without start")
            << QJsonObject() << QByteArrayList{ kEnd } << QByteArrayList{ kNg }
            << QStringList{ "end command before any start command" };
    QTest::newRow("data without line end")
            << QJsonObject()
            << QByteArrayList{ start("200"), block("200", "0", a, QByteArray()) + kEnd }
            << QByteArrayList{ kOk, kOk + kOk }
            << QStringList{ "data command at offset 0 is followed by \"SE\" instead of CR LF" };
    QTest::newRow("NG not answered by a resend")
            << QJsonObject{ { "ngData", QJsonObject{ { "index", 0 }, { "times", 1 } } } }
            << QByteArrayList{ start("200"), block("200", "0", a), kEnd }
            << QByteArrayList{ kOk, kNg, kNg }
            << QStringList{ "the data command at offset 0 was answered NG and not sent again",
                            "end command after 0 of 512 bytes" };
    QTest::newRow("resend with other bytes")
            << QJsonObject{ { "ngData", QJsonObject{ { "index", 0 }, { "times", 1 } } } }
            << QByteArrayList{ start("200"), block("200", "0", a), block("200", "0", b), kEnd }
            << QByteArrayList{ kOk, kNg, kOk, kOk }
            << QStringList{
                   "the data command at offset 0 was sent again after NG with different bytes"
               };
    QTest::newRow("next block instead of the resend")
            << QJsonObject{ { "ngData", QJsonObject{ { "index", 0 }, { "times", 1 } } } }
            << QByteArrayList{ start("400"), block("200", "0", a), block("200", "200", b) }
            << QByteArrayList{ kOk, kNg, kNg }
            << QStringList{
                   "the data command at offset 0 was answered NG; the next one has offset 200",
                   "data command at offset 200; the next block starts at 0"
               };
}

void TestDevsimExchange::violations()
{
    QFETCH(QJsonObject, faults);
    QFETCH(QByteArrayList, writes);
    QFETCH(QByteArrayList, replies);
    QFETCH(QStringList, violations);
    QCOMPARE(writes.size(), replies.size());
    QVERIFY(startUnit({ { "faults", faults } }));

    RawClient client;
    QVERIFY(client.connectTo(address(0)));
    QVERIFY(client.login("admin"));
    for (int i = 0; i < writes.size(); ++i) {
        client.write(writes[i]);
        QCOMPARE(client.readBytes(replies[i].size()), replies[i]);
    }
    QCOMPARE(client.readFor(50), QByteArray());
    QCOMPARE(LabDevSim::violations(m_sim.unitResults(address(0))), violations);
}

// Simultaneous connections are counted per unit and over all units.
void TestDevsimExchange::connectionCounts()
{
    QVERIFY(m_sim.start(
            LabDevSim::config({ LabDevSim::unit(address(0)), LabDevSim::unit(address(1)) })));
    {
        RawClient clients[5];
        for (int i = 0; i < 5; ++i)
            QVERIFY(clients[i].connectTo(address(i < 3 ? 0 : 1)));
        for (RawClient &c : clients)
            QVERIFY(c.login("admin")); // every session is served, not just the first
        const QJsonObject open = m_sim.results();
        QCOMPARE(open.value("openConnections").toInt(), 5);
    }
    QVERIFY(labWaitUntil([this] { return m_sim.results().value("openConnections").toInt() == 0; },
                         5000));
    RawClient late;
    QVERIFY(late.connectTo(address(1)));
    QVERIFY(late.login("admin"));

    const QJsonObject results = m_sim.results();
    QCOMPARE(results.value("peakConnections").toInt(), 5);
    const QJsonObject first = LabDevSim::findUnit(results, address(0));
    const QJsonObject second = LabDevSim::findUnit(results, address(1));
    QCOMPARE(first.value("connections").toInt(), 3);
    QCOMPARE(first.value("peakConnections").toInt(), 3);
    QCOMPARE(second.value("connections").toInt(), 3);
    QCOMPARE(second.value("peakConnections").toInt(), 2);
    QCOMPARE(second.value("loginAttempts").toInt(), 3);
}

// A client that closes one connection and opens the next at once never had
// two open, even when the simulator accepts the new one before it has read the
// old one's end: the scheduler's "never more than five" is checked on this.
void TestDevsimExchange::handOverIsNoOverlap()
{
    QVERIFY(m_sim.start(
            LabDevSim::config({ LabDevSim::unit(address(0)), LabDevSim::unit(address(1)) })));
    for (int round = 0; round < 20; ++round) {
        auto *previous = new RawClient;
        QVERIFY(previous->connectTo(address(round % 2)));
        QVERIFY(previous->login("admin"));
        delete previous; // closes its end
        RawClient next;
        QVERIFY(next.connectTo(address((round + 1) % 2)));
        QVERIFY(next.login("admin"));
    }
    QCOMPARE(m_sim.results().value("peakConnections").toInt(), 1);
}

QTEST_GUILESS_MAIN(TestDevsimExchange)
#include "tst_devsim_exchange.moc"
