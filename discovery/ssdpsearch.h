#pragma once

#include <QByteArray>
#include <QList>
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

// Positions of the qualifying interfaces, in the system's order, given the
// broadcast texts of every interface's address entries.
QList<int> chooseInterfaces(const QList<QStringList> &broadcastTextsPerInterface);

// Tick k (from 1) searches on interface k mod n; -1 without interfaces.
int interfaceIndexForTick(int tick, int interfaceCount);

// What one search does. With one interface the outgoing multicast interface is
// set once, at the first search after start; with several it follows the
// rotation at every search.
struct SearchStep
{
    bool send = false;
    int index = -1;
    bool setInterface = false;
    bool ifaceChangedAfter = false;
};
SearchStep searchStep(int tick, int interfaceCount, bool ifaceChanged);

} // namespace SsdpSearch
