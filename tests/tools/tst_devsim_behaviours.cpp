// kvx-devsim's unit behaviours, the ways units in the field differ where the
// protocol leaves room, each played through by a raw client in the lab.
#include "common/lab.h"
#include "tools/rawclient.h"

#include <QTest>

class TestDevsimBehaviours : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exchange_data();
    void exchange();
};

void TestDevsimBehaviours::initTestCase()
{
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    QVERIFY(!labDeviceAddresses().isEmpty());
}

// A script of what the client writes ("> ") and the exact bytes the unit
// answers ("< "); "= " waits that many ms and expects nothing; "|" checks that
// each answer since the last "|" came in a TCP segment of its own. Then the
// unit's count of passwords judged and of logins.
void TestDevsimBehaviours::exchange_data()
{
    QTest::addColumn<QJsonObject>("settings");
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("logins");
    const QByteArray start = "> SET UPDATE/SYSTEM:STA SIZE:2\r\n";
    const QByteArray data = "> SET UPDATE/SYSTEM:BIN SIZE:2 offset:0 bin:\r\n\r\n";
    const QByteArray end = "> SET UPDATE/SYSTEM:END\r\n";
    QTest::newRow("prompt on connect")
            << QJsonObject{ { "promptOnConnect", true } }
            << QByteArrayList{ "< Enter Password:", "> \r\n",
                               "< Password Failed\r\nEnter Password:", "> admin\r\n",
                               "< Login Successful\r\n" }
            << 2 << 1;
    QTest::newRow("prompt again after a failure")
            << QJsonObject{ { "repromptAfterFailure", true } }
            << QByteArrayList{ "= 100",
                               "> \r\n",
                               "< Enter Password:",
                               "> x\r\n",
                               "< Password Failed\r\nEnter Password:",
                               "> admin\r\n",
                               "< Login Successful\r\n" }
            << 2 << 1;
    QTest::newRow("prompt after every failure")
            << QJsonObject{ { "repromptAfterFailure", true },
                            { "faults", QJsonObject{ { "wrongPassword", true } } } }
            << QByteArrayList{ "> \r\n",      "< Enter Password:",
                               "> admin\r\n", "< Password Failed\r\nEnter Password:",
                               "> admin\r\n", "< Password Failed\r\nEnter Password:",
                               "> admin\r\n", "< Password Failed\r\nEnter Password:" }
            << 3 << 0;
    for (const char *lineEnd : { "crlf", "cr", "none" }) {
        const QByteArray e = qstrcmp(lineEnd, "crlf") == 0 ? "\r\n"
                : qstrcmp(lineEnd, "cr") == 0              ? "\r"
                                                           : "";
        QTest::newRow(lineEnd) << QJsonObject{ { "lineEnd", lineEnd },
                                               { "faults", QJsonObject{ { "ngQuery", true } } } }
                               << QByteArrayList{ "> \r\n",
                                                  "< Enter Password:",
                                                  "> x\r\n",
                                                  "< Password Failed" + e,
                                                  "> admin\r\n",
                                                  "< Login Successful" + e,
                                                  "> GET DEVICE/NAME\r\n",
                                                  "< NG" + e,
                                                  "|",
                                                  start,
                                                  "< OK SET" + e,
                                                  data,
                                                  "< OK SET" + e,
                                                  "|" }
                               << 2 << 1;
    }
    QTest::newRow("acknowledgement with words")
            << QJsonObject{ { "ackWords", true } }
            << QByteArrayList{ "> \r\n",      "< Enter Password:",
                               "> admin\r\n", "< Login Successful\r\n",
                               start,         "< OK SET UPDATE/SYSTEM:STA\r\n",
                               data,          "< OK SET UPDATE/SYSTEM:BIN\r\n",
                               end,           "< OK SET\r\n" }
            << 1 << 1;
    QTest::newRow("slow verdict") << QJsonObject{ { "promptOnConnect", true },
                                                  { "verdictDelayMs", 700 } }
                                  << QByteArrayList{ "< Enter Password:",
                                                     "> \r\n",
                                                     "> admin\r\n",
                                                     "= 300",
                                                     "< Password Failed\r\n",
                                                     "< Enter Password:",
                                                     "= 300",
                                                     "< Login Successful\r\n" }
                                  << 2 << 1;
    // The password that crossed the refusal of the wake-up is flushed with
    // it; the unit waits at its new prompt and takes the next one.
    QTest::newRow("drops its input after a failure")
            << QJsonObject{ { "promptOnConnect", true },
                            { "dropInputOnFailure", true },
                            { "verdictDelayMs", 400 } }
            << QByteArrayList{ "< Enter Password:",     "> \r\n",
                               "> admin\r\n",           "< Password Failed\r\n",
                               "< Enter Password:",     "= 700",
                               "> admin\r\n",           "= 200",
                               "< Login Successful\r\n" }
            << 2 << 1;
    QTest::newRow("slow start") << QJsonObject{ { "startDelayMs", 700 } }
                                << QByteArrayList{ "> \r\n",      "< Enter Password:",
                                                   "> admin\r\n", "< Login Successful\r\n",
                                                   start,         "= 300",
                                                   "< OK SET\r\n" }
                                << 1 << 1;
}

void TestDevsimBehaviours::exchange()
{
    QFETCH(QJsonObject, settings);
    QFETCH(QByteArrayList, script);
    QFETCH(int, attempts);
    QFETCH(int, logins);
    const QString address = labDeviceAddresses().first();
    LabDevSim sim;
    QVERIFY2(sim.start(LabDevSim::config({ LabDevSim::unit(address, settings) })),
             qPrintable(sim.errorString()));
    RawClient client;
    QVERIFY(client.connectTo(address));
    int segmentsBefore = 0;
    QVector<int> answers; // sizes of the answers since the last "|"
    for (const QByteArray &step : script) {
        const QByteArray bytes = step.mid(2);
        if (step.startsWith("> ")) {
            client.write(bytes);
        } else if (step.startsWith("= ")) {
            QCOMPARE(client.readFor(bytes.toInt()), QByteArray());
        } else if (step == "|") {
            QCOMPARE(client.reads().mid(segmentsBefore), answers);
            segmentsBefore = client.reads().size();
            answers.clear();
        } else {
            QCOMPARE(client.readBytes(bytes.size()), bytes);
            answers << bytes.size();
        }
    }
    QCOMPARE(client.readFor(100), QByteArray());
    const QJsonObject unit = sim.unitResults(address);
    QCOMPARE(unit.value("violations").toArray(), QJsonArray());
    QCOMPARE(unit.value("loginAttempts").toInt(), attempts);
    QCOMPARE(unit.value("logins").toInt(), logins);
    sim.stop();
    QVERIFY2(sim.errorString().isEmpty(), qPrintable(sim.errorString()));
}

QTEST_GUILESS_MAIN(TestDevsimBehaviours)
#include "tst_devsim_behaviours.moc"
