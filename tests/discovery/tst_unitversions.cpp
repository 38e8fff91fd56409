#include "common/isolation.h"
#include "common/tabledriver.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>

// The record follows what the unit runs: a response with another version
// refreshes it, and after a completed update the unit is "back" once it
// answers again after going away. Driven tick by tick, fed through the intake.
class TestUnitVersions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void versionRefresh_data();
    void versionRefresh();
    void backAfterUpdate_data();
    void backAfterUpdate();
    void backAfterAgeingOut();
    void newRunForgetsTheReturn();
    void failedRunIsNotWatched();
    void checkForUnknownAddressEmitsNothing();
};

namespace {

// A loopback address: the one case that starts a run connects to it, and
// finds nothing there, wherever the test runs.
const QString kIp = QStringLiteral("127.0.0.20");

using TableDriver::texts;
using TableDriver::tick;

QByteArray unit(const QByteArray &version, const QByteArray &model = "VK-3F")
{
    return TableDriver::answer(model, "Desk", version);
}

void feed(UdpMachineList &table, const QByteArray &datagram)
{
    TableDriver::feed(table, datagram, kIp);
}

// m_build and m_after_update sort before m_ipaddr, the others after it.
QString updateText(const QString &key, const QString &value)
{
    return TableDriver::updateText(key, value, kIp);
}

// What a run that read the unit over TCP leaves in the record.
void readOverTcp(UdpMachineNode *node, const QString &version, const QString &build)
{
    node->m_comm.m_deviceName = node->m_modelname;
    node->m_comm.m_fwVersion = version;
    node->m_comm.m_fwBuild = build;
    emit node->m_comm.fwup_initCompleted();
}

void complete(UdpMachineNode *node)
{
    emit node->m_comm.fwup_progress(QStringLiteral("Firmware update completed."), node->m_ipaddr);
}

} // namespace

void TestUnitVersions::initTestCase()
{
    KVX_REQUIRE_ISOLATED_NETWORK();
}

void TestUnitVersions::versionRefresh_data()
{
    QTest::addColumn<QString>("tcpBuild"); // empty: never read over TCP
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QStringList>("updates");
    QTest::addColumn<QString>("recordVersion");
    QTest::addColumn<QString>("recordBuild");

    QTest::newRow("unchanged") << "0100" << QByteArray("1.02") << QStringList() << "1.02"
                               << "(build0100)";
    QTest::newRow("new version clears the build")
            << "0100" << QByteArray("1.04")
            << QStringList{ updateText("m_version", "1.04"), updateText("m_build", "") } << "1.04"
            << "";
    QTest::newRow("new version, no build to clear")
            << "" << QByteArray("1.04") << QStringList{ updateText("m_version", "1.04") } << "1.04"
            << "";
    QTest::newRow("same number written differently")
            << "0100" << QByteArray("1.2") << QStringList() << "1.02"
            << "(build0100)";
    QTest::newRow("no version in the response")
            << "0100" << QByteArray("") << QStringList() << "1.02"
            << "(build0100)";
    QTest::newRow("letters are taken as text")
            << "" << QByteArray("abc") << QStringList{ updateText("m_version", "abc") } << "abc"
            << "";
    const QByteArray longText(4000, '9');
    QTest::newRow("very long") << "" << longText
                               << QStringList{ updateText("m_version",
                                                          QString::fromLatin1(longText)) }
                               << QString::fromLatin1(longText) << "";
}

void TestUnitVersions::versionRefresh()
{
    QFETCH(QString, tcpBuild);
    QFETCH(QByteArray, version);
    UdpMachineList table;
    feed(table, unit("1.02"));
    UdpMachineNode *node = table.nodes().first();
    if (!tcpBuild.isEmpty())
        readOverTcp(node, QStringLiteral("1.02"), tcpBuild);
    tick(table, 2);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);

    feed(table, unit(version));
    QTEST(texts(updated), "updates");
    QTEST(node->m_version, "recordVersion");
    QTEST(node->m_build, "recordBuild");
    QCOMPARE(node->m_count, 0);
    // No update run is involved: nothing to prove.
    QCOMPARE(node->m_after_update, QString());
}

void TestUnitVersions::backAfterUpdate_data()
{
    QTest::addColumn<int>("silentTicks");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QStringList>("updates");

    const QString back = updateText("m_after_update", "back");
    QTest::newRow("answers at once, as before") << 0 << QByteArray("1.02") << QStringList();
    QTest::newRow("two ticks of silence are no restart")
            << 2 << QByteArray("1.02") << QStringList();
    QTest::newRow("three ticks of silence, old version")
            << 3 << QByteArray("1.02") << QStringList{ back };
    QTest::newRow("long silence, old version") << 9 << QByteArray("1.02") << QStringList{ back };
    QTest::newRow("new version at once")
            << 0 << QByteArray("1.04")
            << QStringList{ updateText("m_version", "1.04"), updateText("m_build", ""), back };
    QTest::newRow("new version after the silence")
            << 7 << QByteArray("1.04")
            << QStringList{ updateText("m_version", "1.04"), updateText("m_build", ""), back };
    QTest::newRow("no version in the response, silence")
            << 5 << QByteArray("") << QStringList{ back };
}

void TestUnitVersions::backAfterUpdate()
{
    QFETCH(int, silentTicks);
    QFETCH(QByteArray, version);
    UdpMachineList table;
    QCOMPARE(table.returnSilenceTicks(), 3); // loopback only: no interface searched
    feed(table, unit("1.02"));
    UdpMachineNode *node = table.nodes().first();
    readOverTcp(node, QStringLiteral("1.02"), QStringLiteral("0100"));
    tick(table, 1);
    complete(node);
    QVERIFY(node->m_f_restarting);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);

    tick(table, silentTicks);
    feed(table, unit(version));
    QTEST(texts(updated), "updates");
    const bool isBack = !texts(updated).isEmpty();
    QCOMPARE(node->m_after_update, isBack ? QStringLiteral("back") : QString());
    QCOMPARE(node->m_f_restarting, !isBack);

    // Back once only; a unit still on its way counts its silence afresh.
    updated.clear();
    tick(table, 2);
    feed(table, unit(version));
    QCOMPARE(texts(updated), QStringList());
    if (!isBack) {
        tick(table, 3);
        feed(table, unit(version));
        QCOMPARE(texts(updated), QStringList{ updateText("m_after_update", "back") });
    }
}

void TestUnitVersions::backAfterAgeingOut()
{
    UdpMachineList table;
    QSignalSpy added(&table, &UdpMachineList::toUiAddNode);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);
    QSignalSpy removed(&table, &UdpMachineList::toUiRemoveNode);
    feed(table, unit("1.02"));
    feed(table, unit("1.02"));
    complete(table.nodes().first());
    tick(table, 11);
    QCOMPARE(removed.count(), 1);
    QVERIFY(table.nodes().isEmpty());

    // A new record for the same address, and its card learns that the unit
    // came back after its update, right behind the add.
    QSignalSpy order(&table, &UdpMachineList::toUiUpdateNode);
    feed(table, unit("1.04"));
    QCOMPARE(added.count(), 2);
    QCOMPARE(texts(updated), QStringList{ updateText("m_after_update", "back") });
    QCOMPARE(table.nodes().first()->m_after_update, QStringLiteral("back"));
    QVERIFY(!table.nodes().first()->m_f_restarting);

    // Only the first record after the update is back.
    tick(table, 11);
    feed(table, unit("1.04"));
    QCOMPARE(added.count(), 3);
    QCOMPARE(updated.count(), 1);
    QCOMPARE(table.nodes().first()->m_after_update, QString());
}

void TestUnitVersions::newRunForgetsTheReturn()
{
    UdpMachineList table;
    feed(table, unit("1.02"));
    UdpMachineNode *node = table.nodes().first();
    complete(node);
    tick(table, 4);
    feed(table, unit("1.02"));
    QCOMPARE(node->m_after_update, QStringLiteral("back"));

    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);
    QSignalSpy progress(&table, &UdpMachineList::toui_fwup_progress);
    // Nothing listens on the port: the run fails, which is all this needs.
    table.fwUpdateStart(kIp, QStringLiteral("pw"), QStringLiteral("1"));
    QCOMPARE(texts(updated), QStringList{ updateText("m_after_update", "") });
    QCOMPARE(progress.count(), 1); // "connecting...", after the update message
    QCOMPARE(node->m_after_update, QString());
    QTRY_COMPARE(node->m_fwup_state, UdpMachineNode::Idle);
    QVERIFY(progress.last().at(0).toString().startsWith(QLatin1String("ERROR: ")));
    // A failed run leaves nothing to watch for.
    tick(table, 5);
    feed(table, unit("1.02"));
    QCOMPARE(updated.count(), 1);
}

void TestUnitVersions::failedRunIsNotWatched()
{
    UdpMachineList table;
    feed(table, unit("1.02"));
    UdpMachineNode *node = table.nodes().first();
    emit node->m_comm.fwup_progress(QStringLiteral("ERROR: Connection refused"), kIp);
    emit node->m_comm.fwup_progress(QStringLiteral("Firmware update completed"), kIp);
    QVERIFY(!node->m_f_restarting);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);
    tick(table, 6);
    feed(table, unit("1.02"));
    QCOMPARE(updated.count(), 0);
}

void TestUnitVersions::checkForUnknownAddressEmitsNothing()
{
    UdpMachineList table;
    feed(table, unit("1.02"));
    QSignalSpy progress(&table, &UdpMachineList::toui_fwup_progress);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);
    table.fwVersionCheck(QStringLiteral("10.77.0.99"), QStringLiteral("pw"),
                         QStringLiteral("54726"));
    QCOMPARE(progress.count() + updated.count(), 0);
    QCOMPARE(table.nodes().first()->m_fwup_state, UdpMachineNode::Idle);
}

QTEST_GUILESS_MAIN(TestUnitVersions)
#include "tst_unitversions.moc"
