#include "discovery/identitywatch.h"

#include "core/visibletext.h"

QStringList IdentityWatch::warnings(const QString &address) const
{
    return warningsFor(address, m_current.value(address));
}

QStringList IdentityWatch::warningsFor(const QString &address, const QString &uuid) const
{
    if (uuid.isEmpty())
        return {};
    QStringList together;
    QStringList before;
    const QStringList announced = m_announcedFrom.value(uuid);
    for (const QString &other : announced) {
        if (other == address)
            continue;
        if (m_current.value(other) == uuid)
            together << other;
        else if (announced.indexOf(other) < announced.indexOf(address))
            before << other;
    }
    QStringList result;
    if (!together.isEmpty())
        result << QStringLiteral("%1 announces the same UUID %2")
                          .arg(together.join(QStringLiteral(", ")), uuid);
    if (!before.isEmpty())
        result << QStringLiteral("UUID %1 was announced by %2 earlier in this run")
                          .arg(uuid, before.join(QStringLiteral(", ")));
    return result;
}

QHash<QString, QStringList> IdentityWatch::everyWarning() const
{
    QHash<QString, QStringList> all;
    for (auto it = m_current.cbegin(); it != m_current.cend(); ++it) {
        const QStringList texts = warningsFor(it.key(), it.value());
        if (!texts.isEmpty())
            all.insert(it.key(), texts);
    }
    return all;
}

bool IdentityWatch::seen(const QString &address, const QString &uuid)
{
    if (m_current.contains(address) && m_current.value(address) == uuid)
        return false;
    const QHash<QString, QStringList> before = everyWarning();
    m_current.insert(address, uuid);
    if (!uuid.isEmpty() && !m_announcedFrom.value(uuid).contains(address))
        m_announcedFrom[uuid] << address;
    return everyWarning() != before;
}

bool IdentityWatch::forget(const QString &address)
{
    if (!m_current.contains(address))
        return false;
    const QHash<QString, QStringList> before = everyWarning();
    m_current.remove(address);
    return everyWarning() != before;
}

QString IdentityWatch::shownText(const QStringList &warnings)
{
    if (warnings.isEmpty())
        return QString();
    QString text;
    for (const QString &warning : warnings)
        text += VisibleText::escaped(warning) + QLatin1Char('\n');
    return text
            + QStringLiteral("Any host can answer as a unit. Make sure this is the unit you mean "
                             "before you send it the password.");
}
