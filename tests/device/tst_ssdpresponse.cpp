#include "device/ssdpresponse.h"
#include "device/udpmachinenode.h"
#include "discovery/ssdpsearch.h"

#include <QRandomGenerator>
#include <QTest>

// The SSDP socket takes datagrams from anyone on the network: every row here
// is either a unit of the brand or something the parse must turn away cleanly.
class TestSsdpResponse : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void recordTakesTheParse_data() { parse_data(); }
    void recordTakesTheParse();
    void tokens_data();
    void tokens();
    void decodeName_data();
    void decodeName();
};

static const QHostAddress kSender(QStringLiteral("10.77.0.20"));
static const QString kUuid = QStringLiteral("63041253-1019-2006-1228-aabbccddeeff");

// A response whose content lines are given; the status line and the closing
// empty line are added, all with CR LF.
static QByteArray response(const QList<QByteArray> &lines)
{
    QByteArray out("HTTP/1.1 200 OK\r\n");
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out + "\r\n";
}

static QByteArray garbage(int size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (char &c : out) {
        c = char(rng.bounded(256));
        if (c == 0) // a NUL would end the text early and hide the rest
            c = 'x';
    }
    return out;
}

void TestSsdpResponse::parse_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("parsed"); // address taken from the sender
    QTest::addColumn<QString>("modelname");
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("uuid");

    const QByteArray usn("USN: uuid:" + kUuid.toLatin1() + "::upnp:rootdevice");
    const QByteArray desc(KVX_MAKER_DOMAIN ":device:model=ZP-9E,version=1.02,name=Studio%20A");
    auto row = [](const char *name, const QByteArray &d, bool accepted, bool parsed,
                  const char *model, const char *nick, const char *version, const QString &uuid) {
        QTest::newRow(name) << d << accepted << parsed << QString::fromUtf8(model)
                            << QString::fromUtf8(nick) << QString::fromUtf8(version) << uuid;
    };

    // Description line.
    row("description line", response({ usn, desc }), true, true, "ZP-9E", "Studio A", "1.02",
        kUuid);
    for (const char *model : { "RT-6C", "VK-3F", "VK-5F", "VL-3F", "ZP-9E" })
        row(model, response({ KVX_MAKER_DOMAIN ":model=" + QByteArray(model) }), true, true, model,
            "", "", "");
    row("model with suffix", response({ KVX_MAKER_DOMAIN ":model=ZP-9E-MkII" }), true, true,
        "ZP-9E-MkII", "", "", "");
    row("domain as prefix", response({ KVX_MAKER_DOMAIN ".kvx:model=VK-3F" }), true, true, "VK-3F",
        "", "", "");
    row("model in lower case, SERVER not consulted",
        response({ KVX_MAKER_DOMAIN ":model=zp-9e", "Server: VORANT" }), false, true, "zp-9e", "",
        "", "");
    row("no model, SERVER not consulted",
        response({ KVX_MAKER_DOMAIN ":version=1.0,name=Desk", "Server: VORANT" }), false, true, "",
        "Desk", "1.0", "");
    row("unknown model", response({ KVX_MAKER_DOMAIN ":model=ZP-8E" }), false, true, "ZP-8E", "",
        "", "");
    row("domain in other case", response({ "Vorant.Example:model=ZP-9E" }), false, true, "", "", "",
        "");
    row("quoted values", response({ KVX_MAKER_DOMAIN ":model=\"ZP-9E\",version=\"1.0 beta\"" }),
        true, true, "ZP-9E", "", "1.0 beta", "");
    row("blank between equals and quote", response({ KVX_MAKER_DOMAIN ":model= \"ZP-9E\"" }), false,
        true, "", "", "", "");
    row("name with query", response({ KVX_MAKER_DOMAIN ":model=RT-6C,name=Desk?x" }), true, true,
        "RT-6C", "Desk", "", "");
    row("name with fragment", response({ KVX_MAKER_DOMAIN ":model=RT-6C,name=Desk#2" }), true, true,
        "RT-6C", "Desk", "", "");
    row("name percent-encoded UTF-8", response({ KVX_MAKER_DOMAIN ":model=RT-6C,name=Caf%C3%A9" }),
        true, true, "RT-6C", "Café", "", "");
    row("name with invalid UTF-8", response({ KVX_MAKER_DOMAIN ":model=RT-6C,name=Caf\xe9" }), true,
        true, "RT-6C", "Caf\xef\xbf\xbd", "", "");
    row("description line ending in model",
        response({ KVX_MAKER_DOMAIN ":model=VL-3F", KVX_MAKER_DOMAIN ":version=2.0,model" }), true,
        true, "VL-3F", "", "2.0", "");
    row("later description line wins",
        response(
                { KVX_MAKER_DOMAIN ":model=VL-3F,name=A", KVX_MAKER_DOMAIN ":model=VK-5F,name=B" }),
        true, true, "VK-5F", "B", "", "");
    row("thousands of separators in a description line",
        response({ KVX_MAKER_DOMAIN + QByteArray(3000, ':') + "model" + QByteArray(3000, ',')
                   + "ZP-9E" }),
        true, true, "ZP-9E", "", "", "");

    // UUID in the token pass: first "uuid" of a line, case-sensitive, not last.
    const QByteArray ok(KVX_MAKER_DOMAIN ":model=ZP-9E");
    row("uuid: first of a line", response({ "X: uuid:a:uuid:b", ok }), true, true, "ZP-9E", "", "",
        "a");
    row("uuid: later line wins", response({ "X: uuid:a", "Y: uuid:b", ok }), true, true, "ZP-9E",
        "", "", "b");
    row("uuid: last token ignored", response({ "X: uuid", ok }), true, true, "ZP-9E", "", "", "");
    row("uuid: blank token", response({ "X: uuid, ,abc", ok }), true, true, "ZP-9E", "", "", "");
    row("uuid: upper case is no uuid token", response({ "USN: UUID:abc::x", ok }), true, true,
        "ZP-9E", "", "", "");

    // Header pass.
    row("test response", SsdpSearch::testResponse(), true, true, "", "", "", kUuid);
    row("SERVER upper case", response({ "SERVER: VORANT" }), true, true, "", "", "", "");
    row("server mixed case", response({ "sErVeR:vOrAnT x/1" }), true, true, "", "", "", "");
    row("SERVER tab before brand", response({ "Server:\tVORANT" }), true, true, "", "", "", "");
    row("SERVER blank before colon", response({ "Server : VORANT" }), true, true, "", "", "", "");
    row("SERVER key/value words ignored",
        response({ "Server: VORANT model/ZP-9E version/1.0 nickname/Desk port/54726" }), true, true,
        "", "", "", "");
    row("SERVER brand with version", response({ "Server: VORANT/1.0 UPnP/1.0" }), false, true, "",
        "", "", "");
    row("SERVER brand as prefix", response({ "Server: VORANTX" }), false, true, "", "", "", "");
    row("SERVER brand second", response({ "Server: Linux VORANT" }), false, true, "", "", "", "");
    row("SERVER without value", response({ "Server:" }), false, true, "", "", "", "");
    row("SERVER with blank value", response({ "Server:   " }), false, true, "", "", "", "");
    row("SERVER without colon", response({ "Server VORANT" }), false, true, "", "", "", "");
    row("other header", response({ "X-Server: VORANT" }), false, true, "", "", "", "");
    row("USN without ::", response({ "Server: VORANT", "USN: uuid:abc" }), true, true, "", "", "",
        "abc");
    row("USN with many ::", response({ "Server: VORANT", "USN: uuid:a::b::c::d" }), true, true, "",
        "", "", "a");
    row("USN with two fields", response({ "Server: VORANT", "USN: abc" }), true, true, "", "", "",
        "");
    row("USN empty third field", response({ "Server: VORANT", "usn:uuid:" }), true, true, "", "",
        "", "");
    row("USN twice, later wins", response({ "USN: uuid:a::x", "Server: VORANT", "USN: uuid:b::x" }),
        true, true, "", "", "", "b");
    row("USN of 10 KB",
        response({ "Server: VORANT", "USN: uuid:" + QByteArray(10240, 'a') + "::upnp:rootdevice" }),
        true, true, "", "", "", QString(10240, QLatin1Char('a')));
    row("USN of 10 KB, no SERVER", response({ "USN: uuid:" + QByteArray(10240, 'a') }), false, true,
        "", "", "", QString(10240, QLatin1Char('a')));

    // Line structure and raw bytes.
    QByteArray bareLf = SsdpSearch::testResponse();
    bareLf.replace("\r\n", "\n");
    QByteArray bareCr = SsdpSearch::testResponse();
    bareCr.replace("\r\n", "\r");
    row("empty datagram", QByteArray(), false, false, "", "", "", "");
    row("one line with description", KVX_MAKER_DOMAIN ":model=ZP-9E", false, false, "", "", "", "");
    row("only a line feed", "\n", false, true, "", "", "", "");
    row("bare LF line ends", bareLf, true, true, "", "", "", kUuid);
    row("bare CR line ends", bareCr, false, false, "", "", "", "");
    row("NUL before the headers", '\0' + SsdpSearch::testResponse(), false, false, "", "", "", "");
    row("NUL inside the SERVER line", response({ "Server: VOR" + QByteArray(1, '\0') + "ANT" }),
        false, true, "", "", "", "");
    row("NUL after the SERVER line",
        response({ usn, "Server: VORANT", QByteArray(1, '\0') + "Server: x" }), true, true, "", "",
        "", kUuid);
    row("invalid UTF-8", "\xff\xfe\xfd\n\xc3\x28\xa0\xa1\n\xf0\x28\x8c\x28", false, true, "", "",
        "", "");
    row("only quotes", "\"\"\"\"\"\"\n\"\"", false, true, "", "", "", "");
    row("thousands of colons", QByteArray(5000, ':') + '\n' + QByteArray(5000, ':'), false, true,
        "", "", "", "");
    row("thousands of commas", QByteArray(5000, ',') + '\n' + QByteArray(5000, '='), false, true,
        "", "", "", "");
    row("64 KiB of garbage", garbage(65536, 1), false, true, "", "", "", "");
    row("64 KiB in one line", QByteArray(65536, 'A'), false, false, "", "", "", "");
}

void TestSsdpResponse::parse()
{
    QFETCH(QByteArray, datagram);
    const SsdpResponse r = SsdpResponse::parse(datagram, kSender);
    QTEST(r.accepted, "accepted");
    QTEST(r.parsed, "parsed");
    QFETCH(bool, parsed);
    QCOMPARE(r.ipaddr, parsed ? QStringLiteral("10.77.0.20") : QString());
    QTEST(r.modelname, "modelname");
    QTEST(r.nickname, "nickname");
    QTEST(r.version, "version");
    QTEST(r.uuid, "uuid");
}

void TestSsdpResponse::recordTakesTheParse()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, parsed);
    UdpMachineNode record(datagram, kSender);
    QTEST(record.m_f_valid, "accepted");
    QCOMPARE(record.m_ipaddr, parsed ? QStringLiteral("10.77.0.20") : QString());
    QTEST(record.m_modelname, "modelname");
    QTEST(record.m_nickname, "nickname");
    QTEST(record.m_version, "version");
    QTEST(record.m_uuid, "uuid");
    QCOMPARE(record.m_count, 0);
    QCOMPARE(record.m_state, 0);
    QCOMPARE(record.m_fwup_state, UdpMachineNode::Idle);
    QVERIFY(record.m_udpcb == nullptr);
    QVERIFY(record.m_build.isEmpty() && record.m_port.isEmpty() && record.m_login_passwd.isEmpty());
}

void TestSsdpResponse::tokens_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("tokens");
    QTest::newRow("separators") << "a:b,c=d\"e\"" << QStringList{ "a", "b", "c", "d", "e" };
    QTest::newRow("empty pieces dropped") << "::a,,=b\"\"" << QStringList{ "a", "b" };
    QTest::newRow("blank piece is an empty token") << "a: :b" << QStringList{ "a", "", "b" };
    QTest::newRow("trailing CR trimmed") << "USN: uuid:x\r" << QStringList{ "USN", "uuid", "x" };
    QTest::newRow("CR alone") << "\r" << QStringList{ "" };
    QTest::newRow("only quotes") << "\"\"\"\"" << QStringList{};
    QTest::newRow("quotes keep blanks inside") << "k=\" a b \"" << QStringList{ "k", "a b" };
    QTest::newRow("blank before quote")
            << "model= \"ZP-9E\"" << QStringList{ "model", "", "ZP-9E" };
    QTest::newRow("semicolon is no separator") << "a;b" << QStringList{ "a;b" };
}

void TestSsdpResponse::tokens()
{
    QFETCH(QString, line);
    QTEST(SsdpResponse::tokens(line), "tokens");
}

void TestSsdpResponse::decodeName_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "Desk"
                           << "Desk";
    QTest::newRow("%20") << "Studio%20A"
                         << "Studio A";
    QTest::newRow("raw blank") << "Studio A"
                               << "Studio A";
    QTest::newRow("query") << "Desk?x"
                           << "Desk";
    QTest::newRow("fragment") << "Desk#x"
                              << "Desk";
    QTest::newRow("lone percent") << "100%"
                                  << "100%";
    QTest::newRow("UTF-8 escape") << "%E2%82%AC5"
                                  << QString::fromUtf8("\xe2\x82\xac"
                                                       "5");
    QTest::newRow("slash") << "Rack/Left"
                           << "Rack/Left";
}

void TestSsdpResponse::decodeName()
{
    QFETCH(QString, value);
    QTEST(SsdpResponse::decodeName(value), "name");
}

QTEST_GUILESS_MAIN(TestSsdpResponse)
#include "tst_ssdpresponse.moc"
