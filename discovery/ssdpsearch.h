#pragma once

#include <QByteArray>
#include <QStringList>

// The fixed parts of the SSDP search, kept free of sockets so that tests can
// check them byte for byte and drive the interface choice without interfaces.
namespace SsdpSearch {

constexpr const char kMulticastGroup[] = "239.255.255.250";
constexpr quint16 kPort = 1900;

// The 97-byte M-SEARCH request.
QByteArray mSearchRequest();

// The response that addTestTarget() feeds into the intake.
QByteArray testResponse();

// An interface is searched on when one of its address entries has a broadcast
// address that renders as four dot-separated parts not starting with "127".
// Entries without a broadcast (IPv6 among them) render empty and never qualify.
bool broadcastQualifies(const QString &broadcastText);
bool interfaceQualifies(const QStringList &broadcastTexts);

// Tick k (from 1) searches on interface k mod n.
int interfaceIndexForTick(int tick, int interfaceCount);

} // namespace SsdpSearch
