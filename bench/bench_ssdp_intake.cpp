// SSDP intake throughput: how many datagrams per second the table's real
// receive path (slot_udpReceived -> handleSsdpResponse) takes, against a bare
// receive loop on the same socket that reads the same datagrams and drops them.
// The ratio shows what the intake adds to the socket's own cost, so a flood of
// foreign SSDP traffic can be judged without absolute timings.
//
// The table sends SSDP multicast when it is built, so this refuses to run
// outside an isolated network namespace; all datagrams go over loopback:
//   unshare -n sh -c 'ip link set lo up; ./build/bench/bench_ssdp_intake'

#include "common/isolation.h"
#include "device/udpmachinenode.h"
#include "discovery/ssdpsearch.h"
#include "discovery/udpmm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QUdpSocket>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kBatch = 128; // datagrams queued before each timed drain
constexpr qint64 kMinNs = 250000000; // per measured loop and case
constexpr int kMinRounds = 20;

QByteArray unitResponse(int i)
{
    const QByteArray n = QByteArray::number(i);
    return "HTTP/1.1 200 OK\r\n"
           "CACHE-CONTROL: max-age=1800\r\n"
           "EXT:\r\n"
           "LOCATION: http://10.0.0.1:52881/simplecfg.xml\r\n"
           "SERVER: VORANT Realtek/V1.3\r\n"
           "ST: upnp:rootdevice\r\n"
           "USN: uuid:63041253-1019-2006-1228-"
            + n.rightJustified(12, '0')
            + "::upnp:rootdevice\r\n" KVX_MAKER_DOMAIN
              ":device:model=ZP-9E,version=1.02,name=Unit%20"
            + n
            + "\r\n"
              "\r\n";
}

// What else answers or announces on a home or studio network.
QList<QByteArray> foreignDatagrams()
{
    return {
        "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: upnp:rootdevice\r\n"
        "USN: uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice\r\nEXT:\r\n"
        "SERVER: Linux/5.4 UPnP/1.0 MiniUPnPd/2.2\r\n"
        "LOCATION: http://192.168.1.1:5000/rootDesc.xml\r\nOPT: "
        "\"http://schemas.upnp.org/upnp/1/0/\"; ns=01\r\n"
        "01-NLS: 1\r\nBOOTID.UPNP.ORG: 1\r\nCONFIGID.UPNP.ORG: 1337\r\n\r\n",
        "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\n"
        "LOCATION: http://192.168.1.20:8200/rootDesc.xml\r\nNT: "
        "urn:schemas-upnp-org:device:MediaServer:1\r\n"
        "NTS: ssdp:alive\r\nSERVER: 5.10 DLNADOC/1.50 UPnP/1.0 MiniDLNA/1.3.0\r\n"
        "USN: "
        "uuid:4d696e69-444c-164e-9d41-b827eb2c1f0e::urn:schemas-upnp-org:device:MediaServer:"
        "1\r\n\r\n",
        "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\n"
        "ST: urn:dial-multiscreen-org:service:dial:1\r\nUSER-AGENT: Chromium/118.0 Linux\r\n\r\n",
    };
}

std::unique_ptr<QUdpSocket> sender(const QString &ip)
{
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress(ip), 0)) {
        std::fprintf(stderr, "cannot bind %s: %s\n", qPrintable(ip),
                     qPrintable(socket->errorString()));
        std::exit(1);
    }
    return socket;
}

// Queues kBatch datagrams on the table's socket; sender i % n sends datagram i % m.
void fill(const std::vector<std::unique_ptr<QUdpSocket>> &from, const QList<QByteArray> &datagrams,
          QUdpSocket *to)
{
    for (int i = 0; i < kBatch; ++i) {
        from[size_t(i) % from.size()]->writeDatagram(datagrams.at(i % datagrams.size()),
                                                     QHostAddress(QHostAddress::LocalHost),
                                                     to->localPort());
    }
    for (int wait = 0; !to->hasPendingDatagrams() && wait < 100; ++wait)
        QThread::usleep(100);
}

// The receive loop of slot_udpReceived without the intake.
int bareDrain(QUdpSocket *socket, QByteArray &buffer)
{
    int count = 0;
    do {
        buffer.resize(int(qMax<qint64>(0, socket->pendingDatagramSize())));
        QHostAddress from;
        quint16 port = 0;
        socket->readDatagram(buffer.data(), buffer.size(), &from, &port);
        ++count;
    } while (socket->hasPendingDatagrams());
    return count;
}

// What the intake would cost if it built a record (with its Communication and
// TCP socket) for every datagram before looking at it.
int recordPerDatagramDrain(QUdpSocket *socket, QByteArray &buffer)
{
    int count = 0;
    do {
        buffer.resize(int(qMax<qint64>(0, socket->pendingDatagramSize())));
        QHostAddress from;
        quint16 port = 0;
        socket->readDatagram(buffer.data(), buffer.size(), &from, &port);
        delete new UdpMachineNode(buffer, from);
        ++count;
    } while (socket->hasPendingDatagrams());
    return count;
}

void populate(UdpMachineList &table, int units, const QStringList &lastAddresses,
              int firstSenderUnit)
{
    const int plain = units - lastAddresses.size();
    for (int i = 0; i < plain; ++i)
        table.handleSsdpResponse(unitResponse(i),
                                 QHostAddress(quint32(0x0A000000u + 0x0100u + quint32(i))));
    // The units that will answer go last: the intake finds them after the longest search.
    for (int i = 0; i < lastAddresses.size(); ++i)
        table.handleSsdpResponse(unitResponse(firstSenderUnit + i),
                                 QHostAddress(lastAddresses.at(i)));
    if (table.nodes().size() != units) {
        std::fprintf(stderr, "table holds %d units, expected %d\n", int(table.nodes().size()),
                     units);
        std::exit(1);
    }
}

struct Result
{
    double bareRate = 0;
    double intakeRate = 0;
    double altRate = 0; // record-per-datagram variant, where measured
    int lost = 0;
};

// One round: fill + timed intake drain, fill + timed bare drain (and the
// record variant), interleaved so that both see the same machine load.
Result measure(const std::function<UdpMachineList *()> &tableForRound,
               const std::vector<std::unique_ptr<QUdpSocket>> &from,
               const QList<QByteArray> &datagrams, bool expectNew, bool withRecordVariant)
{
    qint64 intakeNs = 0, bareNs = 0, altNs = 0;
    qint64 intakeCount = 0, bareCount = 0, altCount = 0;
    int lost = 0;
    QByteArray buffer;
    QElapsedTimer timer;
    for (int round = 0; round < kMinRounds || intakeNs < kMinNs || bareNs < kMinNs; ++round) {
        UdpMachineList *table = tableForRound();
        QUdpSocket *socket = table->udpSocket();

        const int unitsBefore = table->nodes().size();
        fill(from, datagrams, socket);
        timer.start();
        table->slot_udpReceived();
        intakeNs += timer.nsecsElapsed();
        intakeCount += kBatch;
        // Guard against timing the wrong path: only newcomers may join.
        if (table->nodes().size() != unitsBefore + (expectNew ? kBatch : 0)) {
            std::fprintf(stderr, "table went from %d to %d units\n", unitsBefore,
                         int(table->nodes().size()));
            std::exit(1);
        }

        fill(from, datagrams, socket);
        timer.start();
        const int read = bareDrain(socket, buffer);
        bareNs += timer.nsecsElapsed();
        bareCount += read;
        lost += kBatch - read; // the intake drains the same queue, so it loses as many

        if (withRecordVariant) {
            fill(from, datagrams, socket);
            timer.start();
            altCount += recordPerDatagramDrain(socket, buffer);
            altNs += timer.nsecsElapsed();
        }
    }
    Result r;
    r.bareRate = bareCount * 1e9 / double(bareNs);
    r.intakeRate = intakeCount * 1e9 / double(intakeNs);
    r.altRate = altNs ? altCount * 1e9 / double(altNs) : 0;
    r.lost = lost;
    return r;
}

void print(int units, const char *name, const Result &r)
{
    // Cost per datagram is the inverse of the rate; "added" is what the
    // intake spends on top of the socket's own read, in units of that read.
    const double added = r.bareRate / r.intakeRate - 1.0;
    std::printf("%6d  %-26s %12.0f %12.0f %9.2f %9.2f", units, name, r.bareRate, r.intakeRate,
                r.bareRate / r.intakeRate, added);
    if (r.altRate > 0)
        std::printf("   record per datagram: %.0f/s, added %.2f", r.altRate,
                    r.bareRate / r.altRate - 1.0);
    if (r.lost)
        std::printf("   (%d datagrams lost)", r.lost);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!networkIsIsolated()) {
        std::fprintf(stderr,
                     "refusing to start SSDP discovery outside an isolated network namespace; run\n"
                     "  unshare -n sh -c 'ip link set lo up; %s'\n",
                     argv[0]);
        return 1;
    }

    std::printf(
            "SSDP intake throughput over loopback, batches of %d datagrams, %d+ rounds per row\n"
            "(no event loop runs: the drains are called directly, the discovery timer never "
            "fires)\n\n",
            kBatch, kMinRounds);
    std::printf("%6s  %-26s %12s %12s %9s %9s\n", "units", "datagrams", "bare recv/s", "intake/s",
                "cost x", "added x");

    const QList<QByteArray> foreign = foreignDatagrams();

    std::vector<std::unique_ptr<QUdpSocket>> foreignSenders;
    foreignSenders.push_back(sender(QStringLiteral("127.0.0.2")));

    constexpr int kRepeaters = 8;
    std::vector<std::unique_ptr<QUdpSocket>> repeaters;
    QStringList repeaterAddresses;
    QList<QByteArray> repeats;
    for (int i = 0; i < kRepeaters; ++i) {
        repeaterAddresses << QStringLiteral("127.0.1.%1").arg(i + 1);
        repeaters.push_back(sender(repeaterAddresses.last()));
    }
    constexpr int kRepeaterUnit = 5000;
    for (int i = 0; i < kRepeaters; ++i)
        repeats << unitResponse(kRepeaterUnit + i);

    // One sender per datagram of a batch, so every datagram is a new unit.
    std::vector<std::unique_ptr<QUdpSocket>> newcomers;
    QList<QByteArray> newcomerResponses;
    for (int i = 0; i < kBatch; ++i) {
        newcomers.push_back(sender(QStringLiteral("127.0.2.%1").arg(i + 1)));
        newcomerResponses << unitResponse(7000 + i);
    }

    for (int units : { 10, 100, 1000 }) {
        {
            UdpMachineList table;
            populate(table, units, repeaterAddresses, kRepeaterUnit);
            print(units, "(a) foreign, rejected",
                  measure([&] { return &table; }, foreignSenders, foreign, false, units == 100));
            // Sender i sends response i: every datagram repeats what its unit said.
            print(units, "(b) repeats of known units",
                  measure([&] { return &table; }, repeaters, repeats, false, false));
        }
        {
            std::unique_ptr<UdpMachineList> table;
            print(units, "(c) new units",
                  measure(
                          [&] {
                              table = std::make_unique<UdpMachineList>();
                              populate(*table, units, {}, 0);
                              return table.get();
                          },
                          newcomers, newcomerResponses, true, false));
        }
    }
    std::printf("\ncost x = intake time / bare receive time per datagram; added x = cost x - 1\n"
                "(b): the answering units sit at the end of the table; (c): the table grows by %d "
                "per round\n",
                kBatch);
    return 0;
}
