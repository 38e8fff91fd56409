#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Any host that answers the search as a unit is taken for one, and is sent
// the password when it is updated: the protocol has no proof of identity.
// Two lies are visible, though, and this keeps track of them for the run:
// two addresses that announce one UUID at the same time, and a UUID that was
// announced from another address earlier in the run. It only warns; nothing
// is refused because of it (a unit that took a new address after a restart
// is warned about too).
class IdentityWatch
{
public:
    // A unit at `address` announced `uuid` (empty: none). True when what
    // warnings() says changed for any address.
    bool seen(const QString &address, const QString &uuid);
    // The unit at `address` left the table; true when warnings changed.
    bool forget(const QString &address);

    // What is suspicious about the unit at `address`, one text per kind of
    // lie; empty when nothing is. The texts are exact: whoever shows them to
    // a person makes them visible first.
    QStringList warnings(const QString &address) const;
    // The warnings as a person is shown them (the card's tip): made visible
    // (VisibleText::escaped), one a line, and what they mean; "" for none.
    static QString shownText(const QStringList &warnings);

private:
    QStringList warningsFor(const QString &address, const QString &uuid) const;
    QHash<QString, QStringList> everyWarning() const;

    QHash<QString, QString> m_current; // address of a unit in the table -> its UUID
    QHash<QString, QStringList> m_announcedFrom; // UUID -> addresses, first first
};
