#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

// One unit as the node messages describe it.
struct UnitInfo
{
    QString address;
    QString model;
    QString nickname;
    QString version;
    QString build = QString(); // "(build0119)" once read over TCP; empty until then
    QString afterUpdate = QString(); // "back" once the unit answered again after its update
};

// kvx-update's view of the device table, kept from the table's node messages
// exactly as the window keeps its cards: an add message brings a unit, update
// messages change its fields, a delete message takes it away.
//
// The table sends these messages while it holds its lock, so nothing connected
// to unitAdded or unitRemoved may call back into the table.
class UnitDirectory : public QObject
{
    Q_OBJECT

public:
    // table: the device table, or the tests' stand-in with the same three
    // node signals.
    template<typename Table>
    explicit UnitDirectory(Table *table, QObject *parent = nullptr) : QObject(parent)
    {
        connect(table, &Table::toUiAddNode, this, &UnitDirectory::slot_addNode);
        connect(table, &Table::toUiUpdateNode, this, &UnitDirectory::slot_updateNode);
        connect(table, &Table::toUiRemoveNode, this, &UnitDirectory::slot_removeNode);
    }

    bool contains(const QString &address) const { return m_present.contains(address); }
    // The units present now, in the order they arrived.
    QList<UnitInfo> units() const;
    // What was last known of a unit, also after it left; empty if never seen.
    UnitInfo lastKnown(const QString &address) const { return m_known.value(address); }
    // The build a unit's run read over TCP, "(build0110)"; empty before that.
    QString lastBuild(const QString &address) const { return m_known.value(address).build; }

    // Units ordered by their IPv4 address as a number (10.0.0.9 before 10.0.0.10).
    static QList<UnitInfo> sortedByAddress(QList<UnitInfo> units);

signals:
    void unitAdded(const QString &address);
    void unitRemoved(const QString &address);
    // An update message changed nothing or something of a present unit;
    // key is the one member it carried ("m_version", "m_after_update", ...).
    void unitUpdated(const QString &address, const QString &key);

private slots:
    void slot_addNode(QString arg_str_add);
    void slot_updateNode(QString arg_str_update);
    void slot_removeNode(QString arg_str_remove);

private:
    QStringList m_present; // arrival order
    QHash<QString, UnitInfo> m_known; // present and departed units
};
