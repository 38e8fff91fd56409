#include "device/udpmachinenode.h"

#include <QJsonDocument>
#include <QJsonObject>

// m_comm is a member, so every record has its Communication from here on,
// whatever the datagram turns out to be.
UdpMachineNode::UdpMachineNode(const QByteArray &datagram, const QHostAddress &sender)
{
    parse(datagram, sender);
}

UdpMachineNode::UdpMachineNode(const SsdpResponse &response)
{
    apply(response);
}

UdpMachineNode::~UdpMachineNode()
{
    // m_comm goes before the QObject part of this record; nothing it emits on
    // its way out may reach the half-destroyed record.
    QObject::disconnect(&m_comm, nullptr, this, nullptr);
}

void UdpMachineNode::parse(const QByteArray &datagram, const QHostAddress &sender)
{
    apply(SsdpResponse::parse(datagram, sender));
}

void UdpMachineNode::apply(const SsdpResponse &response)
{
    // Fewer than two lines: nothing at all is taken, not even the address.
    if (!response.parsed)
        return;
    m_f_valid = response.accepted;
    m_ipaddr = response.ipaddr;
    m_count = 0;
    m_modelname = response.modelname;
    m_nickname = response.nickname;
    m_state = 0;
    m_login_passwd.clear();
    m_uuid = response.uuid;
    m_version = response.version;
}

static QString toMessage(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

QString UdpMachineNode::jsonAddNode() const
{
    QJsonObject object;
    object.insert(QStringLiteral("action"), QStringLiteral("add"));
    object.insert(QStringLiteral("m_ipaddr"), m_ipaddr);
    object.insert(QStringLiteral("m_modelname"), m_modelname);
    object.insert(QStringLiteral("m_nickname"), m_nickname);
    object.insert(QStringLiteral("m_version"), m_version);
    object.insert(QStringLiteral("m_state"), QString::number(m_state));
    object.insert(QStringLiteral("m_count"), QString::number(m_count));
    return toMessage(object);
}

QString UdpMachineNode::jsonRemoveNode() const
{
    QJsonObject object;
    object.insert(QStringLiteral("action"), QStringLiteral("delete"));
    object.insert(QStringLiteral("m_ipaddr"), m_ipaddr);
    return toMessage(object);
}

QString UdpMachineNode::jsonUpdateNode(const QString &key) const
{
    QJsonObject object;
    object.insert(QStringLiteral("action"), QStringLiteral("update"));
    object.insert(QStringLiteral("m_ipaddr"), m_ipaddr);
    if (key == QLatin1String("m_modelname"))
        object.insert(key, m_modelname);
    else if (key == QLatin1String("m_nickname"))
        object.insert(key, m_nickname);
    else if (key == QLatin1String("m_state"))
        object.insert(key, QString::number(m_state));
    else if (key == QLatin1String("m_count"))
        object.insert(key, QString::number(m_count));
    else if (key == QLatin1String("m_login_passwd"))
        object.insert(key, m_login_passwd);
    else if (key == QLatin1String("m_version"))
        object.insert(key, m_version);
    else if (key == QLatin1String("m_build"))
        object.insert(key, m_build);
    else if (key == QLatin1String("m_uuid"))
        object.insert(key, m_uuid);
    else if (key == QLatin1String("m_after_update"))
        object.insert(key, m_after_update);
    return toMessage(object);
}
