#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QVector>

struct UnitConfig;

namespace SsdpText {

// The maker's UPnP domain name that opens a unit's device description line:
// the build's (KVX_MAKER_DOMAIN) unless the configuration names another.
QByteArray domain();
void setDomain(const QByteArray &domain);

// The one search the updater sends, byte for byte.
QByteArray expectedSearch();

// Whether a datagram asks for a search at all (answered even when it is not the
// exact request, so that a deviation shows up as a violation, not as silence).
bool isSearch(const QByteArray &datagram);

// A unit's answer to a search, with the nickname it currently has.
QByteArray unitResponse(const UnitConfig &unit, const QString &nickname);

// Answers of other devices on the same network; none of them may be taken for a
// unit of the family, the last one deliberately close to one.
QVector<QByteArray> foreignResponses(const QHostAddress &from);

} // namespace SsdpText
