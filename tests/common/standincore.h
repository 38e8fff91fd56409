#pragma once

#include "core/firmwareheader.h"
#include "discovery/identitywatch.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

class QQmlContext;

// Plays the part of the device table ("udpmachine") for the user interface:
// the same four signals and the same start call, without sockets. Tests, the
// benchmark and the screenshot tool drive the QML through it.
//
// Like the real table it answers an accepted start request with
// "connecting..." before fwUpdateStart returns, and it ignores a request for a
// unit whose run has not ended yet. It carries the header of the shipped
// image (VK-3F, 1.04, build 0119) and judges versions against it as the table
// does; a version check answers "connecting..." and is recorded, the rest of
// it is the test's to play.
class StandInCore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int callCount READ callCount NOTIFY callsChanged)
    // The real table's number of search interfaces; one unless a test says.
    Q_PROPERTY(int searchInterfaceCount READ searchInterfaceCount WRITE setSearchInterfaceCount
                       NOTIFY searchInterfaceCountChanged)
    // The table's identity warnings, from the UUIDs a test announces.
    Q_PROPERTY(int identityRevision READ identityRevision NOTIFY identityWarningsChanged)

public:
    explicit StandInCore(QObject *parent = nullptr);

    struct Call
    {
        QString ipaddr;
        QString password;
        QString port;
    };

    const QList<Call> &calls() const { return m_calls; }
    int callCount() const { return m_calls.size(); }
    int searchInterfaceCount() const { return m_searchInterfaceCount; }
    void setSearchInterfaceCount(int count)
    {
        if (count == m_searchInterfaceCount)
            return;
        m_searchInterfaceCount = count;
        emit searchInterfaceCountChanged();
    }

    // A node message as the core writes it: indented JSON, keys in order,
    // every value a string.
    static QString nodeMessage(const QString &action, const QVariantMap &members);

    // Everything the QML sees is a signal; these emit one.
    Q_INVOKABLE void addUnit(const QString &ipaddr, const QString &nickname = QString(),
                             const QString &modelname = QStringLiteral("VK-3F"),
                             const QString &version = QStringLiteral("1.02"));
    Q_INVOKABLE void removeUnit(const QString &ipaddr);
    Q_INVOKABLE void updateUnit(const QString &ipaddr, const QString &key, const QString &value);
    Q_INVOKABLE void progress(const QString &text, const QString &ipaddr);
    Q_INVOKABLE void sendAdd(const QString &text) { emit toUiAddNode(text); }
    Q_INVOKABLE void sendUpdate(const QString &text) { emit toUiUpdateNode(text); }
    Q_INVOKABLE void sendRemove(const QString &text) { emit toUiRemoveNode(text); }

    // What the QML asked for.
    Q_INVOKABLE QStringList calledAddresses() const;
    Q_INVOKABLE QVariantMap call(int index) const;
    Q_INVOKABLE bool isRunning(const QString &ipaddr) const { return m_running.contains(ipaddr); }
    Q_INVOKABLE void refuse(const QString &ipaddr) { m_refused.insert(ipaddr); }
    Q_INVOKABLE void reset();

    Q_INVOKABLE void fwUpdateStart(QString arg_ipaddr, QString arg_password, QString arg_port);
    Q_INVOKABLE bool planWrites(QString arg_model, QString arg_version, QString arg_build,
                                bool arg_olderOnly) const;
    Q_INVOKABLE QString versionStanding(QString arg_model, QString arg_version,
                                        QString arg_build) const;
    // The unit at the address announced the UUID, as the table's intake
    // hears it (no node message: the add message carries no UUID).
    Q_INVOKABLE void announceUuid(const QString &ipaddr, const QString &uuid);
    Q_INVOKABLE QString identityWarningText(QString arg_ipaddr) const
    {
        return IdentityWatch::shownText(m_identities.warnings(arg_ipaddr));
    }
    int identityRevision() const { return m_identityRevision; }
    Q_INVOKABLE QString shownText(QString arg_text) const;
    Q_INVOKABLE void fwVersionCheck(QString arg_ipaddr, QString arg_password, QString arg_port);
    // Like the table: an IPv4 address in dotted form becomes a card with no
    // name, model or version (or, for an address that has one, nothing
    // new); false for any other text. The addresses taken, in order.
    Q_INVOKABLE bool addDirectTarget(const QString &arg_ipaddr);
    Q_INVOKABLE QStringList directTargets() const { return m_direct; }

    const FirmwareHeader &image() const { return m_image; }
    // What the entry gives the window, with this object as the table:
    // "udpmachine", and the image's firmVersion, firmBuild, firmModel, isZp9e
    // and isVk3f.
    void publishTo(QQmlContext *context);
    // The version checks asked for, in order.
    const QList<Call> &checks() const { return m_checks; }

signals:
    void toui_fwup_progress(QString arg_progress, QString arg_ipaddr);
    void toUiAddNode(QString arg_str_add);
    void toUiRemoveNode(QString arg_str_remove);
    void toUiUpdateNode(QString arg_str_update);

    void callsChanged();
    void searchInterfaceCountChanged();
    void identityWarningsChanged();

private:
    QList<Call> m_calls;
    QList<Call> m_checks;
    FirmwareHeader m_image;
    QSet<QString> m_running;
    QSet<QString> m_refused;
    QStringList m_direct;
    QSet<QString> m_known;
    int m_searchInterfaceCount = 1;
    IdentityWatch m_identities;
    int m_identityRevision = 0;
};
