#include "cli/unitdirectory.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// A node message is a JSON object whose members are all texts; anything else
// is not one and changes nothing.
bool readMessage(const QString &text, QJsonObject *object)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return false;
    *object = document.object();
    return object->value(QLatin1String("m_ipaddr")).isString()
            && !object->value(QLatin1String("m_ipaddr")).toString().isEmpty();
}

void takeText(const QJsonObject &object, const char *key, QString *field)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isString())
        *field = value.toString();
}

} // namespace

QList<UnitInfo> UnitDirectory::units() const
{
    QList<UnitInfo> result;
    for (const QString &address : m_present)
        result << m_known.value(address);
    return result;
}

QList<UnitInfo> UnitDirectory::sortedByAddress(QList<UnitInfo> units)
{
    std::stable_sort(units.begin(), units.end(), [](const UnitInfo &a, const UnitInfo &b) {
        const quint32 x = QHostAddress(a.address).toIPv4Address();
        const quint32 y = QHostAddress(b.address).toIPv4Address();
        return x != y ? x < y : a.address < b.address;
    });
    return units;
}

void UnitDirectory::slot_addNode(QString arg_str_add)
{
    QJsonObject object;
    if (!readMessage(arg_str_add, &object))
        return;
    UnitInfo unit;
    unit.address = object.value(QLatin1String("m_ipaddr")).toString();
    takeText(object, "m_modelname", &unit.model);
    takeText(object, "m_nickname", &unit.nickname);
    takeText(object, "m_version", &unit.version);
    // Announced anew, perhaps after a reboot: what its last run read (its
    // build) is old.
    m_known.insert(unit.address, unit);
    // The table never announces an address twice while it holds it; a second
    // add only refreshes what is known.
    if (!m_present.contains(unit.address)) {
        m_present << unit.address;
        emit unitAdded(unit.address);
    }
}

void UnitDirectory::slot_updateNode(QString arg_str_update)
{
    QJsonObject object;
    if (!readMessage(arg_str_update, &object))
        return;
    const QString address = object.value(QLatin1String("m_ipaddr")).toString();
    if (!m_present.contains(address))
        return;
    UnitInfo &unit = m_known[address];
    takeText(object, "m_modelname", &unit.model);
    takeText(object, "m_nickname", &unit.nickname);
    takeText(object, "m_version", &unit.version);
    takeText(object, "m_build", &unit.build);
    takeText(object, "m_after_update", &unit.afterUpdate);
    const QStringList keys = object.keys();
    for (const QString &key : keys) {
        if (key.startsWith(QLatin1String("m_")) && key != QLatin1String("m_ipaddr"))
            emit unitUpdated(address, key);
    }
}

void UnitDirectory::slot_removeNode(QString arg_str_remove)
{
    QJsonObject object;
    if (!readMessage(arg_str_remove, &object))
        return;
    const QString address = object.value(QLatin1String("m_ipaddr")).toString();
    if (m_present.removeAll(address) > 0)
        emit unitRemoved(address);
}
