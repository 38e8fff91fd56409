#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkInterface>
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

// What the interface choice reads of one interface. Taken from the system's
// list, or made up by a test (then without `iface`).
struct InterfaceCandidate
{
    QString name;
    int index = 0;
    bool up = false;
    bool running = false;
    bool multicast = false;
    bool loopback = false;
    QStringList addresses; // of its address entries, as text
    QStringList broadcasts; // of the same entries, as text ("" without one)
    QNetworkInterface iface; // what the socket is given to search on

    static InterfaceCandidate fromInterface(const QNetworkInterface &iface);
};

// Only an interface that is up, running, can multicast and is no loopback,
// and that has a qualifying broadcast address, is searched on: a search goes
// nowhere on the others (adapters unplugged or switched off, tunnels without
// multicast).
bool candidateQualifies(const InterfaceCandidate &candidate);
QList<InterfaceCandidate> chooseInterfaces(const QList<InterfaceCandidate> &all);

// What tells two choices apart: name, index and addresses of each interface,
// in order. A change means the searches go elsewhere from now on.
QStringList interfaceKeys(const QList<InterfaceCandidate> &chosen);

// The list of interfaces is read again every this many ticks, so that an
// adapter that joins the units' network later is searched on within about
// 12 s, and one that went away is no longer searched.
constexpr int kInterfaceRefreshTicks = 10;
bool interfaceRefreshDue(int tick);

// Silent ticks after which an idle unit is dropped. With n interfaces in
// rotation a unit is asked only every n ticks, so it may miss one answer
// before it goes: two rounds, plus three ticks for an answer that a unit
// delays by up to MX (3 s) and that lands after the next round's search; never
// less than the ten ticks of one or a few interfaces.
int silentTickLimit(int interfaceCount);

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
