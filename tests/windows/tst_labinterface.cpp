// Built for Windows and run under Wine in the network lab (tools/windows/
// test.sh): the device table, on Windows' own interface list and socket code,
// searches on the lab's interface alone, the one that carries the updater's
// lab address, and its first search sets the socket's outgoing multicast
// interface to it.
#include "discovery/udpmm.h"

#include <QNetworkInterface>
#include <QTest>
#include <QUdpSocket>

class TestLabInterface : public QObject
{
    Q_OBJECT

private slots:
    void searchesOnTheLabInterfaceOnly();
};

void TestLabInterface::searchesOnTheLabInterfaceOnly()
{
    const QString lab = qEnvironmentVariable("KVX_LAB_UPDATER_ADDR");
    if (lab.isEmpty())
        QSKIP("needs the network lab (tools/netlab/netlab)");
    UdpMachineList table;
    const QList<QNetworkInterface> &ifaces = table.searchInterfaces();
    QCOMPARE(ifaces.size(), 1);
    QStringList ipv4;
    QStringList broadcasts;
    const QList<QNetworkAddressEntry> entries = ifaces.at(0).addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        ipv4 << entry.ip().toString();
        broadcasts << entry.broadcast().toString();
    }
    QCOMPARE(ipv4, QStringList{ lab });
    QCOMPARE(broadcasts, QStringList{ QStringLiteral("10.77.0.255") });
    // Windows' own name is its kind and number; the name it shows is the lab's.
    QCOMPARE(ifaces.at(0).humanReadableName(), qEnvironmentVariable("KVX_LAB_UPD_IFACE"));

    QTRY_VERIFY_WITH_TIMEOUT(table.searchCount() >= 1, 5000);
    QCOMPARE(table.udpSocket()->multicastInterface().index(), ifaces.at(0).index());
}

QTEST_GUILESS_MAIN(TestLabInterface)
#include "tst_labinterface.moc"
