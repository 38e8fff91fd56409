#include "common/isolation.h"
#include "discovery/udpmm.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

class TestUdpMachineList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void metaObjectInterface();
    void fwUpdateStartForUnknownAddressEmitsNothing();
};

void TestUdpMachineList::initTestCase()
{
    KVX_REQUIRE_ISOLATED_NETWORK();
}

// QML binds to these by name and the order is part of the published interface.
void TestUdpMachineList::metaObjectInterface()
{
    const QMetaObject &meta = UdpMachineList::staticMetaObject;
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QString kind = method.methodType() == QMetaMethod::Signal ? "signal"
                     : method.methodType() == QMetaMethod::Slot   ? "slot"
                                                                  : "method";
        methods << kind + QLatin1Char(' ') + QString::fromLatin1(method.methodSignature())
                       + QLatin1Char(' ') + QString::fromLatin1(method.parameterNames().join(','));
    }
    QCOMPARE(methods, (QStringList{
                          "signal toui_fwup_progress(QString,QString) arg_progress,arg_ipaddr",
                          "signal toUiAddNode(QString) arg_str_add",
                          "signal toUiRemoveNode(QString) arg_str_remove",
                          "signal toUiUpdateNode(QString) arg_str_update",
                          "slot slot_udpReceived() ",
                          "method addTestTarget() ",
                          "method fwUpdateStart(QString,QString,QString) arg_ipaddr,arg_password,arg_port",
                      }));
}

void TestUdpMachineList::fwUpdateStartForUnknownAddressEmitsNothing()
{
    UdpMachineList table;
    QSignalSpy progress(&table, &UdpMachineList::toui_fwup_progress);
    QSignalSpy added(&table, &UdpMachineList::toUiAddNode);
    QSignalSpy updated(&table, &UdpMachineList::toUiUpdateNode);
    QSignalSpy removed(&table, &UdpMachineList::toUiRemoveNode);
    table.fwUpdateStart(QStringLiteral("10.77.0.10"), QStringLiteral("secret"), QStringLiteral("54726"));
    QTest::qWait(50);
    QCOMPARE(progress.count() + added.count() + updated.count() + removed.count(), 0);
    QVERIFY(table.nodes().isEmpty());
}

QTEST_GUILESS_MAIN(TestUdpMachineList)
#include "tst_udpmachinelist.moc"
