// The SSDP socket takes datagrams from anyone on the network. This harness
// feeds the parse arbitrary datagrams and sender addresses and checks what the
// intake and the user interface rely on: the parse never crashes or leaks, its
// accepted flag and fields are consistent, the record takes them over unchanged,
// and the messages an accepted record sends to the user interface are JSON
// objects whose members are all strings and carry the fields exactly, read by
// the rules of the list view's JSON.parse.
//
// Input layout: the datagram, then the sender. The last byte selects the
// address family (bit 0 set: IPv6); before it stand the address bytes in
// network order, 4 or 16 of them. Missing address bytes count as zero.

#include "device/ssdpresponse.h"
#include "device/udpmachinenode.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <QHostAddress>
#include <QMap>

#include <cstdint>
#include <cstring>

namespace {

QHostAddress takeSender(const uint8_t *data, size_t &size)
{
    if (size == 0)
        return QHostAddress(quint32(0));
    const bool v6 = data[--size] & 1;
    uint8_t bytes[16] = {};
    const size_t want = v6 ? 16 : 4;
    const size_t have = size < want ? size : want;
    std::memcpy(bytes + (want - have), data + size - have, have);
    size -= have;
    if (v6)
        return QHostAddress(bytes);
    return QHostAddress(quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8
                        | bytes[3]);
}

// A field cut from one line by the token pass: trimmed, without line feeds and
// without the characters the line is cut at.
bool isTokenField(const QString &field, QLatin1String separators)
{
    if (field != field.trimmed() || field.contains(QLatin1Char('\n')))
        return false;
    for (QChar c : separators) {
        if (field.contains(c))
            return false;
    }
    return true;
}

void checkResponse(const SsdpResponse &r, const QByteArray &datagram, const QHostAddress &sender)
{
    // The text ends at the first NUL; it has two lines or more when it holds a
    // line feed.
    const int nul = datagram.indexOf('\0');
    const QByteArray text = nul < 0 ? datagram : datagram.left(nul);
    KVX_FUZZ_CHECK(r.parsed == text.contains('\n'));

    if (!r.parsed) {
        KVX_FUZZ_CHECK(!r.accepted);
        KVX_FUZZ_CHECK(r.ipaddr.isEmpty() && r.modelname.isEmpty() && r.nickname.isEmpty()
                       && r.version.isEmpty() && r.uuid.isEmpty());
        return;
    }
    KVX_FUZZ_CHECK(r.ipaddr == sender.toString());
    KVX_FUZZ_CHECK(isTokenField(r.modelname, QLatin1String("\":,=")));
    KVX_FUZZ_CHECK(isTokenField(r.version, QLatin1String("\":,=")));
    // From a token (no separators) or from the third field of a USN header
    // (no colon); trimmed either way.
    KVX_FUZZ_CHECK(isTokenField(r.uuid, QLatin1String(":")));

    if (r.accepted) {
        // Accepted by a description line only with a supported model; by the
        // SERVER header only with empty model, version and nickname.
        if (r.modelname.isEmpty())
            KVX_FUZZ_CHECK(r.version.isEmpty() && r.nickname.isEmpty());
        else
            KVX_FUZZ_CHECK(SsdpResponse::isSupportedModel(r.modelname));
    }
}

void checkRecord(const UdpMachineNode &node, const SsdpResponse &r)
{
    KVX_FUZZ_CHECK(node.m_f_valid == r.accepted);
    KVX_FUZZ_CHECK(node.m_ipaddr == r.ipaddr);
    KVX_FUZZ_CHECK(node.m_modelname == r.modelname);
    KVX_FUZZ_CHECK(node.m_nickname == r.nickname);
    KVX_FUZZ_CHECK(node.m_version == r.version);
    KVX_FUZZ_CHECK(node.m_uuid == r.uuid);
    KVX_FUZZ_CHECK(node.m_port.isEmpty() && node.m_login_passwd.isEmpty()
                   && node.m_build.isEmpty());
    KVX_FUZZ_CHECK(node.m_state == 0 && node.m_count == 0);
    KVX_FUZZ_CHECK(node.m_fwup_state == UdpMachineNode::Idle);
    KVX_FUZZ_CHECK(node.m_udpcb == nullptr && node.m_fwup_image == nullptr);
}

// The list view parses a node message with JSON.parse and copies its members
// into the card; each must arrive as a string holding exactly the record's
// field. This reader follows JSON's grammar for an object of string members,
// as JSON.parse does, and refuses everything else. (Qt's QJsonDocument cannot
// serve as the reader: it drops a U+FEFF inside a string, which JSON.parse
// keeps; a QJSEngine cannot either: LeakSanitizer does not see into its heap.)
using Message = QMap<QString, QString>;

class MessageReader
{
public:
    explicit MessageReader(const QString &text) : m_text(text) { }

    Message read()
    {
        Message members;
        expect(u'{');
        if (peek() == u'}') {
            ++m_pos;
        } else {
            for (;;) {
                const QString key = string();
                expect(u':');
                KVX_FUZZ_CHECK(!members.contains(key));
                members.insert(key, string()); // a member that is no string fails here
                const char16_t next = take();
                if (next == u'}')
                    break;
                KVX_FUZZ_CHECK(next == u',');
            }
        }
        skipBlanks();
        KVX_FUZZ_CHECK(m_pos == m_text.size());
        return members;
    }

private:
    void skipBlanks()
    {
        while (m_pos < m_text.size()) {
            const char16_t c = m_text.at(m_pos).unicode();
            if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
                break;
            ++m_pos;
        }
    }
    char16_t peek()
    {
        skipBlanks();
        return m_pos < m_text.size() ? m_text.at(m_pos).unicode() : 0;
    }
    char16_t take()
    {
        const char16_t c = peek();
        KVX_FUZZ_CHECK(m_pos < m_text.size());
        ++m_pos;
        return c;
    }
    void expect(char16_t c) { KVX_FUZZ_CHECK(take() == c); }
    char16_t raw()
    {
        KVX_FUZZ_CHECK(m_pos < m_text.size());
        return m_text.at(m_pos++).unicode();
    }
    QString string()
    {
        expect(u'"');
        QString out;
        for (;;) {
            const char16_t c = raw();
            if (c == u'"')
                return out;
            KVX_FUZZ_CHECK(c >= 0x20); // control characters must be escaped
            if (c != u'\\') {
                out += QChar(c);
                continue;
            }
            const char16_t e = raw();
            switch (e) {
            case u'"':
                out += QLatin1Char('"');
                break;
            case u'\\':
                out += QLatin1Char('\\');
                break;
            case u'/':
                out += QLatin1Char('/');
                break;
            case u'b':
                out += QLatin1Char('\b');
                break;
            case u'f':
                out += QLatin1Char('\f');
                break;
            case u'n':
                out += QLatin1Char('\n');
                break;
            case u'r':
                out += QLatin1Char('\r');
                break;
            case u't':
                out += QLatin1Char('\t');
                break;
            case u'u': {
                uint unit = 0;
                for (int i = 0; i < 4; ++i) {
                    const char16_t h = raw();
                    const int digit = h >= u'0' && h <= u'9' ? h - u'0'
                            : h >= u'a' && h <= u'f'         ? h - u'a' + 10
                            : h >= u'A' && h <= u'F'         ? h - u'A' + 10
                                                             : -1;
                    KVX_FUZZ_CHECK(digit >= 0);
                    unit = unit * 16 + uint(digit);
                }
                out += QChar(char16_t(unit));
                break;
            }
            default:
                KVX_FUZZ_CHECK(false);
            }
        }
    }

    const QString &m_text;
    int m_pos = 0;
};

Message parseMessage(const QString &message)
{
    return MessageReader(message).read();
}

void checkMessages(const UdpMachineNode &node)
{
    const Message add = parseMessage(node.jsonAddNode());
    const Message expected{ { QStringLiteral("action"), QStringLiteral("add") },
                            { QStringLiteral("m_ipaddr"), node.m_ipaddr },
                            { QStringLiteral("m_modelname"), node.m_modelname },
                            { QStringLiteral("m_nickname"), node.m_nickname },
                            { QStringLiteral("m_version"), node.m_version },
                            { QStringLiteral("m_state"), QStringLiteral("0") },
                            { QStringLiteral("m_count"), QStringLiteral("0") } };
    KVX_FUZZ_CHECK(add == expected);

    // The intake refreshes a known record with these three.
    const std::pair<const char *, const QString *> updates[] = { { "m_modelname",
                                                                   &node.m_modelname },
                                                                 { "m_nickname", &node.m_nickname },
                                                                 { "m_uuid", &node.m_uuid } };
    for (const auto &update : updates) {
        const QString key = QLatin1String(update.first);
        const Message expectedUpdate{ { QStringLiteral("action"), QStringLiteral("update") },
                                      { QStringLiteral("m_ipaddr"), node.m_ipaddr },
                                      { key, *update.second } };
        KVX_FUZZ_CHECK(parseMessage(node.jsonUpdateNode(key)) == expectedUpdate);
    }

    const Message expectedRemove{ { QStringLiteral("action"), QStringLiteral("delete") },
                                  { QStringLiteral("m_ipaddr"), node.m_ipaddr } };
    KVX_FUZZ_CHECK(parseMessage(node.jsonRemoveNode()) == expectedRemove);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    kvxFuzzQuietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QHostAddress sender = takeSender(data, size);
    // The bytes stay where libFuzzer put them, with no terminating NUL behind
    // them, so that a read past the end of the datagram is a report.
    const QByteArray datagram =
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));

    const SsdpResponse response = SsdpResponse::parse(datagram, sender);
    checkResponse(response, datagram, sender);

    const UdpMachineNode node(datagram, sender);
    checkRecord(node, response);
    if (node.m_f_valid)
        checkMessages(node);
    return 0;
}
