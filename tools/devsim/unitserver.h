#pragma once

#include "simconfig.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>

class QTcpServer;
class UnitSession;

// What one unit saw, for the results file.
struct UnitStats
{
    int connections = 0;
    int openConnections = 0;
    int peakConnections = 0;
    int loginAttempts = 0;
    int logins = 0;
    int transfers = 0; // start commands accepted
    qint64 announcedSize = -1; // size of the last accepted start command
    qint64 bytesReceived = 0; // contiguous bytes of that image taken so far
    QByteArray image; // the image as received, in offset order
    bool endAcknowledged = false;
    int dataCommands = 0; // every data command read, resends included
    int resends = 0; // data commands that repeated a block answered NG
    int ngSent = 0;
    int searchesAnswered = 0;
    QStringList violations;
};

// One simulated unit's TCP side: the listening socket on its own address and
// port 54726, its sessions, its image as received and its statistics.
class UnitServer : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kPort = 54726;

    UnitServer(const UnitConfig &config, QObject *parent = nullptr);

    // Listens unless the unit refuses connections; false with a reason on failure.
    bool start(QString *error);

    const UnitConfig &config() const { return m_config; }
    UnitStats &stats() { return m_stats; }
    void addViolation(const QString &text);
    QJsonObject results() const;
    // Open connections whose client has not closed its end.
    int liveConnections() const;

signals:
    // The number of open connections of this unit changed by delta.
    void connectionsChanged(int delta);

private:
    void slot_newConnection();

    UnitConfig m_config;
    UnitStats m_stats;
    QTcpServer *m_server = nullptr;
    QList<UnitSession *> m_sessions;
};
