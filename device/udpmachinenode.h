#pragma once

#include "device/ssdpresponse.h"
#include "protocol/communication.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class UdpCB;

// The record of one unit, built from one SSDP response. The fields are read and
// written directly by the table (intake, ageing, update start), which is why
// they are public: the record is the table's bookkeeping, not an abstraction.
class UdpMachineNode : public QObject
{
    Q_OBJECT

public:
    // Checking: a connection that only logs in and reads the name and
    // version, to see what a unit runs after an update.
    enum FwupState { Idle, Starting, Transferring, Checking };
    Q_ENUM(FwupState)

    // The UPnP domain that opens the brand's device description line.
    static constexpr auto &kMakerDomain = SsdpResponse::kMakerDomain;

    UdpMachineNode(const QByteArray &datagram, const QHostAddress &sender);
    // A record from a response the intake has already parsed.
    explicit UdpMachineNode(const SsdpResponse &response);
    ~UdpMachineNode() override;

    // Node messages for the user interface (indented JSON, keys sorted).
    QString jsonAddNode() const;
    QString jsonRemoveNode() const;
    QString jsonUpdateNode(const QString &key) const;

    // Takes the run's reports from m_comm; once, when the table takes the record.
    void connectToCommunication();

    // Update control.
    void requestUpdate(const QByteArray *image);
    void requestVersionCheck();
    void beginUpdateRun();
    void ageStep();

    // After a completed update the unit restarts into its new firmware; it is
    // back when it answers again after a silence of at least `silenceTicks`,
    // or at once when it answers with another version. True when this
    // response (already taken over, versionChanged telling whether its
    // version was new) brings it back: m_after_update is then "back".
    bool takeResponseAfterUpdate(bool versionChanged, int silenceTicks);
    // A record built again for a unit whose old record aged out while it
    // restarted: it is back.
    void markBackAfterUpdate();

public slots:
    void slot_initCompleted();
    void fwup_slot_progress(QString arg_progress, QString arg_ipaddr);
    void slot_notifyMessage(QString arg_message);

public:
    bool m_f_valid = false;
    // Given by address rather than found by a search: it never answers one,
    // so it never ages out.
    bool m_f_direct = false;
    QString m_modelname;
    QString m_nickname;
    QString m_ipaddr;
    QString m_port;
    qint32 m_state = 0;
    qint32 m_count = 0;
    QString m_login_passwd;
    QString m_version;
    QString m_build;
    QString m_uuid;
    Communication m_comm;
    UdpCB *m_udpcb = nullptr;
    FwupState m_fwup_state = Idle;
    const QByteArray *m_fwup_image = nullptr;
    // "back" once the unit has answered again after its last completed update
    // (see takeResponseAfterUpdate); empty before, and again from the next run.
    QString m_after_update;
    bool m_f_restarting = false; // completed, not back yet
    int m_silentTicks = 0; // ticks without an answer while restarting

private:
    void parse(const QByteArray &datagram, const QHostAddress &sender);
    void apply(const SsdpResponse &response);
};
