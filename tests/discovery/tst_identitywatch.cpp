#include "discovery/identitywatch.h"
#include "discovery/udpmm.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>

// Who a unit says it is: a UUID announced from two addresses at once, or from
// another address earlier in the run, is warned about, in the table's exact
// words; the node messages stay as they are.
class TestIdentityWatch : public QObject
{
    Q_OBJECT

private slots:
    void warnings_data();
    void warnings();
    void shownText();
    void throughTheTable();
};

namespace {

const QString kUuid = QStringLiteral("63041253-1019-2006-1228-aabbccddeeff");

QByteArray response(const QByteArray &uuid)
{
    return "HTTP/1.1 200 OK\r\nSERVER: VORANT Realtek/V1.3\r\nUSN: uuid:" + uuid
            + "::upnp:rootdevice\r\n\r\n";
}

} // namespace

void TestIdentityWatch::warnings_data()
{
    // Events: "+address uuid" a unit announced, "-address" a unit left.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<bool>("lastChanged"); // whether the last event changed anything
    const QString same = QStringLiteral("%1 announces the same UUID ") + kUuid;
    const QString moved = QStringLiteral("UUID ") + kUuid
            + QStringLiteral(" was announced by %1 "
                             "earlier in this run");
    QTest::newRow("one unit") << QStringList{ "+a " + kUuid } << "a" << QStringList() << false;
    QTest::newRow("no UUID at two addresses")
            << QStringList{ "+a ", "+b " } << "b" << QStringList() << false;
    QTest::newRow("two at once, the first") << QStringList{ "+a " + kUuid, "+b " + kUuid } << "a"
                                            << QStringList{ same.arg("b") } << true;
    QTest::newRow("two at once, the second") << QStringList{ "+a " + kUuid, "+b " + kUuid } << "b"
                                             << QStringList{ same.arg("a") } << true;
    QTest::newRow("three at once") << QStringList{ "+a " + kUuid, "+b " + kUuid, "+c " + kUuid }
                                   << "a" << QStringList{ same.arg("b, c") } << true;
    QTest::newRow("repeat changes nothing")
            << QStringList{ "+a " + kUuid, "+b " + kUuid, "+b " + kUuid } << "a"
            << QStringList{ same.arg("b") } << false;
    QTest::newRow("the other left")
            << QStringList{ "+a " + kUuid, "+b " + kUuid, "-b" } << "a" << QStringList() << true;
    QTest::newRow("moved") << QStringList{ "+a " + kUuid, "-a", "+b " + kUuid } << "b"
                           << QStringList{ moved.arg("a") } << true;
    QTest::newRow("the first address is not the one that moved")
            << QStringList{ "+a " + kUuid, "-a", "+b " + kUuid, "-b", "+a " + kUuid } << "a"
            << QStringList() << false;
    QTest::newRow("moved and doubled")
            << QStringList{ "+a " + kUuid, "-a", "+b " + kUuid, "+c " + kUuid } << "c"
            << QStringList{ same.arg("b"), moved.arg("a") } << true;
    QTest::newRow("a unit changed its UUID away")
            << QStringList{ "+a " + kUuid, "+b " + kUuid, "+b other" } << "a" << QStringList()
            << true;
    QTest::newRow("unknown address")
            << QStringList{ "+a " + kUuid } << "z" << QStringList() << false;
}

void TestIdentityWatch::warnings()
{
    QFETCH(QStringList, events);
    QFETCH(QString, address);
    IdentityWatch watch;
    bool changed = false;
    for (const QString &event : events) {
        const QString rest = event.mid(1);
        if (event.startsWith(QLatin1Char('+')))
            changed = watch.seen(rest.section(QLatin1Char(' '), 0, 0),
                                 rest.section(QLatin1Char(' '), 1));
        else
            changed = watch.forget(rest);
    }
    QTEST(watch.warnings(address), "warnings");
    QTEST(changed, "lastChanged");
}

void TestIdentityWatch::shownText()
{
    QCOMPARE(IdentityWatch::shownText({}), QString());
    QCOMPARE(IdentityWatch::shownText({ QString::fromUtf8("b announces the same UUID x\u202Ey") }),
             QStringLiteral("b announces the same UUID x<U+202E>y\nAny host can answer as a unit. "
                            "Make sure this is the unit you mean before you send it the "
                            "password."));
}

void TestIdentityWatch::throughTheTable()
{
    UdpMachineList table;
    QSignalSpy changed(&table, &UdpMachineList::identityWarningsChanged);
    QSignalSpy added(&table, &UdpMachineList::toUiAddNode);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);
    const QString a = QStringLiteral("10.77.0.20");
    const QString b = QStringLiteral("10.77.0.21");
    table.handleSsdpResponse(response(kUuid.toLatin1()), QHostAddress(a));
    table.handleSsdpResponse(response(kUuid.toLatin1()), QHostAddress(a));
    QCOMPARE(changed.count(), 0);
    const int revision = table.identityRevision();
    table.handleSsdpResponse(response(kUuid.toLatin1()), QHostAddress(b));
    QCOMPARE(changed.count(), 1);
    QVERIFY(table.identityRevision() != revision);
    QCOMPARE(table.identityWarnings(a),
             QStringList{ QStringLiteral("10.77.0.21 announces the same UUID ") + kUuid });
    QVERIFY(table.identityWarningText(b).startsWith(QStringLiteral("10.77.0.20 announces")));
    // The node messages are what they always were: two adds, no update.
    QCOMPARE(added.count(), 2);
    QCOMPARE(updated.count(), 0);
    QVERIFY(!added.at(1).at(0).toString().contains(QStringLiteral("warn")));

    // The second ages out: the first is alone with its UUID again.
    for (int i = 0; i <= SsdpSearch::silentTickLimit(table.searchInterfaceCount()); ++i) {
        table.handleSsdpResponse(response(kUuid.toLatin1()), QHostAddress(a));
        QTimerEvent event(table.discoveryTimerId());
        QCoreApplication::sendEvent(&table, &event);
    }
    QCOMPARE(table.nodes().size(), 1);
    QCOMPARE(table.identityWarnings(a), QStringList());
    QCOMPARE(changed.count(), 2);
    QCOMPARE(table.shownText(QString::fromUtf8("\u202Eevil")), QStringLiteral("<U+202E>evil"));
}

QTEST_GUILESS_MAIN(TestIdentityWatch)
#include "tst_identitywatch.moc"
