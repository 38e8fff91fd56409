// kvx-devsim's SSDP side, searched from the updater side of the network lab
// with a plain UDP socket.
#include "common/lab.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>

class TestDevsimSsdp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void everyUnitAnswersFromItsOwnAddress();
    void searchBytesAreChecked_data();
    void searchBytesAreChecked();
    void searchSentToOneUnit();
    void foreignResponses();
    void flood();
    void unitGoesSilent();
    void unitIsRenamed();
    void makerDomainFromConfiguration();

private:
    struct Answer
    {
        QString from;
        quint16 port;
        QByteArray data;
    };
    void search(const QByteArray &bytes = QByteArray(),
                const QHostAddress &to = QHostAddress(QStringLiteral("239.255.255.250")));
    QVector<Answer> collect(int ms);

    LabDevSim m_sim;
    QStringList m_addresses;
    QUdpSocket *m_socket = nullptr;
};

namespace {

const QByteArray kSearch =
        "M-SEARCH * HTTP/1.1\r\nHost:239.255.255.250:1900\r\nST:upnp:rootdevice\r\n"
        "Man:\"ssdp:discover\"\r\nMX:3\r\n\r\n";

QByteArray descriptionLine(const QByteArray &datagram)
{
    const QList<QByteArray> lines = datagram.split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(KVX_MAKER_DOMAIN ":"))
            return line.trimmed();
    }
    return QByteArray();
}

} // namespace

void TestDevsimSsdp::initTestCase()
{
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    m_addresses = labDeviceAddresses();
    QVERIFY(m_addresses.size() >= 3);
}

void TestDevsimSsdp::cleanup()
{
    delete m_socket;
    m_socket = nullptr;
    // The simulator must end cleanly on SIGTERM, having written its results.
    const bool wasRunning = m_sim.isRunning();
    const QJsonObject final = m_sim.stop();
    QVERIFY2(m_sim.errorString().isEmpty(), qPrintable(m_sim.errorString()));
    QVERIFY(!wasRunning || final.contains("units"));
}

// Sends from an ephemeral port, leaving by the lab interface, as the updater does.
void TestDevsimSsdp::search(const QByteArray &bytes, const QHostAddress &to)
{
    if (!m_socket) {
        m_socket = new QUdpSocket;
        QVERIFY(m_socket->bind(QHostAddress(QHostAddress::AnyIPv4), 0));
        m_socket->setMulticastInterface(
                QNetworkInterface::interfaceFromName(qEnvironmentVariable("KVX_LAB_UPD_IFACE")));
    }
    QCOMPARE(m_socket->writeDatagram(bytes.isNull() ? kSearch : bytes, to, 1900),
             qint64(bytes.isNull() ? kSearch.size() : bytes.size()));
}

QVector<TestDevsimSsdp::Answer> TestDevsimSsdp::collect(int ms)
{
    QVector<Answer> answers;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (!m_socket->hasPendingDatagrams()
            && !m_socket->waitForReadyRead(int(qMax<qint64>(1, ms - clock.elapsed()))))
            continue;
        while (m_socket->hasPendingDatagrams()) {
            const QNetworkDatagram d = m_socket->receiveDatagram();
            answers.append({ d.senderAddress().toString(), quint16(d.senderPort()), d.data() });
        }
    }
    return answers;
}

void TestDevsimSsdp::everyUnitAnswersFromItsOwnAddress()
{
    QVERIFY(m_sim.start(LabDevSim::config({
            LabDevSim::unit(m_addresses[0],
                            { { "model", "ZP-9E" },
                              { "nickname", "Stage Left" },
                              { "version", "1.02" },
                              { "uuid", "63041253-1019-2006-1228-aabbccddeeff" } }),
            LabDevSim::unit(m_addresses[1],
                            { { "model", "VK-3F" },
                              { "nickname", "Bar #2 / 50%" },
                              { "version", "1.04" } }),
            LabDevSim::unit(
                    m_addresses[2],
                    { { "model", "RT-6C" }, { "nickname", QString::fromUtf8("B\xc3\xbchne") } }),
    })));
    search();
    QVector<Answer> answers = collect(400);
    QCOMPARE(answers.size(), 3);
    std::sort(answers.begin(), answers.end(),
              [](const Answer &a, const Answer &b) { return a.from < b.from; });
    QCOMPARE(answers[0].from, m_addresses[0]);
    QCOMPARE(answers[1].from, m_addresses[1]);
    QCOMPARE(answers[2].from, m_addresses[2]);
    QCOMPARE(answers[0].port, quint16(1900));
    QCOMPARE(answers[0].data,
             "HTTP/1.1 200 OK\r\n"
             "CACHE-CONTROL: max-age=1800\r\n"
             "EXT:\r\n"
             "LOCATION: http://"
                     + m_addresses[0].toLatin1()
                     + ":52881/simplecfg.xml\r\n"
                       "SERVER: VORANT Realtek/V1.3\r\n"
                       "ST: upnp:rootdevice\r\n"
                       "USN: "
                       "uuid:63041253-1019-2006-1228-aabbccddeeff::upnp:"
                       "rootdevice\r\n" KVX_MAKER_DOMAIN
                       ":model=\"ZP-9E\",version=\"1.02\",name=\"Stage%20Left\"\r\n"
                       "\r\n");
    QCOMPARE(descriptionLine(answers[1].data),
             QByteArray(KVX_MAKER_DOMAIN
                        ":model=\"VK-3F\",version=\"1.04\",name=\"Bar%20%232%20%2F%"
                        "2050%25\""));
    QCOMPARE(descriptionLine(answers[2].data),
             QByteArray(KVX_MAKER_DOMAIN ":model=\"RT-6C\",version=\"1.02\",name=\"B%C3%BChne\""));
    QVERIFY(answers[2].data.contains("\r\nUSN: uuid:63041253-1019-2006-1228-"));

    const QJsonObject results = m_sim.results();
    QCOMPARE(results.value("msearchReceived").toInt(), 1);
    QCOMPARE(results.value("msearchViolations").toArray().size(), 0);
    QCOMPARE(LabDevSim::findUnit(results, m_addresses[1]).value("searchesAnswered").toInt(), 1);
}

void TestDevsimSsdp::searchBytesAreChecked_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("answered");

    QByteArray blank = kSearch;
    blank.replace("Host:", "Host: ");
    QByteArray quoted = kSearch;
    quoted.replace("\"ssdp:discover\"", "ssdp:discover");
    QTest::newRow("exact request") << kSearch << true;
    QTest::newRow("without the empty last line") << kSearch.left(95) << true;
    QTest::newRow("blank after a colon") << blank << true;
    QTest::newRow("without quotes") << quoted << true;
    QTest::newRow("LF line ends") << QByteArray(kSearch).replace("\r\n", "\n") << true;
    QTest::newRow("MX:1") << QByteArray(kSearch).replace("MX:3", "MX:1") << true;
    QTest::newRow("trailing NUL") << kSearch + QByteArray(1, '\0') << true;
    QTest::newRow("not a search") << QByteArray("NOTIFY * HTTP/1.1\r\n\r\n") << false;
}

void TestDevsimSsdp::searchBytesAreChecked()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, answered);
    QVERIFY(m_sim.start(LabDevSim::config({ LabDevSim::unit(m_addresses[0]) })));
    search(request);
    QCOMPARE(collect(300).size(), answered ? 1 : 0);

    // On a busy machine a datagram of the previous row has once been seen to
    // reach this row's fresh simulator; judge this row's datagram only.
    const QJsonObject results = m_sim.results();
    QVERIFY(results.value("msearchReceived").toInt() >= 1);
    const QJsonArray violations = results.value("msearchViolations").toArray();
    const QString prefix =
            QStringLiteral("%1 bytes from %2:").arg(request.size()).arg(labUpdaterAddress());
    QStringList texts;
    for (const QJsonValue &violation : violations)
        texts << violation.toString();
    if (request == kSearch)
        QCOMPARE(texts, QStringList());
    else
        QVERIFY2(std::any_of(texts.cbegin(), texts.cend(),
                             [&](const QString &t) { return t.startsWith(prefix); }),
                 qPrintable(texts.join(QLatin1Char('\n'))));
}

void TestDevsimSsdp::searchSentToOneUnit()
{
    QVERIFY(m_sim.start(LabDevSim::config(
            { LabDevSim::unit(m_addresses[0]), LabDevSim::unit(m_addresses[1]) })));
    search(QByteArray(), QHostAddress(m_addresses[1]));
    const QVector<Answer> answers = collect(300);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers[0].from, m_addresses[1]);
}

// Other devices answer too; nothing they send may look like a unit of the family.
void TestDevsimSsdp::foreignResponses()
{
    QVERIFY(m_sim.start(
            LabDevSim::config({ LabDevSim::unit(m_addresses[0]), LabDevSim::unit(m_addresses[1]) },
                              { { "foreign", true } })));
    for (int round = 0; round < 2; ++round) {
        search();
        const QVector<Answer> answers = collect(300);
        QCOMPARE(answers.size(), 2 + 3);
        int fromFirst = 0;
        int units = 0;
        for (const Answer &a : answers) {
            fromFirst += a.from == m_addresses[0];
            const QByteArray line = descriptionLine(a.data);
            if (line.startsWith(KVX_MAKER_DOMAIN ":model=\"")
                && !line.startsWith(KVX_MAKER_DOMAIN ":model=\"zp"))
                ++units;
            else
                QVERIFY2(!a.data.contains("\r\nSERVER: VORANT "), a.data.constData());
        }
        QCOMPARE(fromFirst, 1 + 3);
        QCOMPARE(units, 2);
    }
    QCOMPARE(m_sim.results().value("foreignSent").toInt(), 6);
}

void TestDevsimSsdp::flood()
{
    QVERIFY(m_sim.start(
            LabDevSim::config({ LabDevSim::unit(m_addresses[0]) }, { { "flood", 2000 } })));
    search();
    const QVector<Answer> answers = collect(1000);
    int foreign = 0;
    int units = 0;
    for (const Answer &a : answers) {
        if (descriptionLine(a.data).startsWith(KVX_MAKER_DOMAIN ":model=\"ZP-9E\""))
            ++units;
        else
            ++foreign;
    }
    QCOMPARE(units, 1);
    // A generous floor: the rate is 2000 a second, the machine may be busy.
    QVERIFY2(foreign >= 200, qPrintable(QString::number(foreign)));
    const int sent = m_sim.results().value("floodSent").toInt();
    QVERIFY2(sent >= foreign, qPrintable(QString::number(sent)));
}

void TestDevsimSsdp::unitGoesSilent()
{
    QVERIFY(m_sim.start(
            LabDevSim::config({ LabDevSim::unit(m_addresses[0], { { "silentAfterSeconds", 2.0 } }),
                                LabDevSim::unit(m_addresses[1]) })));
    search();
    QCOMPARE(collect(300).size(), 2);
    QTest::qWait(1900); // past the two seconds, with room for a slow start
    search();
    const QVector<Answer> later = collect(300);
    QCOMPARE(later.size(), 1);
    QCOMPARE(later[0].from, m_addresses[1]);
}

void TestDevsimSsdp::unitIsRenamed()
{
    QVERIFY(m_sim.start(
            LabDevSim::config({ LabDevSim::unit(m_addresses[0],
                                                { { "nickname", "Stage Left" },
                                                  { "renameAfterSeconds", 2.0 },
                                                  { "newNickname", "Stage Right" } }) })));
    search();
    QVector<Answer> answers = collect(300);
    QCOMPARE(answers.size(), 1);
    QVERIFY(descriptionLine(answers[0].data).endsWith("name=\"Stage%20Left\""));
    QTest::qWait(1900); // past the two seconds, with room for a slow start
    search();
    answers = collect(300);
    QCOMPARE(answers.size(), 1);
    QVERIFY(descriptionLine(answers[0].data).endsWith("name=\"Stage%20Right\""));
}

// A release build's units answer with the maker's real domain; the simulator
// takes it from its configuration (or --maker-domain).
void TestDevsimSsdp::makerDomainFromConfiguration()
{
    QVERIFY(m_sim.start(LabDevSim::config({ LabDevSim::unit(m_addresses[0]) },
                                          { { "makerDomain", "maker.example" } })));
    search();
    const QVector<Answer> answers = collect(300);
    QCOMPARE(answers.size(), 1);
    QVERIFY2(answers[0].data.contains("\r\nmaker.example:model=\"ZP-9E\",version=\"1.02\","),
             answers[0].data.constData());
    QCOMPARE(descriptionLine(answers[0].data), QByteArray());
}

QTEST_GUILESS_MAIN(TestDevsimSsdp)
#include "tst_devsim_ssdp.moc"
