#include "discovery/ssdpsearch.h"

#include <QHostAddress>
#include <QTest>

Q_DECLARE_METATYPE(SsdpSearch::InterfaceCandidate)
#include <QUrl>

// The search request, the test response and the interface choice and rotation,
// driven without sockets or real interfaces.
class TestSsdpSearch : public QObject
{
    Q_OBJECT

private slots:
    void searchRequestBytes();
    void testResponseLines();
    void chooseInterfaces_data();
    void chooseInterfaces();
    void rotation_data();
    void rotation();
    void candidateQualifies_data();
    void candidateQualifies();
    void chooseCandidatesKeepsOrder();
    void interfaceKeys();
    void refreshEveryTenTicks();
    void silentTickLimit_data();
    void silentTickLimit();
};

using SsdpSearch::InterfaceCandidate;

namespace {

// An adapter as an installer's laptop reports it: up, running, multicast,
// one IPv4 entry with its broadcast and an IPv6 one without.
InterfaceCandidate adapter(const QString &name, int index, const QString &ip = "192.168.1.20",
                           const QString &broadcast = "192.168.1.255")
{
    InterfaceCandidate c;
    c.name = name;
    c.index = index;
    c.up = c.running = c.multicast = true;
    c.addresses = QStringList{ ip, "fe80::1" };
    c.broadcasts = QStringList{ broadcast, "" };
    return c;
}

QStringList names(const QList<InterfaceCandidate> &list)
{
    QStringList out;
    for (const InterfaceCandidate &c : list)
        out << c.name;
    return out;
}

} // namespace

void TestSsdpSearch::searchRequestBytes()
{
    const QByteArray request = SsdpSearch::mSearchRequest();
    QCOMPARE(request.size(), 97);
    QCOMPARE(request.split('\n'),
             (QList<QByteArray>{ "M-SEARCH * HTTP/1.1\r", "Host:239.255.255.250:1900\r",
                                 "ST:upnp:rootdevice\r", "Man:\"ssdp:discover\"\r", "MX:3\r", "\r",
                                 "" }));
    QCOMPARE(QByteArray("Man:\"ssdp:discover\"").size(), 19);
}

void TestSsdpSearch::testResponseLines()
{
    const QByteArray r = SsdpSearch::testResponse();
    QVERIFY(r.endsWith("\r\n\r\n"));
    const QList<QByteArray> lines = r.left(r.size() - 2).split('\n');
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines.mid(0, 6),
             (QList<QByteArray>{
                     "HTTP/1.1 200 OK\r", "Cache-Control: max-age=1800\r", "ST: upnp:rootdevice\r",
                     "USN: uuid:63041253-1019-2006-1228-aabbccddeeff::upnp:rootdevice\r", "EXT:\r",
                     "Server: VORANT Realtek/V1.3\r" }));
    QCOMPARE(lines.at(7), QByteArray());
    QVERIFY(lines.at(6).startsWith("Location: http://"));
    const QUrl location(QString::fromLatin1(lines.at(6).mid(10).trimmed()));
    QCOMPARE(location.port(), 52881);
    QCOMPARE(location.path(), QStringLiteral("/simplecfg.xml"));
    const QHostAddress host(location.host());
    QVERIFY(host.isInSubnet(QHostAddress::parseSubnet("10.0.0.0/8"))
            || host.isInSubnet(QHostAddress::parseSubnet("172.16.0.0/12"))
            || host.isInSubnet(QHostAddress::parseSubnet("192.168.0.0/16")));
}

void TestSsdpSearch::chooseInterfaces_data()
{
    QTest::addColumn<QList<QStringList>>("interfaces");
    QTest::addColumn<QList<int>>("chosen");

    const QStringList ipv6Only{ "", "" };
    QTest::newRow("none") << QList<QStringList>{} << QList<int>{};
    QTest::newRow("one IPv4 LAN") << QList<QStringList>{ { "192.168.1.255" } } << QList<int>{ 0 };
    QTest::newRow("IPv4 with IPv6 entries")
            << QList<QStringList>{ { "", "10.0.0.255", "" } } << QList<int>{ 0 };
    QTest::newRow("IPv6 only") << QList<QStringList>{ ipv6Only } << QList<int>{};
    QTest::newRow("loopback without broadcast") << QList<QStringList>{ { "" } } << QList<int>{};
    QTest::newRow("broadcast in 127")
            << QList<QStringList>{ { "127.255.255.255" } } << QList<int>{};
    QTest::newRow("127 and a LAN entry")
            << QList<QStringList>{ { "127.255.255.255", "10.1.255.255" } } << QList<int>{ 0 };
    QTest::newRow("not four parts")
            << QList<QStringList>{ { "10.0.255" }, { "1.2.3.4.5" } } << QList<int>{};
    QTest::newRow("system order kept") << QList<QStringList>{
        { "" }, { "192.168.1.255" }, ipv6Only, { "127.0.0.255" }, { "10.77.0.255" }, {}
    } << QList<int>{ 1, 4 };
}

void TestSsdpSearch::chooseInterfaces()
{
    QFETCH(QList<QStringList>, interfaces);
    QTEST(SsdpSearch::chooseInterfaces(interfaces), "chosen");
}

void TestSsdpSearch::rotation_data()
{
    QTest::addColumn<int>("interfaceCount");
    QTest::addColumn<QList<int>>("indices"); // ticks 1, 2, 3, ...
    QTest::addColumn<QList<bool>>("applied"); // outgoing interface set at that tick

    QTest::newRow("none") << 0 << QList<int>{ -1, -1, -1 } << QList<bool>{ false, false, false };
    QTest::newRow("one: set once")
            << 1 << QList<int>{ 0, 0, 0, 0 } << QList<bool>{ true, false, false, false };
    QTest::newRow("three: 1, 2, 0, 1")
            << 3 << QList<int>{ 1, 2, 0, 1 } << QList<bool>{ true, true, true, true };
    QTest::newRow("two") << 2 << QList<int>{ 1, 0, 1 } << QList<bool>{ true, true, true };
}

void TestSsdpSearch::rotation()
{
    QFETCH(int, interfaceCount);
    QFETCH(QList<int>, indices);
    QFETCH(QList<bool>, applied);

    bool changed = true; // set when discovery starts
    for (int tick = 1; tick <= indices.size(); ++tick) {
        const SsdpSearch::SearchStep step = SsdpSearch::searchStep(tick, interfaceCount, changed);
        changed = step.ifaceChangedAfter;
        QCOMPARE(step.send, interfaceCount > 0);
        QCOMPARE(step.index, indices.at(tick - 1));
        QCOMPARE(step.setInterface, applied.at(tick - 1));
    }
    // A wrapped tick count never indexes outside the list.
    if (interfaceCount > 0)
        QVERIFY(SsdpSearch::searchStep(-7, interfaceCount, false).index >= 0);
}

void TestSsdpSearch::candidateQualifies_data()
{
    QTest::addColumn<InterfaceCandidate>("candidate");
    QTest::addColumn<bool>("qualifies");
    const InterfaceCandidate lan = adapter("eth0", 2);
    QTest::newRow("LAN adapter") << lan << true;
    InterfaceCandidate c = lan;
    c.up = false;
    QTest::newRow("down") << c << false;
    c = lan;
    c.running = false;
    QTest::newRow("up, cable unplugged") << c << false;
    c = lan;
    c.multicast = false;
    QTest::newRow("no multicast (a tunnel)") << c << false;
    c = lan;
    c.loopback = true;
    QTest::newRow("loopback with a broadcast") << c << false;
    c = lan;
    c.broadcasts = QStringList{ "", "" };
    QTest::newRow("no IPv4 broadcast") << c << false;
    c = adapter("lo", 1, "127.0.0.1", "127.255.255.255");
    QTest::newRow("broadcast in 127") << c << false;
    QTest::newRow("link-local adapter")
            << adapter("eth1", 3, "169.254.7.9", "169.254.255.255") << true;
}

void TestSsdpSearch::candidateQualifies()
{
    QFETCH(InterfaceCandidate, candidate);
    QTEST(SsdpSearch::candidateQualifies(candidate), "qualifies");
}

void TestSsdpSearch::chooseCandidatesKeepsOrder()
{
    InterfaceCandidate down = adapter("wlan0", 4, "10.0.0.5", "10.0.0.255");
    down.up = false;
    InterfaceCandidate loopback = adapter("lo", 1, "127.0.0.1", "");
    loopback.loopback = true;
    const QList<InterfaceCandidate> all{ loopback, adapter("eth0", 2), down,
                                         adapter("vEthernet", 7, "172.20.0.1", "172.20.15.255") };
    QCOMPARE(names(SsdpSearch::chooseInterfaces(all)), (QStringList{ "eth0", "vEthernet" }));
    QVERIFY(SsdpSearch::chooseInterfaces(QList<InterfaceCandidate>{}).isEmpty());
}

// A change of name, index or address makes another choice; flags and
// broadcasts only decide whether an interface is chosen at all.
void TestSsdpSearch::interfaceKeys()
{
    const QList<InterfaceCandidate> one{ adapter("eth0", 2) };
    QCOMPARE(SsdpSearch::interfaceKeys(one), QStringList{ "eth0#2 192.168.1.20,fe80::1" });
    QList<InterfaceCandidate> readdressed{ adapter("eth0", 2, "192.168.1.21") };
    QVERIFY(SsdpSearch::interfaceKeys(readdressed) != SsdpSearch::interfaceKeys(one));
    QList<InterfaceCandidate> reindexed{ adapter("eth0", 5) };
    QVERIFY(SsdpSearch::interfaceKeys(reindexed) != SsdpSearch::interfaceKeys(one));
    QList<InterfaceCandidate> same{ adapter("eth0", 2) };
    same.first().broadcasts = QStringList{ "192.168.1.255", "" };
    QCOMPARE(SsdpSearch::interfaceKeys(same), SsdpSearch::interfaceKeys(one));
    const QList<InterfaceCandidate> two{ adapter("eth0", 2), adapter("eth1", 3, "10.0.0.2") };
    QList<InterfaceCandidate> swapped{ two.at(1), two.at(0) };
    QVERIFY(SsdpSearch::interfaceKeys(swapped) != SsdpSearch::interfaceKeys(two));
}

void TestSsdpSearch::refreshEveryTenTicks()
{
    QList<int> due;
    for (int tick = -1; tick <= 35; ++tick) {
        if (SsdpSearch::interfaceRefreshDue(tick))
            due << tick;
    }
    QCOMPARE(due, (QList<int>{ 10, 20, 30 }));
}

void TestSsdpSearch::silentTickLimit_data()
{
    QTest::addColumn<int>("interfaces");
    QTest::addColumn<int>("limit");
    QTest::newRow("none") << 0 << 10;
    QTest::newRow("one") << 1 << 10;
    QTest::newRow("three") << 3 << 10;
    QTest::newRow("four") << 4 << 11;
    QTest::newRow("five") << 5 << 13;
    QTest::newRow("six") << 6 << 15;
    QTest::newRow("eleven") << 11 << 25;
    QTest::newRow("twenty") << 20 << 43;
}

void TestSsdpSearch::silentTickLimit()
{
    QFETCH(int, interfaces);
    QTEST(SsdpSearch::silentTickLimit(interfaces), "limit");
}

QTEST_GUILESS_MAIN(TestSsdpSearch)
#include "tst_ssdpsearch.moc"
