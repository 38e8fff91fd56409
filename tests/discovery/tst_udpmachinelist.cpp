#include "common/isolation.h"
#include "common/standincore.h"
#include "common/tabledriver.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QMetaMethod>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimerEvent>
#include <QUdpSocket>

// The table is driven tick by tick through its timer event and fed through
// the intake directly; the only datagrams on a socket go over loopback.

class TestUdpMachineList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void metaObjectInterface();
    void fwUpdateStartForUnknownAddressEmitsNothing();

    void newUnitIsAnnouncedAndLinked();
    void repeatedResponse_data();
    void repeatedResponse();
    void addTestTargetTwice();
    void badInputLeavesTableUnchanged_data();
    void badInputLeavesTableUnchanged();
    void drainsEveryQueuedDatagram();

    void idleUnitRemovedAtEleventhTick();
    void unitAnsweringWithinTenTicksStays();
    void severalRemovedInOneTickInTableOrder();
    void updatingUnitNeverAges();
    void droppedUnitIsAddedAgain();
    void foreignTimerIgnored();
    void destructionReleasesSocketAndRecords();
    void interfacesReadAgainEveryTenTicks();
    void ageingFollowsTheInterfaceCount_data();
    void ageingFollowsTheInterfaceCount();
    void directTarget();
    void directTargetRefusesOtherForms_data();
    void directTargetRefusesOtherForms();
};

namespace {

const QString kIp = QStringLiteral("10.77.0.20");

using TableDriver::texts;
using TableDriver::tick;

QByteArray unit(const QByteArray &model, const QByteArray &name, const QByteArray &uuid = "u-1",
                const QByteArray &version = "1.02")
{
    return TableDriver::answer(model, name, version, uuid);
}

void feed(UdpMachineList &table, const QByteArray &datagram, const QString &ip = kIp)
{
    TableDriver::feed(table, datagram, ip);
}

QString updateText(const QString &key, const QString &value, const QString &ip = kIp)
{
    return TableDriver::updateText(key, value, ip);
}

QString deleteText(const QString &ip)
{
    return QStringLiteral("{\n    \"action\": \"delete\",\n    \"m_ipaddr\": \"%1\"\n}\n").arg(ip);
}

// A made-up adapter for the table's interface source; it has no system
// interface behind it, so nothing is ever set on the socket for it.
SsdpSearch::InterfaceCandidate fakeAdapter(const QString &name, int index, bool up = true)
{
    SsdpSearch::InterfaceCandidate c;
    c.name = name;
    c.index = index;
    c.up = up;
    c.running = c.multicast = true;
    c.addresses = QStringList{ QStringLiteral("10.99.%1.2").arg(index) };
    c.broadcasts = QStringList{ QStringLiteral("10.99.%1.255").arg(index) };
    return c;
}

QStringList addresses(const UdpMachineList &table)
{
    QStringList out;
    for (const UdpMachineNode *node : table.nodes())
        out << node->m_ipaddr;
    return out;
}

struct Spies
{
    explicit Spies(UdpMachineList *table)
        : added(table, &UdpMachineList::toUiAddNode),
          updated(table, &UdpMachineList::toUiUpdateNode),
          removed(table, &UdpMachineList::toUiRemoveNode),
          progress(table, &UdpMachineList::toui_fwup_progress)
    {
    }
    int total() const
    {
        return added.count() + updated.count() + removed.count() + progress.count();
    }
    QSignalSpy added, updated, removed, progress;
};

} // namespace

void TestUdpMachineList::initTestCase()
{
    KVX_REQUIRE_ISOLATED_NETWORK();
}

// Kind, signature and parameter names of the class's own signals, slots and
// invocable methods, in declaration order.
static QStringList ownMethods(const QMetaObject &meta)
{
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QString kind = method.methodType() == QMetaMethod::Signal ? "signal"
                : method.methodType() == QMetaMethod::Slot        ? "slot"
                                                                  : "method";
        methods << kind + QLatin1Char(' ') + QString::fromLatin1(method.methodSignature())
                        + QLatin1Char(' ') + QString::fromLatin1(method.parameterNames().join(','));
    }
    return methods;
}

// QML binds to these by name. The window's tests run it on the stand-in
// core, so whatever of the stand-in the table also has must be the table's
// to the letter (parameter names included: QML handlers read them), and in
// the same order; the table has only its own hooks besides.
void TestUdpMachineList::metaObjectInterface()
{
    const QStringList table = ownMethods(UdpMachineList::staticMetaObject);
    const QStringList standIn = ownMethods(StandInCore::staticMetaObject);
    QStringList shared;
    QStringList tableOnly;
    for (const QString &method : table)
        (standIn.contains(method) ? shared : tableOnly) << method;
    QStringList standInShared;
    for (const QString &method : standIn) {
        if (table.contains(method))
            standInShared << method;
    }
    QCOMPARE(shared, standInShared);
    QCOMPARE(shared.size(), 12);
    QCOMPARE(tableOnly,
             (QStringList{ "signal searchInterfacesChanged() ", "slot slot_udpReceived() ",
                           "method addTestTarget() ",
                           "method identityWarnings(QString) arg_ipaddr" }));
}

void TestUdpMachineList::fwUpdateStartForUnknownAddressEmitsNothing()
{
    UdpMachineList table;
    QSignalSpy progress(&table, &UdpMachineList::toui_fwup_progress);
    QSignalSpy added(&table, &UdpMachineList::toUiAddNode);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);
    QSignalSpy removed(&table, &UdpMachineList::toUiRemoveNode);
    table.fwUpdateStart(QStringLiteral("10.77.0.10"), QStringLiteral("secret"),
                        QStringLiteral("54726"));
    QTest::qWait(50);
    QCOMPARE(progress.count() + added.count() + updated.count() + removed.count(), 0);
    QVERIFY(table.nodes().isEmpty());
}

void TestUdpMachineList::newUnitIsAnnouncedAndLinked()
{
    UdpMachineList table;
    Spies spies(&table);
    feed(table, unit("ZP-9E", "Studio%20A"));
    QCOMPARE(texts(spies.added),
             QStringList{ QStringLiteral("{\n"
                                         "    \"action\": \"add\",\n"
                                         "    \"m_count\": \"0\",\n"
                                         "    \"m_ipaddr\": \"10.77.0.20\",\n"
                                         "    \"m_modelname\": \"ZP-9E\",\n"
                                         "    \"m_nickname\": \"Studio A\",\n"
                                         "    \"m_state\": \"0\",\n"
                                         "    \"m_version\": \"1.02\"\n"
                                         "}\n") });
    feed(table, unit("VK-3F", ""), QStringLiteral("10.77.0.21"));
    QCOMPARE(spies.added.count(), 2);
    QCOMPARE(spies.updated.count(), 0);
    QCOMPARE(addresses(table), (QStringList{ kIp, "10.77.0.21" }));

    // The record reports through the table, and its Communication through it.
    UdpMachineNode *node = table.nodes().first();
    QCOMPARE(node->m_udpcb, static_cast<UdpCB *>(&table));
    emit node->m_comm.fwup_progress(QStringLiteral("Sending... 5%"), kIp);
    QCOMPARE(spies.progress.count(), 1);
    QCOMPARE(spies.progress.at(0), (QList<QVariant>{ QStringLiteral("Sending... 5%"), kIp }));
    node->m_comm.m_deviceName = QStringLiteral("ZP-9E");
    node->m_comm.m_fwVersion = QStringLiteral("2.00");
    node->m_comm.m_fwBuild = QStringLiteral("17");
    emit node->m_comm.fwup_initCompleted();
    QCOMPARE(texts(spies.updated),
             (QStringList{ updateText("m_modelname", "ZP-9E"), updateText("m_version", "2.00"),
                           QStringLiteral("{\n    \"action\": \"update\",\n"
                                          "    \"m_build\": \"(build17)\",\n"
                                          "    \"m_ipaddr\": \"10.77.0.20\"\n}\n") }));
}

void TestUdpMachineList::repeatedResponse_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QStringList>("updates");
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("version");

    const QString testUuid = QStringLiteral("63041253-1019-2006-1228-aabbccddeeff");
    const QByteArray desk = unit("ZP-9E", "Desk");
    QTest::newRow("unchanged") << desk << desk << QStringList() << "u-1"
                               << "ZP-9E"
                               << "Desk"
                               << "1.02";
    QTest::newRow("new version only") << desk << unit("ZP-9E", "Desk", "u-1", "9.99")
                                      << QStringList{ updateText("m_version", "9.99") } << "u-1"
                                      << "ZP-9E"
                                      << "Desk"
                                      << "9.99";
    QTest::newRow("new name") << desk << unit("ZP-9E", "Stage")
                              << QStringList{ updateText("m_nickname", "Stage") } << "u-1"
                              << "ZP-9E"
                              << "Stage"
                              << "1.02";
    QTest::newRow("model and name") << desk << unit("ZP-9E-B", "Stage")
                                    << QStringList{ updateText("m_modelname", "ZP-9E-B"),
                                                    updateText("m_nickname", "Stage") }
                                    << "u-1"
                                    << "ZP-9E-B"
                                    << "Stage"
                                    << "1.02";
    QTest::newRow("uuid, model, name")
            << desk << unit("VK-5F", "Stage", "u-2")
            << QStringList{ updateText("m_uuid", "u-2"), updateText("m_modelname", "VK-5F"),
                            updateText("m_nickname", "Stage") }
            << "u-2"
            << "VK-5F"
            << "Stage"
            << "1.02";
    // No version in the answer: the known one stays.
    QTest::newRow("headers only after description")
            << desk << SsdpSearch::testResponse()
            << QStringList{ updateText("m_uuid", testUuid), updateText("m_modelname", ""),
                            updateText("m_nickname", "") }
            << testUuid << ""
            << ""
            << "1.02";
}

void TestUdpMachineList::repeatedResponse()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    UdpMachineList table;
    Spies spies(&table);
    feed(table, first);
    QCOMPARE(spies.added.count(), 1);
    tick(table, 4);
    UdpMachineNode *node = table.nodes().first();
    QCOMPARE(node->m_count, 4);

    feed(table, second);
    QTEST(texts(spies.updated), "updates");
    QCOMPARE(spies.added.count(), 1);
    QCOMPARE(table.nodes(), QList<UdpMachineNode *>{ node });
    QCOMPARE(node->m_count, 0);
    QTEST(node->m_uuid, "uuid");
    QTEST(node->m_modelname, "model");
    QTEST(node->m_nickname, "nickname");
    QTEST(node->m_version, "version");
}

void TestUdpMachineList::addTestTargetTwice()
{
    UdpMachineList table;
    Spies spies(&table);
    table.addTestTarget();
    tick(table, 3);
    table.addTestTarget();
    QCOMPARE(spies.added.count(), 1);
    QCOMPARE(spies.updated.count(), 0);
    QCOMPARE(addresses(table), QStringList{ "127.0.0.1" });
    const UdpMachineNode *node = table.nodes().first();
    QCOMPARE(node->m_count, 0);
    QCOMPARE(node->m_uuid, QStringLiteral("63041253-1019-2006-1228-aabbccddeeff"));
    QVERIFY(node->m_modelname.isEmpty() && node->m_nickname.isEmpty() && node->m_version.isEmpty());
}

void TestUdpMachineList::badInputLeavesTableUnchanged_data()
{
    QTest::addColumn<QByteArray>("datagram");

    QRandomGenerator rng(7);
    QByteArray noise(65536, Qt::Uninitialized);
    for (char &c : noise)
        c = char(rng.bounded(256));
    QByteArray bareCr = SsdpSearch::testResponse();
    bareCr.replace("\r\n", "\r");
    const QByteArray head("HTTP/1.1 200 OK\r\n");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one line") << QByteArray(KVX_MAKER_DOMAIN ":model=ZP-9E");
    QTest::newRow("64 KiB of noise") << noise;
    QTest::newRow("NUL before the headers") << QByteArray(1, '\0') + unit("ZP-9E", "Desk");
    QTest::newRow("NUL inside SERVER")
            << head + "Server: VOR" + QByteArray(1, '\0') + "ANT\r\n\r\n";
    QTest::newRow("invalid UTF-8") << QByteArray("\xc3\x28\r\n\xff\xfeServer:\xa0VORANT\r\n");
    QTest::newRow("only quotes") << QByteArray(300, '"') + "\n" + QByteArray(300, '"');
    QTest::newRow("thousands of colons") << head + QByteArray(20000, ':') + "\r\n";
    QTest::newRow("thousands of commas")
            << head + KVX_MAKER_DOMAIN + QByteArray(20000, ',') + "\r\n";
    QTest::newRow("description ends in model") << head + KVX_MAKER_DOMAIN ":version=1,model\r\n";
    QTest::newRow("unknown model with SERVER")
            << head + KVX_MAKER_DOMAIN ":model=XX-1\r\nServer: VORANT\r\n";
    QTest::newRow("10 KB USN, no SERVER")
            << head + "USN: uuid:" + QByteArray(10240, 'u') + "::x\r\n\r\n";
    QTest::newRow("USN with many ::") << head + "USN: uuid:a::b::c::d::e\r\n\r\n";
    QTest::newRow("bare CR line ends") << bareCr;
    QTest::newRow("SERVER without value") << head + "Server:\r\nUSN: uuid:a::b\r\n\r\n";
    QTest::newRow("our own M-SEARCH") << SsdpSearch::mSearchRequest();
    QTest::newRow("router") << head
                    + "SERVER: Linux/5.4 UPnP/1.0 MiniUPnPd/2.2\r\n"
                      "USN: uuid:r::urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";
    QTest::newRow("media server NOTIFY") << QByteArray(
            "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\n"
            "NTS: ssdp:alive\r\nSERVER: Linux UPnP/1.0 Vorant-DLNA/1.0\r\n\r\n");
}

void TestUdpMachineList::badInputLeavesTableUnchanged()
{
    QFETCH(QByteArray, datagram);
    UdpMachineList table;
    feed(table, unit("ZP-9E", "Desk"));
    tick(table, 3);
    const QList<UdpMachineNode *> before = table.nodes();
    Spies spies(&table);

    feed(table, datagram); // from the known unit's address
    feed(table, datagram, QStringLiteral("10.77.0.21")); // from a new address
    QCOMPARE(spies.total(), 0);
    QCOMPARE(table.nodes(), before);
    QCOMPARE(before.first()->m_count, 3); // a rejected datagram refreshes nothing
    QCOMPARE(before.first()->m_nickname, QStringLiteral("Desk"));
}

void TestUdpMachineList::drainsEveryQueuedDatagram()
{
    UdpMachineList table;
    Spies spies(&table);
    table.slot_udpReceived(); // nothing pending: an empty datagram, rejected
    QCOMPARE(spies.total(), 0);

    const quint16 port = table.udpSocket()->localPort();
    QVERIFY(port != 0);
    // One sender: Wine sends from 127.0.0.1 whatever loopback address a socket
    // is bound to, and the Windows build runs this test there too.
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QHostAddress to(QHostAddress::LocalHost);
    sender.writeDatagram(unit("RT-6C", "A"), to, port);
    sender.writeDatagram(SsdpSearch::mSearchRequest(), to, port);
    sender.writeDatagram(unit("RT-6C", "A2"), to, port);
    sender.writeDatagram(unit("RT-6C", "A3"), to, port);
    QThread::msleep(20); // loopback delivery, without running the event loop

    table.slot_udpReceived();
    QCOMPARE(spies.added.count(), 1);
    QCOMPARE(addresses(table), QStringList{ "127.0.0.1" });
    QCOMPARE(texts(spies.updated),
             (QStringList{ updateText("m_nickname", "A2", "127.0.0.1"),
                           updateText("m_nickname", "A3", "127.0.0.1") }));
    QVERIFY(!table.udpSocket()->hasPendingDatagrams());
}

void TestUdpMachineList::idleUnitRemovedAtEleventhTick()
{
    UdpMachineList table;
    Spies spies(&table);
    feed(table, unit("ZP-9E", "Desk"));
    QPointer<UdpMachineNode> node = table.nodes().first();
    const int searches = table.searchCount();

    tick(table, 10);
    QCOMPARE(spies.removed.count(), 0);
    QCOMPARE(node->m_count, 10);
    tick(table);
    QCOMPARE(texts(spies.removed), QStringList{ deleteText(kIp) });
    QVERIFY(table.nodes().isEmpty());
    QCOMPARE(table.searchCount(), searches + 11);

    // Destroyed on the event loop, not leaked and not at once.
    QVERIFY(node);
    QVERIFY(node->m_udpcb == nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(node.isNull());
    tick(table, 20);
    QCOMPARE(spies.removed.count(), 1);
}

void TestUdpMachineList::unitAnsweringWithinTenTicksStays()
{
    UdpMachineList table;
    Spies spies(&table);
    for (int round = 0; round < 5; ++round) {
        feed(table, unit("ZP-9E", "Desk"));
        tick(table, 10);
    }
    QCOMPARE(spies.removed.count(), 0);
    QCOMPARE(spies.added.count(), 1);
    QCOMPARE(table.nodes().first()->m_count, 10);
}

void TestUdpMachineList::severalRemovedInOneTickInTableOrder()
{
    UdpMachineList table;
    Spies spies(&table);
    const QStringList ips{ "10.77.0.20", "10.77.0.21", "10.77.0.22", "10.77.0.23", "10.77.0.24" };
    for (const QString &ip : ips)
        feed(table, unit("VK-3F", "x"), ip);
    tick(table, 5);
    feed(table, unit("VK-3F", "x"), ips.at(1)); // .21 answers again
    feed(table, unit("VK-3F", "x"), ips.at(4)); // and so does .24, at the end
    tick(table, 5);
    QCOMPARE(spies.removed.count(), 0);

    tick(table);
    // Adjacent expiries (.22, .23) included: the record moving up is examined too.
    QCOMPARE(texts(spies.removed),
             (QStringList{ deleteText(ips.at(0)), deleteText(ips.at(2)), deleteText(ips.at(3)) }));
    QCOMPARE(addresses(table), (QStringList{ ips.at(1), ips.at(4) }));
    QCOMPARE(table.nodes().at(0)->m_count, 6);
    QCOMPARE(table.nodes().at(1)->m_count, 6);
}

void TestUdpMachineList::updatingUnitNeverAges()
{
    UdpMachineList table;
    Spies spies(&table);
    feed(table, unit("ZP-9E", "Busy"));
    feed(table, unit("ZP-9E", "Idle"), QStringLiteral("10.77.0.21"));
    tick(table, 4);
    UdpMachineNode *busy = table.nodes().first();
    busy->m_fwup_state = UdpMachineNode::Transferring;

    tick(table, 60);
    QCOMPARE(texts(spies.removed), QStringList{ deleteText("10.77.0.21") });
    QCOMPARE(table.nodes(), QList<UdpMachineNode *>{ busy });
    QCOMPARE(busy->m_count, 4);

    busy->m_fwup_state = UdpMachineNode::Idle; // run over: ages on from 4
    tick(table, 6);
    QCOMPARE(spies.removed.count(), 1);
    tick(table);
    QCOMPARE(spies.removed.count(), 2);
    QVERIFY(table.nodes().isEmpty());
}

void TestUdpMachineList::droppedUnitIsAddedAgain()
{
    UdpMachineList table;
    Spies spies(&table);
    feed(table, unit("ZP-9E", "Desk"));
    QPointer<UdpMachineNode> old = table.nodes().first();
    tick(table, 11);
    QVERIFY(table.nodes().isEmpty());

    feed(table, unit("ZP-9E", "Desk"));
    QCOMPARE(spies.added.count(), 2);
    QCOMPARE(spies.added.at(1), spies.added.at(0));
    QCOMPARE(table.nodes().size(), 1);
    QVERIFY(old && table.nodes().first() != old.data());
    QCOMPARE(table.nodes().first()->m_count, 0);
}

void TestUdpMachineList::foreignTimerIgnored()
{
    UdpMachineList table;
    feed(table, unit("ZP-9E", "Desk"));
    const int searches = table.searchCount();
    QTimerEvent event(table.discoveryTimerId() + 1000);
    QCoreApplication::sendEvent(&table, &event);
    QCOMPARE(table.searchCount(), searches);
    QCOMPARE(table.nodes().first()->m_count, 0);
}

void TestUdpMachineList::destructionReleasesSocketAndRecords()
{
    auto *table = new UdpMachineList;
    feed(*table, unit("ZP-9E", "Gone"));
    QPointer<UdpMachineNode> gone = table->nodes().first();
    tick(*table, 11);
    feed(*table, unit("ZP-9E", "Kept"), QStringLiteral("10.77.0.21"));
    feed(*table, unit("VK-3F", "Kept2"), QStringLiteral("10.77.0.22"));
    QPointer<QUdpSocket> socket = table->udpSocket();
    QPointer<UdpMachineNode> kept = table->nodes().first();
    QPointer<UdpMachineNode> kept2 = table->nodes().last();
    QVERIFY(socket && kept && kept2);

    delete table;
    QVERIFY(socket.isNull());
    QVERIFY(kept.isNull());
    QVERIFY(kept2.isNull());
    // A dropped record still waiting for the event loop no longer reports to
    // the table it left.
    QVERIFY(gone);
    emit gone->m_comm.fwup_progress(QStringLiteral("late"), kIp);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(gone.isNull());
}

// A unit given by address is announced like a found one, without anything an
// SSDP answer would bring, and never ages out; a known unit given again is
// only kept from ageing.
void TestUdpMachineList::directTarget()
{
    UdpMachineList table;
    Spies spies(&table);
    QVERIFY(table.addDirectTarget(QStringLiteral("10.77.0.30")));
    QCOMPARE(texts(spies.added),
             QStringList{
                     QStringLiteral("{\n    \"action\": \"add\",\n    \"m_count\": \"0\",\n"
                                    "    \"m_ipaddr\": \"10.77.0.30\",\n    \"m_modelname\": "
                                    "\"\",\n    \"m_nickname\": \"\",\n    \"m_state\": \"0\",\n"
                                    "    \"m_version\": \"\"\n}\n") });
    QCOMPARE(addresses(table), QStringList{ "10.77.0.30" });
    QVERIFY(table.nodes().first()->m_f_direct);

    feed(table, unit("ZP-9E", "Desk"));
    QVERIFY(table.addDirectTarget(kIp));
    QCOMPARE(spies.added.count(), 2); // the known one is not announced again
    tick(table, 40);
    QCOMPARE(spies.removed.count(), 0);
    QCOMPARE(addresses(table), (QStringList{ "10.77.0.30", kIp }));
    QCOMPARE(table.nodes().at(0)->m_count, 0);

    // An answer to a search refreshes it like any record, its version too.
    feed(table, unit("VK-3F", "Found later"), QStringLiteral("10.77.0.30"));
    QCOMPARE(spies.added.count(), 2);
    QCOMPARE(texts(spies.updated).mid(spies.updated.count() - 2),
             (QStringList{ updateText("m_nickname", "Found later", QStringLiteral("10.77.0.30")),
                           updateText("m_version", "1.02", QStringLiteral("10.77.0.30")) }));
    QVERIFY(table.nodes().first()->m_f_direct);
}

void TestUdpMachineList::directTargetRefusesOtherForms_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("three parts") << "10.77.0";
    QTest::newRow("leading zero") << "10.77.0.030";
    QTest::newRow("host name") << "mixer.local";
    QTest::newRow("IPv6") << "fe80::1";
    QTest::newRow("with a port") << "10.77.0.30:54726";
    QTest::newRow("blank") << " 10.77.0.30";
}

void TestUdpMachineList::directTargetRefusesOtherForms()
{
    QFETCH(QString, address);
    UdpMachineList table;
    Spies spies(&table);
    QVERIFY(!table.addDirectTarget(address));
    QVERIFY(table.nodes().isEmpty());
    QCOMPARE(spies.total(), 0);
}

// A laptop that joins the units' network after the program started: its
// adapter is searched on from the next tenth tick; an adapter that went away
// is dropped at the tenth tick after.
void TestUdpMachineList::interfacesReadAgainEveryTenTicks()
{
    UdpMachineList table;
    QList<SsdpSearch::InterfaceCandidate> system{ fakeAdapter("wlan0", 3, false) };
    int reads = 0;
    table.setInterfaceSource([&] {
        ++reads;
        return system;
    });
    QCOMPARE(reads, 1);
    QVERIFY(table.searchInterfaceNames().isEmpty()); // down: not searched
    const int start = table.searchCount();
    QCOMPARE(start % 10, 0); // no tick has run yet, or whole rounds
    // The window's empty list shows the count: it hears of each change once.
    QSignalSpy changed(&table, &UdpMachineList::searchInterfacesChanged);

    tick(table, 3);
    system << fakeAdapter("eth0", 2);
    tick(table, 6);
    QVERIFY(table.searchInterfaceNames().isEmpty());
    QCOMPARE(reads, 1);
    tick(table);
    QCOMPARE(reads, 2);
    QCOMPARE(table.searchInterfaceNames(), QStringList{ "eth0" });
    QCOMPARE(table.searchInterfaces().size(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(table.property("searchInterfaceCount").toInt(), 1);

    system.first().up = true; // the WLAN comes up too, ahead of eth0 in the list
    tick(table, 10);
    QCOMPARE(table.searchInterfaceNames(), (QStringList{ "wlan0", "eth0" }));
    system.removeFirst();
    tick(table, 9);
    QCOMPARE(table.searchInterfaceNames(), (QStringList{ "wlan0", "eth0" }));
    QCOMPARE(changed.count(), 2); // a read that finds the same list says nothing
    tick(table);
    QCOMPARE(table.searchInterfaceNames(), QStringList{ "eth0" });
    QCOMPARE(reads, 4);
    QCOMPARE(changed.count(), 3);
    QCOMPARE(table.searchCount(), start + 30);
}

// With n interfaces searched in rotation an idle unit goes after
// max(10, 2 n + 3) silent ticks, never earlier.
void TestUdpMachineList::ageingFollowsTheInterfaceCount_data()
{
    QTest::addColumn<int>("interfaces");
    QTest::addColumn<int>("silentTicks");
    QTest::newRow("one") << 1 << 10;
    QTest::newRow("four") << 4 << 11;
    QTest::newRow("five") << 5 << 13;
    QTest::newRow("six") << 6 << 15;
    QTest::newRow("eleven") << 11 << 25;
}

void TestUdpMachineList::ageingFollowsTheInterfaceCount()
{
    QFETCH(int, interfaces);
    QFETCH(int, silentTicks);
    UdpMachineList table;
    QList<SsdpSearch::InterfaceCandidate> system;
    for (int i = 0; i < interfaces; ++i)
        system << fakeAdapter(QStringLiteral("eth%1").arg(i), i + 2);
    table.setInterfaceSource([&] { return system; });
    QCOMPARE(table.searchInterfaces().size(), interfaces);
    Spies spies(&table);
    feed(table, unit("ZP-9E", "Desk"));

    tick(table, silentTicks);
    QCOMPARE(spies.removed.count(), 0);
    QCOMPARE(table.nodes().first()->m_count, silentTicks);
    tick(table);
    QCOMPARE(texts(spies.removed), QStringList{ deleteText(kIp) });
    QVERIFY(table.nodes().isEmpty());
}

QTEST_GUILESS_MAIN(TestUdpMachineList)
#include "tst_udpmachinelist.moc"
