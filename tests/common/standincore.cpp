#include "standincore.h"

#include "core/updateplan.h"
#include "core/versionstanding.h"
#include "core/visibletext.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlContext>

StandInCore::StandInCore(QObject *parent)
    : QObject(parent),
      m_image(FirmwareHeader::fromImage(QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12)))
{
}

void StandInCore::publishTo(QQmlContext *context)
{
    context->setContextProperty(QStringLiteral("udpmachine"), this);
    context->setContextProperty(QStringLiteral("firmVersion"), m_image.versionText);
    context->setContextProperty(QStringLiteral("firmBuild"), m_image.buildText);
    context->setContextProperty(QStringLiteral("firmModel"), m_image.model);
    context->setContextProperty(QStringLiteral("isZp9e"), m_image.isZp9e);
    context->setContextProperty(QStringLiteral("isVk3f"), m_image.isVk3f);
}

bool StandInCore::planWrites(QString arg_model, QString arg_version, QString arg_build,
                             bool arg_olderOnly) const
{
    return UpdatePlan::verdict(arg_model, arg_version, arg_build, m_image.model,
                               m_image.versionText, m_image.buildText,
                               arg_olderOnly ? UpdatePlan::olderOnly() : UpdatePlan::allSelected())
            == UpdatePlan::Write;
}

QString StandInCore::versionStanding(QString arg_model, QString arg_version,
                                     QString arg_build) const
{
    return VersionStanding::tagText(
            VersionStanding::judge(arg_model, arg_version, arg_build, m_image));
}

void StandInCore::announceUuid(const QString &ipaddr, const QString &uuid)
{
    if (!m_identities.seen(ipaddr, uuid))
        return;
    ++m_identityRevision;
    emit identityWarningsChanged();
}

QString StandInCore::shownText(QString arg_text) const
{
    return VisibleText::escaped(arg_text);
}

void StandInCore::fwVersionCheck(QString arg_ipaddr, QString arg_password, QString arg_port)
{
    m_checks.append({ arg_ipaddr, arg_password, arg_port });
    emit callsChanged();
    // Like the table: an accepted check answers at once; the rest is the
    // test's to play.
    if (m_refused.contains(arg_ipaddr) || m_running.contains(arg_ipaddr))
        return;
    emit toui_fwup_progress(QStringLiteral("connecting..."), arg_ipaddr);
}

QString StandInCore::nodeMessage(const QString &action, const QVariantMap &members)
{
    // QJsonObject keeps its keys sorted, which is the order the core writes.
    QJsonObject object;
    object.insert(QStringLiteral("action"), action);
    for (auto it = members.cbegin(); it != members.cend(); ++it)
        object.insert(it.key(), it.value().toString());
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

void StandInCore::addUnit(const QString &ipaddr, const QString &nickname, const QString &modelname,
                          const QString &version)
{
    m_known.insert(ipaddr);
    emit toUiAddNode(nodeMessage(QStringLiteral("add"),
                                 { { QStringLiteral("m_count"), QStringLiteral("0") },
                                   { QStringLiteral("m_ipaddr"), ipaddr },
                                   { QStringLiteral("m_modelname"), modelname },
                                   { QStringLiteral("m_nickname"), nickname },
                                   { QStringLiteral("m_state"), QStringLiteral("0") },
                                   { QStringLiteral("m_version"), version } }));
}

bool StandInCore::addDirectTarget(const QString &arg_ipaddr)
{
    QHostAddress address;
    if (!address.setAddress(arg_ipaddr) || address.protocol() != QAbstractSocket::IPv4Protocol
        || address.toString() != arg_ipaddr)
        return false;
    m_direct << arg_ipaddr;
    if (!m_known.contains(arg_ipaddr)) {
        m_known.insert(arg_ipaddr);
        emit toUiAddNode(nodeMessage(QStringLiteral("add"),
                                     { { QStringLiteral("m_count"), QStringLiteral("0") },
                                       { QStringLiteral("m_ipaddr"), arg_ipaddr },
                                       { QStringLiteral("m_state"), QStringLiteral("0") } }));
    }
    return true;
}

void StandInCore::removeUnit(const QString &ipaddr)
{
    m_known.remove(ipaddr);
    m_running.remove(ipaddr);
    emit toUiRemoveNode(
            nodeMessage(QStringLiteral("delete"), { { QStringLiteral("m_ipaddr"), ipaddr } }));
    if (m_identities.forget(ipaddr)) {
        ++m_identityRevision;
        emit identityWarningsChanged();
    }
}

void StandInCore::updateUnit(const QString &ipaddr, const QString &key, const QString &value)
{
    emit toUiUpdateNode(nodeMessage(QStringLiteral("update"),
                                    { { QStringLiteral("m_ipaddr"), ipaddr }, { key, value } }));
}

void StandInCore::progress(const QString &text, const QString &ipaddr)
{
    // A run ends with completion or a socket error; after that the unit can
    // be started again.
    if (text == QLatin1String("Firmware update completed.")
        || text.startsWith(QLatin1String("ERROR: ")))
        m_running.remove(ipaddr);
    emit toui_fwup_progress(text, ipaddr);
}

QStringList StandInCore::calledAddresses() const
{
    QStringList addresses;
    for (const Call &c : m_calls)
        addresses << c.ipaddr;
    return addresses;
}

QVariantMap StandInCore::call(int index) const
{
    if (index < 0 || index >= m_calls.size())
        return {};
    const Call &c = m_calls.at(index);
    return { { QStringLiteral("ipaddr"), c.ipaddr },
             { QStringLiteral("password"), c.password },
             { QStringLiteral("port"), c.port } };
}

void StandInCore::reset()
{
    m_calls.clear();
    m_checks.clear();
    m_running.clear();
    m_refused.clear();
    m_direct.clear();
    m_known.clear();
    setSearchInterfaceCount(1);
    m_identities = IdentityWatch();
    ++m_identityRevision;
    emit identityWarningsChanged();
    emit callsChanged();
}

void StandInCore::fwUpdateStart(QString arg_ipaddr, QString arg_password, QString arg_port)
{
    m_calls.append({ arg_ipaddr, arg_password, arg_port });
    emit callsChanged();
    if (m_refused.contains(arg_ipaddr) || m_running.contains(arg_ipaddr))
        return;
    m_running.insert(arg_ipaddr);
    emit toui_fwup_progress(QStringLiteral("connecting..."), arg_ipaddr);
}
