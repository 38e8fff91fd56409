// The line-command client reads whatever a unit's firmware sends, in whatever
// pieces TCP delivers it. This harness feeds the receive path arbitrary bytes
// in arbitrary read sizes, with and without a command awaiting its reply and a
// raw block to resend, while receivers react from inside the signals the way
// the transfer and the node do. Besides crashes, leaks and hangs it checks
// that the client never writes anything but the wake-up, the password in
// answer to a prompt, the commands it was given (in order, once each, plus the
// two queries after a login) and raw blocks with their resends on NG, and that
// its signals keep their promises.
//
// The client is connected over real loopback TCP to LoopbackUnit, which reads
// what it writes; the received bytes go straight into handleReceived(), the
// function the socket's readyRead handler feeds, so the read sizes are exactly
// those of the input.
//
// Input layout: one byte of setup flags (below), then reads, each one length
// byte and that many bytes. A length byte of 0xF0 or more stands for a read of
// (value - 0xEF) x 4096 copies of the byte after it, so that lines longer than
// the client's line limit (two such reads) are cheap to reach. An input feeds
// at most 256 KB.

#include "fuzzcheck.h"
#include "loopbackunit.h"
#include "protocol/mixerprotocol.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

namespace {

enum Setup : uint8_t {
    RawBeforeCommand = 0x01, // a raw block has been written: NG resends it
    CommandOutstanding = 0x02, // a queued command awaits its reply
    RawHeld = 0x04, // a raw block given while the command awaits
    TransferReacts = 0x08, // an empty readyRead sends the next raw block
    QueryReacts = 0x10, // a value word queues the next command
    CloseOnError = 0x20, // errorSig closes the device, like the node
    CloseOnNg = 0x40, // NG with nothing to resend closes the device
    EarlyClose = 0x80, // closeDevice() after the first read
};

const QString kPassword = QStringLiteral("s\u00e9cret pw");
constexpr int kMaxRaw = 64;
constexpr int kMaxCommands = 16;

QByteArray rawBlock(int index)
{
    // Distinct for every index, with CR, LF and NUL inside like a data command.
    return "SET UPDATE/SYSTEM:BIN SIZE:4 offset:" + QByteArray::number(index, 16)
            + " bin:" + QByteArray("\r\n\0\xff", 4) + "\r\n";
}

QString commandText(int index)
{
    return QStringLiteral(" FUZZ/CMD:%1").arg(index);
}

QByteArray commandLine(int index)
{
    return "SET FUZZ/CMD:" + QByteArray::number(index) + "\r\n";
}

int countOf(const QByteArray &haystack, const char *needle)
{
    return haystack.count(needle);
}

struct Observed
{
    int errors = 0;
    int lastRetry = 0;
    int rawGiven = 0; // raw blocks handed to sendRaw
    int commandsGiven = 0; // commands handed to queueSet
};

// Splits what the client wrote into the outputs it may write, or aborts.
void checkWritten(const QByteArray &wire, const QByteArray &received, const Observed &seen,
                  bool connected)
{
    const QByteArray password = kPassword.toUtf8() + "\r\n";
    const QByteArray name("GET DEVICE/NAME\r\n");
    const QByteArray version("GET DEVICE/VER/SYSTEM\r\n");

    KVX_FUZZ_CHECK(wire.startsWith("\r\n")); // the wake-up, once, first
    int pos = 2;
    int passwords = 0, names = 0, versions = 0, resends = 0;
    int nextCommand = 0, nextRaw = 0;
    while (pos < wire.size()) {
        auto at = [&](const QByteArray &item) { return wire.mid(pos, item.size()) == item; };
        QByteArray item;
        if (at(password)) {
            item = password;
            ++passwords;
        } else if (at(name)) {
            item = name;
            ++names;
        } else if (at(version)) {
            item = version;
            ++versions;
        } else if (nextCommand < seen.commandsGiven && at(commandLine(nextCommand))) {
            item = commandLine(nextCommand++);
        } else if (nextRaw < seen.rawGiven && at(rawBlock(nextRaw))) {
            item = rawBlock(nextRaw++);
        } else if (nextRaw > 0 && at(rawBlock(nextRaw - 1))) {
            item = rawBlock(nextRaw - 1);
            ++resends;
        } else if (!connected) {
            // Aborting drops what was not yet written; the cut item stops here.
            break;
        } else {
            std::fprintf(stderr, "unexpected output at byte %d of %d: %s\n", pos, int(wire.size()),
                         wire.mid(pos, 80).toPercentEncoding(" :/").constData());
            std::abort();
        }
        pos += item.size();
    }

    // Each answer needs its cause in what the unit sent.
    KVX_FUZZ_CHECK(passwords
                   <= countOf(received, "Enter Password") + countOf(received, "Entry Password"));
    KVX_FUZZ_CHECK(names <= countOf(received, "Login Successful"));
    KVX_FUZZ_CHECK(versions <= names);
    // The client drops every CR of a line before it judges it.
    KVX_FUZZ_CHECK(resends
                   <= countOf(QByteArray(received).replace('\r', QByteArray()).toLower(), "ng"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    kvxFuzzQuietQt();
    new QCoreApplication(*argc, *argv); // lives as long as the process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static LoopbackUnit *unit = [] {
        auto *u = new LoopbackUnit;
        KVX_FUZZ_CHECK(u->listen());
        return u;
    }();
    if (size == 0)
        return 0;
    const uint8_t setup = data[0];
    ++data;
    --size;

    auto client = std::make_unique<MixerProtocol>();
    MixerProtocol *c = client.get();
    Observed seen;

    QObject::connect(c, &MixerProtocol::readyRead, [&](const QString &text) {
        KVX_FUZZ_CHECK(!text.contains(QLatin1Char(' ')) && !text.contains(QLatin1Char('\r'))
                       && !text.contains(QLatin1Char('\n')) && !text.contains(QChar(0)));
        if (text.isEmpty() && (setup & TransferReacts) && seen.rawGiven < kMaxRaw)
            c->sendRaw(rawBlock(seen.rawGiven++));
        if (!text.isEmpty() && (setup & QueryReacts) && seen.commandsGiven < kMaxCommands)
            c->queueSet(commandText(seen.commandsGiven++));
    });
    QObject::connect(c, &MixerProtocol::errorSig,
                     [&](QAbstractSocket::SocketError, const QString &message) {
                         KVX_FUZZ_CHECK(!message.isEmpty());
                         ++seen.errors;
                         if (setup & CloseOnError)
                             c->closeDevice();
                     });
    QObject::connect(c, &MixerProtocol::sig_retry_times, [&](int count) {
        if (count < 0) {
            KVX_FUZZ_CHECK(count == -1);
            if (setup & CloseOnNg)
                c->closeDevice();
            return;
        }
        // The counter counts every OK line and every resend: it only grows.
        KVX_FUZZ_CHECK(count > seen.lastRetry);
        seen.lastRetry = count;
    });

    c->connectToDevice(QStringLiteral("127.0.0.1:%1").arg(unit->port()), kPassword);
    for (int i = 0; i < 1000 && c->socketState() != QAbstractSocket::ConnectedState; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    KVX_FUZZ_CHECK(c->socketState() == QAbstractSocket::ConnectedState);
    KVX_FUZZ_CHECK(unit->accept());

    if (setup & RawBeforeCommand)
        c->sendRaw(rawBlock(seen.rawGiven++));
    if (setup & CommandOutstanding)
        c->queueSet(commandText(seen.commandsGiven++));
    if (setup & RawHeld)
        c->sendRaw(rawBlock(seen.rawGiven++));

    QByteArray wire = unit->drain();
    QByteArray received;
    bool first = true;
    while (size > 0 && received.size() < 256 * 1024) {
        const uint8_t head = data[0];
        ++data;
        --size;
        QByteArray read;
        if (head >= 0xF0) {
            if (size == 0)
                break;
            read = QByteArray((head - 0xEF) * 4096, char(data[0]));
            ++data;
            --size;
        } else {
            const size_t n = qMin<size_t>(head, size);
            read = QByteArray(reinterpret_cast<const char *>(data), int(n));
            data += n;
            size -= n;
        }
        // A closed or aborted connection delivers nothing more.
        if (c->socketState() != QAbstractSocket::ConnectedState)
            break;
        received += read;
        c->handleReceived(read);
        wire += unit->drain();
        if (first && (setup & EarlyClose))
            c->closeDevice();
        first = false;
    }
    wire += unit->drain();

    if (qEnvironmentVariableIntValue("KVX_FUZZ_VERBOSE"))
        std::fprintf(stderr, "wrote: %s\n", wire.toPercentEncoding(" :/").constData());
    KVX_FUZZ_CHECK(seen.errors <= 1); // one verdict per connection
    checkWritten(wire, received, seen, c->socketState() == QAbstractSocket::ConnectedState);

    unit->reset();
    client.reset();
    return 0;
}
