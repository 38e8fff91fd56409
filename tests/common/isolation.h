#pragma once

#include "discovery/ssdpsearch.h"

#include <QNetworkInterface>
#include <QStringList>

// Building the device table starts SSDP multicast on every interface with an
// IPv4 broadcast address. Tests that build it refuse to run unless the process
// sits in a network namespace where no interface qualifies (./test.sh runs the
// suite under `unshare -n`), so the host's network never sees their traffic.
inline bool networkIsIsolated()
{
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        QStringList broadcasts;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            broadcasts << entry.broadcast().toString();
        if (SsdpSearch::interfaceQualifies(broadcasts))
            return false;
    }
    return true;
}

// In the network lab the table must search on the lab's own veth end alone,
// with lab addresses only, so that no search can leave the two namespaces.
inline bool onlyTheLabInterfaceQualifies(QString *why)
{
    const QString lab = qEnvironmentVariable("KVX_LAB_UPD_IFACE");
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        QStringList broadcasts;
        bool inLabSubnet = true;
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            broadcasts << entry.broadcast().toString();
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol
                && !entry.ip().isInSubnet(QHostAddress(QStringLiteral("10.77.0.0")), 24))
                inLabSubnet = false;
        }
        if (!SsdpSearch::interfaceQualifies(broadcasts))
            continue;
        if (lab.isEmpty() || iface.name() != lab || !inLabSubnet) {
            *why = QStringLiteral("interface %1 would be searched on").arg(iface.name());
            return false;
        }
    }
    return true;
}

#define KVX_REQUIRE_ISOLATED_NETWORK() \
    do { \
        if (!networkIsIsolated()) \
            QFAIL("refusing to start SSDP discovery outside an isolated network namespace " \
                  "(run the suite through ./test.sh)"); \
    } while (false)
