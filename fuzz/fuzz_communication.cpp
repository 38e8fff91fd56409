// The firmware transfer turns the texts that the line-command client delivers
// into data commands, the end command and progress texts. This harness starts
// it in every run state, with an image of random size, and then delivers
// texts, replies, resend reports and errors in any order, wired the way the
// device record wires it. Besides crashes, leaks and hangs it checks what a
// unit and the user rely on:
// - on the wire there is nothing but the client's own login traffic, the
//   start command with the image size, data commands that carry exactly the
//   image bytes at their offset, in order (or again, on NG), at most 512 of
//   them each, and the end command once all bytes have gone out;
// - "Firmware update completed." is reported only when the unit has answered
//   every command of the run, the end command included (no success that did
//   not happen), and only after the "fwup_completed" notice;
// - every progress text is one of the transfer's texts, and the run state and
//   byte count stay in range.
//
// The transfer's client is connected over real loopback TCP to LoopbackUnit,
// which reads what it writes; what the unit says goes into the client's
// receive path (handleReceived), texts that no reply line can carry go into
// the text handler directly.
//
// Input layout: a header of 5 bytes (run state and flags, image size, byte
// count), then operations, each one byte and its argument (below).

#include "fuzzcheck.h"
#include "loopbackunit.h"
#include "protocol/communication.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

enum Op : uint8_t {
    Ack, // the unit answers OK SET
    ValueReply, // OK GET and the argument's words
    Notify, // NOTIFY and the argument's words
    NotGood, // NG
    Text, // the argument as one text, straight into the handler
    EmptyText, // an empty text, straight into the handler
    SocketError, // the client reports a socket error
    Retry, // the client reports a resend (argument: count, 0xff for -1)
    Start, // startUpdate with the image
    Bytes, // the argument as raw bytes from the unit
    OpCount
};

class Wire
{
public:
    explicit Wire(const QByteArray &image) : m_image(image) { }

    // Takes the next bytes the client wrote and checks every complete item.
    void take(const QByteArray &bytes)
    {
        m_pending += bytes;
        for (;;) {
            const int used = item();
            if (used == 0)
                return;
            m_pending.remove(0, used);
        }
    }

    // Off once the harness has fed the transfer directly: its order then
    // need not follow from what the unit said.
    bool strict = true;
    bool startSeen = false; // this run's start command went out
    bool startDue = false; // startUpdate ran: the start command goes first
    int written = 0; // commands of this run on the wire, resends included
    bool endSeen = false;
    int nextOffset = -1; // where the next new data command starts; -1: unknown
    int lastOffset = -1, lastSize = -1;

    void expectDataFrom(int offset) { nextOffset = offset; }

private:
    // Bytes used by the complete item at the start of m_pending; 0 if the item
    // is not complete yet. Aborts on anything the client may not write.
    int item()
    {
        const QByteArray &p = m_pending;
        if (p.isEmpty())
            return 0;
        // The wake-up, or the password (empty here) in answer to a prompt.
        const QByteArray crlf("\r\n");
        const QByteArray name("GET DEVICE/NAME\r\n");
        const QByteArray version("GET DEVICE/VER/SYSTEM\r\n");
        const QByteArray start =
                "SET UPDATE/SYSTEM:STA SIZE:" + QByteArray::number(m_image.size(), 16) + "\r\n";
        const QByteArray end("SET UPDATE/SYSTEM:END\r\n");
        const QByteArray bin("SET UPDATE/SYSTEM:BIN SIZE:");
        for (const QByteArray &fixed : { crlf, name, version, start, end }) {
            if (!p.startsWith(fixed)) {
                if (fixed.startsWith(p))
                    return 0; // not complete yet
                continue;
            }
            if (fixed == start) {
                startSeen = true;
                startDue = false;
                endSeen = false;
                written = 1;
                nextOffset = 0;
                lastOffset = lastSize = -1;
            } else if (fixed == end) {
                // Once, and only once every image byte has gone out.
                KVX_FUZZ_CHECK(!strict || nextOffset == m_image.size());
                KVX_FUZZ_CHECK(!strict || !endSeen);
                endSeen = true;
                ++written;
            }
            return fixed.size();
        }
        if (!p.startsWith(bin)) {
            if (bin.startsWith(p))
                return 0;
            std::fprintf(stderr, "unexpected output: %s\n",
                         p.left(80).toPercentEncoding(" :/").constData());
            std::abort();
        }

        // A data command: its text, exactly the image bytes at its offset, CR LF.
        const int header = p.indexOf(" bin:");
        if (header < 0) {
            KVX_FUZZ_CHECK(p.size() < 80);
            return 0;
        }
        static const QRegularExpression form(QStringLiteral(
                "^SET UPDATE/SYSTEM:BIN SIZE:([1-9a-f][0-9a-f]*) offset:(0|[1-9a-f][0-9a-f]*)$"));
        const QRegularExpressionMatch m = form.match(QString::fromLatin1(p.left(header)));
        KVX_FUZZ_CHECK(m.hasMatch());
        bool sizeOk = false, offsetOk = false;
        const int size = m.captured(1).toInt(&sizeOk, 16);
        const int offset = m.captured(2).toInt(&offsetOk, 16);
        KVX_FUZZ_CHECK(sizeOk && offsetOk && size >= 1 && size <= 512);
        KVX_FUZZ_CHECK(offset <= m_image.size() - size);
        const int total = header + 5 + size + 2;
        if (p.size() < total)
            return 0;
        KVX_FUZZ_CHECK(p.mid(header + 5, size) == m_image.mid(offset, size));
        KVX_FUZZ_CHECK(p.mid(header + 5 + size, 2) == crlf);
        // The next piece of the image, as long as it can be, or the previous
        // piece again (NG); nothing after the end command.
        KVX_FUZZ_CHECK(size == qMin(512, m_image.size() - offset));
        const bool resend = offset == lastOffset && size == lastSize;
        if (strict) {
            KVX_FUZZ_CHECK(!startDue); // no data before the start command
            KVX_FUZZ_CHECK(resend || nextOffset < 0 || offset == nextOffset);
            KVX_FUZZ_CHECK(!endSeen);
        }
        lastOffset = offset;
        lastSize = size;
        if (!resend)
            nextOffset = offset + size;
        ++written;
        return total;
    }

    const QByteArray &m_image;
    QByteArray m_pending;
};

bool isProgressText(const QString &text)
{
    static const QRegularExpression sending(
            QStringLiteral("^Sending\\.\\.\\. ([0-9]|[1-9][0-9])%$"));
    static const QRegularExpression retry(QStringLiteral("^Retry: [0-9]+ .*[0-9]+%.*$"));
    return text == QLatin1String("Starting...") || text == QLatin1String("Writing")
            || text == QLatin1String("Firmware update completed.")
            || (text.startsWith(QLatin1String("ERROR: ")) && text.size() > 7)
            || sending.match(text).hasMatch() || retry.match(text).hasMatch();
}

// Reply lines in bytes from the unit: lines whose first word is OK or NG. An
// upper bound, counted on the bytes as they come (a line cut between two reads
// may count twice).
int repliesIn(const QByteArray &bytes)
{
    int n = 0;
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray words = line.simplified().toUpper();
        if (words == "OK" || words.startsWith("OK ") || words == "NG" || words.startsWith("NG "))
            ++n;
    }
    return n;
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
    if (size < 5)
        return 0;

    // Header: run state and flags; image size (up to 1 MiB); byte count.
    const int initialState = data[0] & 3;
    const bool startOnVersion =
            data[0] & 4; // the record's first run: start when the version is read
    const int imageSize = (data[1] | data[2] << 8 | (data[3] & 0x0f) << 16) + (data[0] & 8 ? 0 : 1);
    const int chunks = imageSize / 512;
    const uint8_t countByte = data[4];
    data += 5;
    size -= 5;

    // The image in a buffer of exactly its size, so that a read past its end
    // is a report; every byte value appears, CR, LF and NUL included. The
    // pattern is made once: filling a megabyte per input would cost more than
    // the run.
    static const QByteArray pattern = [] {
        QByteArray bytes(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 131 + i / 256) & 0xff);
        return bytes;
    }();
    std::unique_ptr<char[]> storage(new char[size_t(qMax(imageSize, 1))]);
    std::memcpy(storage.get(), pattern.constData(), size_t(imageSize));
    const QByteArray image = QByteArray::fromRawData(storage.get(), imageSize);

    auto owner = std::make_unique<Communication>();
    Communication &comm = *owner;
    MixerProtocol &protocol = comm.m_protocol;
    Wire wire(image);

    bool completedNotice = false;
    bool starting = startOnVersion;
    int progressAfterEnd = 0;
    int replies = 0; // reply lines of this run from the unit
    bool accountable = false; // this run's start command went out while we watched
    bool linked = true;

    // Wired as the device record wires it at the start of a run.
    comm.linkProtocol();
    QObject::connect(&comm, &Communication::fwup_initCompleted, [&] {
        if (starting) {
            starting = false;
            wire.startDue = imageSize > 0;
            comm.startUpdate(&image);
        }
    });
    QObject::connect(&comm, &Communication::sig_notifyMessage, [&](const QString &message) {
        KVX_FUZZ_CHECK(message == QLatin1String("fwup_completed"));
        completedNotice = true;
        comm.stopUpdate();
        linked = false;
    });
    QObject::connect(
            &comm, &Communication::fwup_progress, [&](const QString &text, const QString &address) {
                KVX_FUZZ_CHECK(address == comm.m_deviceAddress);
                KVX_FUZZ_CHECK(isProgressText(text));
                if (text == QLatin1String("Firmware update completed.")) {
                    // Told after the notice, and never for a run whose commands the
                    // unit has not all answered. The end command is the last one.
                    KVX_FUZZ_CHECK(completedNotice);
                    if (accountable) {
                        wire.take(unit->drain());
                        KVX_FUZZ_CHECK(wire.endSeen);
                        if (replies < wire.written) {
                            std::fprintf(stderr, "completed after %d replies to %d commands\n",
                                         replies, wire.written);
                            std::abort();
                        }
                    }
                    ++progressAfterEnd;
                }
            });

    protocol.connectToDevice(QStringLiteral("127.0.0.1:%1").arg(unit->port()), QString());
    comm.m_deviceAddress = QStringLiteral("127.0.0.1");
    comm.m_sentBytes = 0;
    for (int i = 0; i < 1000 && protocol.socketState() != QAbstractSocket::ConnectedState; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    KVX_FUZZ_CHECK(protocol.socketState() == QAbstractSocket::ConnectedState);
    KVX_FUZZ_CHECK(unit->accept());

    // A run state the transfer can be in: 1 right after the start command, 2
    // with one data command or more sent, 3 with all sent.
    if (initialState > 0 && imageSize > 0) {
        comm.m_image = &image;
        comm.m_runState = initialState;
        if (initialState == 1)
            comm.m_sentBytes = 0;
        else if (initialState == 2)
            comm.m_sentBytes = qMin(imageSize, 512 * (1 + countByte % qMax(chunks, 1)));
        else
            comm.m_sentBytes = imageSize;
        wire.expectDataFrom(initialState == 1 ? 0 : comm.m_sentBytes);
    }
    wire.take(unit->drain());

    int totalReceived = 0;
    while (size > 0 && totalReceived < 512 * 1024) {
        const uint8_t op = data[0] % OpCount;
        ++data;
        --size;
        // The argument of the ops that take one: a length byte and the bytes.
        auto argument = [&]() {
            if (size == 0)
                return QByteArray();
            const size_t n = qMin<size_t>(data[0], size - 1);
            const QByteArray arg(reinterpret_cast<const char *>(data + 1), int(n));
            data += n + 1;
            size -= n + 1;
            return arg;
        };
        auto fromUnit = [&](const QByteArray &bytes) {
            // A closed connection delivers nothing.
            if (protocol.socketState() != QAbstractSocket::ConnectedState)
                return;
            totalReceived += bytes.size();
            if (wire.startSeen)
                replies += repliesIn(bytes);
            protocol.handleReceived(bytes);
        };
        const bool wasStarted = wire.startSeen;

        switch (Op(op)) {
        case Ack:
            fromUnit("OK SET\r\n");
            break;
        case ValueReply:
            fromUnit("OK GET " + argument() + "\r\n");
            break;
        case Notify:
            fromUnit("NOTIFY " + argument() + "\r\n");
            break;
        case NotGood:
            fromUnit("NG\r\n");
            break;
        // Texts and reports that bypass the client: the transfer cannot tell
        // them from the client's, but they need not match what the unit said,
        // so from here on only the form of the output is checked, not its
        // order or its accounting against the unit's replies.
        case Text:
            accountable = false;
            wire.strict = false;
            if (linked)
                comm.recievedData(QString::fromUtf8(argument()));
            break;
        case EmptyText:
            accountable = false;
            wire.strict = false;
            if (linked)
                comm.recievedData(QString());
            break;
        case SocketError:
            accountable = false;
            wire.strict = false;
            if (linked)
                comm.error(QAbstractSocket::RemoteHostClosedError,
                           QStringLiteral("The remote host closed the connection"));
            break;
        case Retry:
            accountable = false;
            wire.strict = false;
            if (linked && size > 0) {
                comm.slot_retry_times(data[0] == 0xff ? -1 : data[0]);
                ++data;
                --size;
            }
            break;
        case Start:
            if (comm.m_runState == 0 && linked) {
                completedNotice = false;
                progressAfterEnd = 0;
                replies = 0;
                accountable = wire.strict;
                wire.startDue = imageSize > 0;
                comm.startUpdate(&image);
            }
            break;
        case Bytes:
            fromUnit(argument());
            break;
        case OpCount:
            break;
        }
        wire.take(unit->drain());
        // A start command that went out in this step (after the version was
        // read) begins a run we can account for from its first reply on.
        if (wire.startSeen && !wasStarted) {
            accountable = wire.strict;
            replies = 0;
        }

        KVX_FUZZ_CHECK(comm.m_runState >= 0 && comm.m_runState <= 3);
        if (comm.m_runState > 0)
            KVX_FUZZ_CHECK(comm.m_sentBytes >= 0 && comm.m_sentBytes <= imageSize);
    }
    wire.take(unit->drain());
    KVX_FUZZ_CHECK(progressAfterEnd <= 1);

    unit->reset();
    owner.reset();
    return 0;
}
