// The SSDP socket takes datagrams from anyone on the network. This harness
// feeds the parse arbitrary datagrams and sender addresses and checks what the
// intake and the user interface rely on: the parse never crashes or leaks, its
// accepted flag and fields are consistent, the record takes them over unchanged,
// and the messages an accepted record sends to the user interface are JSON
// objects whose members are all strings and carry the fields exactly.
//
// Input layout: the datagram, then the sender. The last byte selects the
// address family (bit 0 set: IPv6); before it stand the address bytes in
// network order, 4 or 16 of them. Missing address bytes count as zero.

#include "device/ssdpresponse.h"
#include "device/udpmachinenode.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

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
    KVX_FUZZ_CHECK(node.m_port.isEmpty() && node.m_login_passwd.isEmpty() && node.m_build.isEmpty());
    KVX_FUZZ_CHECK(node.m_state == 0 && node.m_count == 0);
    KVX_FUZZ_CHECK(node.m_fwup_state == UdpMachineNode::Idle);
    KVX_FUZZ_CHECK(node.m_udpcb == nullptr && node.m_fwup_image == nullptr);
}

// The list view copies the members of a node message into the card; each must
// arrive as a string holding exactly the record's field.
QJsonObject parseMessage(const QString &message)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8(), &error);
    KVX_FUZZ_CHECK(error.error == QJsonParseError::NoError);
    KVX_FUZZ_CHECK(document.isObject());
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        KVX_FUZZ_CHECK(it.value().isString());
    return object;
}

void checkMessages(const UdpMachineNode &node)
{
    const QJsonObject add = parseMessage(node.jsonAddNode());
    const QSet<QString> keys{QStringLiteral("action"),     QStringLiteral("m_ipaddr"),
                             QStringLiteral("m_modelname"), QStringLiteral("m_nickname"),
                             QStringLiteral("m_version"),   QStringLiteral("m_state"),
                             QStringLiteral("m_count")};
    const QStringList addKeys = add.keys();
    KVX_FUZZ_CHECK(QSet<QString>(addKeys.begin(), addKeys.end()) == keys);
    KVX_FUZZ_CHECK(add.value(QLatin1String("action")).toString() == QLatin1String("add"));
    KVX_FUZZ_CHECK(add.value(QLatin1String("m_ipaddr")).toString() == node.m_ipaddr);
    KVX_FUZZ_CHECK(add.value(QLatin1String("m_modelname")).toString() == node.m_modelname);
    KVX_FUZZ_CHECK(add.value(QLatin1String("m_nickname")).toString() == node.m_nickname);
    KVX_FUZZ_CHECK(add.value(QLatin1String("m_version")).toString() == node.m_version);
    KVX_FUZZ_CHECK(add.value(QLatin1String("m_state")).toString() == QLatin1String("0"));
    KVX_FUZZ_CHECK(add.value(QLatin1String("m_count")).toString() == QLatin1String("0"));

    // The intake refreshes a known record with these three.
    const std::pair<const char *, const QString *> updates[] = {
        {"m_modelname", &node.m_modelname}, {"m_nickname", &node.m_nickname}, {"m_uuid", &node.m_uuid}};
    for (const auto &update : updates) {
        const QString key = QLatin1String(update.first);
        const QJsonObject object = parseMessage(node.jsonUpdateNode(key));
        KVX_FUZZ_CHECK(object.size() == 3);
        KVX_FUZZ_CHECK(object.value(QLatin1String("action")).toString() == QLatin1String("update"));
        KVX_FUZZ_CHECK(object.value(QLatin1String("m_ipaddr")).toString() == node.m_ipaddr);
        KVX_FUZZ_CHECK(object.value(key).toString() == *update.second);
    }

    const QJsonObject remove = parseMessage(node.jsonRemoveNode());
    KVX_FUZZ_CHECK(remove.size() == 2);
    KVX_FUZZ_CHECK(remove.value(QLatin1String("m_ipaddr")).toString() == node.m_ipaddr);
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
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));

    const SsdpResponse response = SsdpResponse::parse(datagram, sender);
    checkResponse(response, datagram, sender);

    const UdpMachineNode node(datagram, sender);
    checkRecord(node, response);
    if (node.m_f_valid)
        checkMessages(node);
    return 0;
}
