#pragma once

#include "core/firmwareheader.h"
#include "device/udpcb.h"
#include "discovery/identitywatch.h"
#include "discovery/ssdpsearch.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QNetworkInterface>
#include <QObject>
#include <QSet>

#include <functional>

class QUdpSocket;
class UdpMachineNode;

// The device table and the one object QML talks to (as "udpmachine"): it finds
// units by SSDP, ages out the silent ones, relays what the records report, and
// starts updates. It also holds the embedded firmware image for the whole run.
class UdpMachineList : public QObject, public UdpCB
{
    Q_OBJECT
    // How many network interfaces the searches go out on (the empty list
    // tells the user). Chosen at construction and read again every few
    // ticks; searchInterfacesChanged says when the list changed.
    Q_PROPERTY(int searchInterfaceCount READ searchInterfaceCount NOTIFY searchInterfacesChanged)
    // Counts up whenever what identityWarnings() says changes, so that a
    // binding that asks for a unit's warnings asks again.
    Q_PROPERTY(int identityRevision READ identityRevision NOTIFY identityWarningsChanged)

public:
    explicit UdpMachineList(QObject *parent = nullptr);
    ~UdpMachineList() override;

    // UdpCB
    void addNode(QString arg_str_add) override;
    void removeNode(QString arg_str_remove) override;
    void updateNode(QString arg_str_update) override;
    void fwupProgress(QString arg_progress, QString arg_ipaddr) override;
    void lock() override;
    void unlock() override;

    void startDiscovery();
    void sendSearch(int tick);
    // Reads the list of interfaces again and searches on the qualifying ones
    // from the next search on; true when the choice changed.
    bool readInterfaces();

    // Where the list of interfaces comes from: the system's, unless a test
    // gives its own. Giving one reads it at once.
    using InterfaceSource = std::function<QList<SsdpSearch::InterfaceCandidate>()>;
    void setInterfaceSource(InterfaceSource source);
    void handleSsdpResponse(const QByteArray &datagram, const QHostAddress &sender);

    const QByteArray &binfile() const { return m_binfile; }
    bool isZp9e() const { return m_isZp9e; }
    bool isVk3f() const { return m_isVk3f; }
    const FirmwareHeader &image() const { return m_image; }
    const QList<UdpMachineNode *> &nodes() const { return m_nodes; }
    int discoveryTimerId() const { return m_timerId; }
    int searchCount() const { return m_searchCount; }
    QUdpSocket *udpSocket() const { return m_udpSocket; }
    const QList<QNetworkInterface> &searchInterfaces() const { return m_ifaces; }
    int searchInterfaceCount() const { return m_ifaces.size(); }
    QStringList searchInterfaceNames() const;

signals:
    void toui_fwup_progress(QString arg_progress, QString arg_ipaddr);
    void toUiAddNode(QString arg_str_add);
    void toUiRemoveNode(QString arg_str_remove);
    void toUiUpdateNode(QString arg_str_update);
    // The interfaces searched changed (read again every ten ticks).
    void searchInterfacesChanged();
    // A unit's identity warnings changed (emitted while the table is locked,
    // like the node signals).
    void identityWarningsChanged();

public slots:
    void slot_udpReceived();

public:
    Q_INVOKABLE void addTestTarget();
    Q_INVOKABLE void fwUpdateStart(QString arg_ipaddr, QString arg_password, QString arg_port);
    // How a unit stands against the embedded image, as the card's tag says
    // it: "current", "older", "newer", "other model", or "" for a version
    // that is unknown. Reads only the image header, takes no lock: QML may
    // call it from a binding while the table reports under its lock.
    // Whether the window's plan writes the unit: with arg_olderOnly only a
    // unit of the image's model that runs an older version, otherwise every
    // selected unit. The rule of kvx-update's --outdated (UpdatePlan); reads
    // only the image header, takes no lock.
    Q_INVOKABLE bool planWrites(QString arg_model, QString arg_version, QString arg_build,
                                bool arg_olderOnly) const;
    Q_INVOKABLE QString versionStanding(QString arg_model, QString arg_version,
                                        QString arg_build) const;
    // What is suspicious about who the unit at the address says it is (two
    // addresses announcing one UUID, a UUID that came from another address
    // earlier in the run), one exact text each; empty when nothing is. Takes
    // no lock, like versionStanding.
    Q_INVOKABLE QStringList identityWarnings(QString arg_ipaddr) const;
    // The same for a person (the card's tip): IdentityWatch::shownText.
    Q_INVOKABLE QString identityWarningText(QString arg_ipaddr) const;
    int identityRevision() const { return m_identityRevision; }
    // A text from a unit as a person should see it: VisibleText::escaped.
    Q_INVOKABLE QString shownText(QString arg_text) const;
    // Logs in to the unit and reads its name and version (update messages),
    // nothing more; like fwUpdateStart, for a record that is idle only.
    Q_INVOKABLE void fwVersionCheck(QString arg_ipaddr, QString arg_password, QString arg_port);

    // Ticks without an answer after which a restarting unit that answers
    // again counts as back (see UdpMachineNode::takeResponseAfterUpdate).
    int returnSilenceTicks() const;

    // A unit that discovery cannot see (a switch that filters multicast, a
    // routed network): a record for the address, which must be IPv4 in
    // dotted form, as if it had answered; it never ages out. Its name and
    // version come from the login queries of its update. False for an
    // address of any other form. The window's "Add by address" calls it
    // too, from a button, never from a handler of the table's signals: it
    // takes the table lock.
    Q_INVOKABLE bool addDirectTarget(const QString &arg_ipaddr);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void loadFirmwareImage();
    // Announces a new record and appends it; the table lock is held.
    void addRecord(UdpMachineNode *record);
    // The record of a unit by its address, or null; the table lock is held.
    UdpMachineNode *findNode(const QString &ipaddr) const;
    // Tells the identity watch; the table lock is held.
    void noteIdentity(const QString &ipaddr, const QString &uuid);
    void forgetIdentity(const QString &ipaddr);

    QList<UdpMachineNode *> m_nodes;
    QMutex m_listMutex;
    int m_timerId = 0;
    int m_searchCount = 0;
    QUdpSocket *m_udpSocket = nullptr;
    QMutex m_ifMutex;
    bool m_f_ifaceChanged = false;
    QList<QNetworkInterface> m_ifaces;
    QStringList m_ifaceNames;
    QStringList m_ifaceKeys; // what m_ifaces was chosen from (SsdpSearch::interfaceKeys)
    InterfaceSource m_interfaceSource;
    QByteArray m_msearch;
    QByteArray m_binfile;
    bool m_isZp9e = false;
    bool m_isVk3f = false;
    FirmwareHeader m_image;
    // Units whose record aged out while they restarted after an update.
    QSet<QString> m_restarting;
    QByteArray m_readBuffer; // reused for every datagram of one readyRead
    IdentityWatch m_identities;
    int m_identityRevision = 0;
};
