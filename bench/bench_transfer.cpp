// One full firmware update over loopback, measured three ways in the same
// process: through the updater's classes (MixerProtocol + Communication on the
// Qt event loop) with the socket opened buffered and unbuffered, and through a
// minimal blocking POSIX client doing the same exchange (login, two queries,
// start, stop-and-wait data commands, end) against the same responder. The
// ratio to the POSIX client shows what the updater adds over the round trips
// themselves; the two socket modes are compared with each other; units that
// end their texts not at all or with a NUL are compared with the CR LF one.
// Prints figures; asserts nothing.
//
//   bench_transfer [--runs N (default 11)] [--updater-only] [--target ADDR:PORT --password P]
//
// Without --target it starts its own responder, a minimal unit that answers
// every command at once (no flash write delay): a process of its own on POSIX,
// a thread on Windows (rawsocket.h; there the "posix" client is the same
// blocking client on Winsock). --target points it at an
// external unit (kvx-devsim in the network lab); only loopback and lab
// addresses (10.77.0.0/24) are accepted.
#include "protocol/communication.h"
#include "rawsocket.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using RawSocket::Endpoint;
using RawSocket::Handle;

struct Sample
{
    double wall = 0;
    double cpu = 0;
    bool ok = false;
};

// Blocking line reader over a socket, shared by the responder and the client.
class Conn
{
public:
    explicit Conn(Handle fd) : m_fd(fd) { }
    ~Conn() { RawSocket::close(m_fd); }

    bool fill()
    {
        char chunk[65536];
        const long n = RawSocket::readSome(m_fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        m_buf.append(chunk, size_t(n));
        return true;
    }
    // Up to and without the LF; CRs stripped.
    bool line(std::string &out)
    {
        for (;;) {
            const size_t nl = m_buf.find('\n', m_pos);
            if (nl != std::string::npos) {
                out.assign(m_buf, m_pos, nl - m_pos);
                out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
                m_pos = nl + 1;
                compact();
                return true;
            }
            if (!fill())
                return false;
        }
    }
    // A command head: up to LF, or up to and including " bin:" (raw data follows).
    bool head(std::string &out, bool &raw)
    {
        for (;;) {
            const size_t nl = m_buf.find('\n', m_pos);
            const size_t bin = m_buf.find(" bin:", m_pos);
            if (bin != std::string::npos && (nl == std::string::npos || bin < nl)) {
                out.assign(m_buf, m_pos, bin - m_pos);
                m_pos = bin + 5;
                raw = true;
                return true;
            }
            if (nl != std::string::npos) {
                raw = false;
                return line(out);
            }
            if (!fill())
                return false;
        }
    }
    bool skip(size_t n)
    {
        while (m_buf.size() - m_pos < n) {
            if (!fill())
                return false;
        }
        m_pos += n;
        compact();
        return true;
    }
    bool startsWith(const char *prefix)
    {
        const size_t n = std::strlen(prefix);
        while (m_buf.size() - m_pos < n) {
            if (!fill())
                return false;
        }
        return m_buf.compare(m_pos, n, prefix) == 0;
    }
    void dropPending()
    {
        m_buf.clear();
        m_pos = 0;
    }
    bool send(const std::string &bytes) { return send(bytes.data(), bytes.size()); }
    bool send(const char *data, size_t size)
    {
        while (size > 0) {
            const long n = RawSocket::writeSome(m_fd, data, size);
            if (n <= 0)
                return false;
            data += n;
            size -= size_t(n);
        }
        return true;
    }

private:
    void compact()
    {
        if (m_pos > 65536) {
            m_buf.erase(0, m_pos);
            m_pos = 0;
        }
    }
    Handle m_fd;
    std::string m_buf;
    size_t m_pos = 0;
};

// --- the responder: a unit that answers at once -----------------------------

// The password picks how the unit ends its texts: "<p>-unended" not at all,
// "<p>-nul" with a NUL (C strings sent whole), any other with CR LF.
void serveOne(Handle fd)
{
    Conn c(fd);
    std::string text;
    bool raw = false;
    if (!c.line(text)) // wake-up
        return;
    c.send("Enter Password:");
    if (!c.line(text))
        return;
    auto endsWith = [&](const char *suffix) {
        const size_t n = std::strlen(suffix);
        return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
    };
    const std::string end = endsWith("-unended") ? std::string()
            : endsWith("-nul")                   ? std::string(1, '\0')
                                                 : std::string("\r\n");
    c.send("Login Successful" + end);
    while (c.head(text, raw)) {
        if (raw) {
            const size_t at = text.find("SIZE:");
            const size_t size =
                    at == std::string::npos ? 0 : std::strtoul(text.c_str() + at + 5, nullptr, 16);
            if (!c.skip(size + 2))
                return;
            c.send("OK SET" + end);
        } else if (text == "GET DEVICE/NAME") {
            c.send("OK GET DEVICE/NAME:\"BENCH\"" + end);
        } else if (text == "GET DEVICE/VER/SYSTEM") {
            c.send("OK GET DEVICE/VER/SYSTEM:V1.04B0119" + end);
        } else if (text.rfind("SET ", 0) == 0) {
            c.send("OK SET" + end);
        } else if (!text.empty()) {
            c.send("NG" + end);
        }
    }
}

// --- the two clients ----------------------------------------------------------

// The same exchange, blocking, with nothing around it.
Q_NEVER_INLINE bool runPosixTransfer(const Endpoint &address, const std::string &password,
                                     const QByteArray &image)
{
    const Handle fd = RawSocket::connectTo(address);
    if (fd == RawSocket::kInvalid)
        return false;
    Conn c(fd);
    std::string reply;
    char hex[64];
    if (!c.send("\r\n") || !(c.startsWith("Enter Password") || c.startsWith("Entry Password")))
        return false;
    c.dropPending();
    if (!c.send(password + "\r\n") || !c.startsWith("Login Successful"))
        return false;
    c.dropPending();
    if (!c.send("GET DEVICE/NAME\r\n") || !c.line(reply))
        return false;
    if (!c.send("GET DEVICE/VER/SYSTEM\r\n") || !c.line(reply))
        return false;
    std::snprintf(hex, sizeof hex, "SET UPDATE/SYSTEM:STA SIZE:%x\r\n", unsigned(image.size()));
    if (!c.send(hex) || !c.line(reply) || reply != "OK SET")
        return false;
    std::string block;
    for (int offset = 0; offset < image.size(); offset += 512) {
        const int n = std::min(512, image.size() - offset);
        std::snprintf(hex, sizeof hex, "SET UPDATE/SYSTEM:BIN SIZE:%x offset:%x bin:", unsigned(n),
                      unsigned(offset));
        block.assign(hex);
        block.append(image.constData() + offset, size_t(n));
        block.append("\r\n");
        if (!c.send(block) || !c.line(reply) || reply != "OK SET")
            return false;
    }
    return c.send("SET UPDATE/SYSTEM:END\r\n") && c.line(reply) && reply == "OK SET";
}

// One run through the updater's classes, wired as the device record wires
// them; returns when the run has ended.
Q_NEVER_INLINE bool runUpdaterTransfer(const QString &host, const QString &password,
                                       const QByteArray &image, bool unbuffered)
{
    Communication comm;
    comm.m_protocol.m_unbufferedSocket = unbuffered;
    QEventLoop loop;
    QString last;
    bool started = false;
    QObject::connect(&comm, &Communication::fwup_progress,
                     [&](QString text, QString) { last = text; });
    QObject::connect(&comm, &Communication::fwup_initCompleted, [&] {
        if (!started) {
            started = true;
            comm.startUpdate(&image);
        }
    });
    QObject::connect(&comm, &Communication::sig_notifyMessage, [&](QString message) {
        if (message == QLatin1String("fwup_completed")) {
            comm.stopUpdate();
            loop.quit();
        }
    });
    MixerProtocol &protocol = comm.m_protocol;
    comm.linkProtocol();
    protocol.connectToDevice(host, password);
    comm.m_deviceAddress = host.section(QLatin1Char(':'), 0, 0);
    comm.m_sentBytes = 0;
    loop.exec();
    if (last != QLatin1String("Firmware update completed."))
        std::fprintf(stderr, "updater run ended with: %s\n", qPrintable(last));
    return last == QLatin1String("Firmware update completed.");
}

template<typename F>
Sample measure(F &&run)
{
    Sample s;
    const double w0 = RawSocket::wallSeconds();
    const double c0 = RawSocket::cpuSeconds();
    s.ok = run();
    s.cpu = RawSocket::cpuSeconds() - c0;
    s.wall = RawSocket::wallSeconds() - w0;
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty()       ? 0
            : v.size() % 2 ? v[v.size() / 2]
                           : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

bool allowedTarget(const QHostAddress &address)
{
    return address.isLoopback()
            || address.isInSubnet(QHostAddress(QStringLiteral("10.77.0.0")), 24);
}

[[noreturn]] void usage()
{
    std::fprintf(stderr,
                 "usage: bench_transfer [--runs N] [--updater-only] [--target ADDR:PORT --password "
                 "P]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 11;
    bool updaterOnly = false;
    QString target;
    QString password = QStringLiteral("bench");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--updater-only")
            updaterOnly = true;
        else if (arg == "--target" && i + 1 < argc)
            target = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--password" && i + 1 < argc)
            password = QString::fromLocal8Bit(argv[++i]);
        else
            usage();
    }

    Endpoint address;
    if (target.isEmpty()) {
        // Before Qt starts, so that a forked responder is a plain process.
        address.ipv4 = 0x7f000001;
        address.port = RawSocket::startResponder(serveOne);
        if (address.port == 0) {
            std::fprintf(stderr, "responder: cannot listen on 127.0.0.1\n");
            return 1;
        }
        target = QStringLiteral("127.0.0.1:%1").arg(address.port);
    } else {
        const QHostAddress host(target.section(QLatin1Char(':'), 0, 0));
        const int port = target.section(QLatin1Char(':'), 1, 1).toInt();
        if (host.protocol() != QAbstractSocket::IPv4Protocol || port <= 0 || port > 65535) {
            std::fprintf(stderr, "--target wants an IPv4 ADDR:PORT\n");
            return 2;
        }
        if (!allowedTarget(host)) {
            std::fprintf(stderr, "refusing %s: only loopback and the lab network 10.77.0.0/24\n",
                         qPrintable(host.toString()));
            return 2;
        }
        address.ipv4 = host.toIPv4Address();
        address.port = quint16(port);
    }

    QCoreApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    QFile file(QStringLiteral(":/Resource/binfile"));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no embedded image\n");
        return 1;
    }
    const QByteArray image = file.readAll();
    const int commands = (image.size() + 511) / 512;
    std::printf("image %d bytes, %d data commands, target %s, %d run(s)\n", image.size(), commands,
                qPrintable(target), runs);

    // The clients: the updater with its socket buffered, the updater
    // unbuffered (the product's mode), the POSIX client; then the updater
    // (unbuffered) against the built-in unit ending its texts not at all and
    // with a NUL.
    const int kinds = target == QStringLiteral("127.0.0.1:%1").arg(address.port) ? 5 : 3;
    const char *const names[] = { "buffered", "unbuffd", "posix", "unended", "nul" };
    std::vector<double> wall[5], cpu[5];
    bool ok = true;
    for (int run = 0; run < runs; ++run) {
        // Rotate the order so that no client always runs on a warm cache.
        for (int k = 0; k < kinds; ++k) {
            const int client = (run + k) % kinds;
            if (client == 2 && updaterOnly)
                continue;
            const QString style = client == 3 ? QStringLiteral("-unended")
                    : client == 4             ? QStringLiteral("-nul")
                                              : QString();
            const Sample s = client != 2
                    ? measure([&] {
                          return runUpdaterTransfer(target, password + style, image, client != 0);
                      })
                    : measure([&] {
                          return runPosixTransfer(address, password.toStdString(), image);
                      });
            ok = ok && s.ok;
            std::printf("run %d %-8s wall %8.2f ms  cpu %8.2f ms  %s\n", run + 1, names[client],
                        s.wall * 1e3, s.cpu * 1e3, s.ok ? "ok" : "FAILED");
            wall[client].push_back(s.wall);
            cpu[client].push_back(s.cpu);
        }
    }

    std::printf("\n");
    for (int client = 0; client < 2; ++client) {
        std::printf("median of %d  updater %-8s wall %.2f ms, cpu %.2f ms (%.2f us cpu per data "
                    "command)\n",
                    runs, names[client], median(wall[client]) * 1e3, median(cpu[client]) * 1e3,
                    median(cpu[client]) * 1e6 / commands);
    }
    const double saving = 1.0 - median(wall[1]) / median(wall[0]);
    std::printf("unbuffered saves %.1f %% of the buffered wall time (keep it at 5 %% or more)\n",
                saving * 100);
    if (!updaterOnly) {
        std::printf("median of %d  posix:   wall %.2f ms, cpu %.2f ms\n", runs,
                    median(wall[2]) * 1e3, median(cpu[2]) * 1e3);
        for (int client = 0; client < 2; ++client)
            std::printf("wall-time ratio updater %s/posix: %.3f (goal <= 1.25)\n", names[client],
                        median(wall[client]) / median(wall[2]));
    }
    std::printf("cpu time per update (unbuffered): %.3f s (goal < 0.06 s)\n", median(cpu[1]));
    for (int client = 3; client < kinds; ++client)
        std::printf("median of %d  updater %-8s wall %.2f ms, cpu %.2f ms; wall-time ratio to the "
                    "CR LF unit: %.3f (goal <= 1.25)\n",
                    runs, names[client], median(wall[client]) * 1e3, median(cpu[client]) * 1e3,
                    median(wall[client]) / median(wall[1]));

    RawSocket::stopResponder();
    return ok ? 0 : 1;
}
