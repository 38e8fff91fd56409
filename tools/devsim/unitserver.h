#pragma once

#include "simconfig.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>

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
    int restarts = 0; // restarts after an acknowledged update
    QStringList violations;
};

// One simulated unit's TCP side: the listening socket on its own address and
// port 54726, its sessions, its image as received and its statistics.
class UnitServer : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kPort = 54726;
    // From the last reply to an acknowledged end command until the unit's
    // connections close.
    static constexpr int kGoDownMs = 500;

    UnitServer(const UnitConfig &config, QObject *parent = nullptr);

    // Listens unless the unit refuses connections; false with a reason on failure.
    bool start(QString *error);

    // Its version and build are what the unit runs now.
    const UnitConfig &config() const { return m_config; }
    UnitStats &stats() { return m_stats; }
    void addViolation(const QString &text);
    QJsonObject results() const;
    // Open connections whose client has not closed its end.
    int liveConnections() const;

    // The end command has been acknowledged: the unit restarts (unless its
    // configuration says it does not), into the image it received unless
    // the boot fails.
    void restartAfterUpdate(bool bootFails);
    // While restarting it answers no search and refuses every connection.
    bool isRestarting() const { return m_restarting; }

    // "1.04" and "0119" for an image whose header holds 104 and 119.
    static QString headerVersion(const QByteArray &image);
    static QString headerBuild(const QByteArray &image);

signals:
    // The number of open connections of this unit changed by delta.
    void connectionsChanged(int delta);

private:
    void slot_newConnection();
    bool listen(QString *error);
    void boot(bool fails);

    UnitConfig m_config;
    UnitStats m_stats;
    QTcpServer *m_server = nullptr;
    QList<UnitSession *> m_sessions;
    bool m_restarting = false;
    QTimer m_bootTimer;
    bool m_bootFails = false;
};
