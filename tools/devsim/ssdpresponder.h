#pragma once

#include "simconfig.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

class QUdpSocket;
class UnitServer;

// The units' SSDP side: one socket joined to the SSDP group hears the searches,
// and each unit answers from a socket bound to its own address, so that the
// sender of every answer is that unit's address.
class SsdpResponder : public QObject
{
    Q_OBJECT

public:
    SsdpResponder(const SimConfig &config, const QVector<UnitServer *> &units,
                  QObject *parent = nullptr);

    // Binds and joins the group; false with a reason on failure.
    bool start(QString *error);

    int searchesReceived() const { return m_searchesReceived; }
    const QStringList &searchViolations() const { return m_violations; }
    int foreignSent() const { return m_foreignSent; }
    int floodSent() const { return m_floodSent; }

private:
    void slot_groupReadyRead();
    void slot_floodTick();
    void readFrom(QUdpSocket *socket, int onlyUnit);
    void answer(const QByteArray &datagram, const QHostAddress &sender, quint16 port, int onlyUnit);
    QString findInterface() const;

    SimConfig m_config;
    QVector<UnitServer *> m_units;
    QUdpSocket *m_group = nullptr;
    QVector<QUdpSocket *> m_unitSockets;
    QUdpSocket *m_foreignSocket = nullptr;
    QHostAddress m_foreignAddress;
    QVector<QByteArray> m_foreign;
    QElapsedTimer m_clock;

    int m_searchesReceived = 0;
    QStringList m_violations;
    int m_foreignSent = 0;

    struct Target
    {
        QHostAddress address;
        quint16 port;
    };
    QHash<QString, Target> m_floodTargets;
    QTimer m_floodTimer;
    QElapsedTimer m_floodClock;
    qint64 m_floodDue = 0;
    int m_floodSent = 0;
};
