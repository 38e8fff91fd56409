#pragma once

// Drives the device table without a network: answers go straight into its
// intake, its coarse timer ticks when the test says so, and what it sends
// to the window is read back as texts.

#include "discovery/udpmm.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSignalSpy>
#include <QStringList>
#include <QTimerEvent>

namespace TableDriver {

// A unit's SSDP answer with the build's maker domain. An empty version
// leaves the key out (an empty value would make the next key the version).
inline QByteArray answer(const QByteArray &model, const QByteArray &name,
                         const QByteArray &version = "1.02", const QByteArray &uuid = "u-1")
{
    return "HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\nUSN: uuid:" + uuid
            + "::upnp:rootdevice\r\n" KVX_MAKER_DOMAIN ":device:model=" + model
            + (version.isEmpty() ? QByteArray() : ",version=" + version) + ",name=" + name
            + "\r\n\r\n";
}

inline void feed(UdpMachineList &table, const QByteArray &datagram, const QString &ip)
{
    table.handleSsdpResponse(datagram, QHostAddress(ip));
}

inline void tick(UdpMachineList &table, int times = 1)
{
    for (int i = 0; i < times; ++i) {
        QTimerEvent event(table.discoveryTimerId());
        QCoreApplication::sendEvent(&table, &event);
    }
}

// The update message for one member, written out as the window receives
// it: the keys sorted, so the member stands before or after m_ipaddr.
inline QString updateText(const QString &key, const QString &value, const QString &ip)
{
    const QString member = QStringLiteral("    \"%1\": \"%2\"").arg(key, value);
    const QString address = QStringLiteral("    \"m_ipaddr\": \"%1\"").arg(ip);
    const bool before = key < QLatin1String("m_ipaddr");
    return QStringLiteral("{\n    \"action\": \"update\",\n%1,\n%2\n}\n")
            .arg(before ? member : address, before ? address : member);
}

// The first argument of every emission, in order.
inline QStringList texts(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << args.at(0).toString();
    return out;
}

} // namespace TableDriver
