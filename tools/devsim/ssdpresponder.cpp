#include "ssdpresponder.h"

#include "commandreader.h"
#include "ssdptext.h"
#include "unitserver.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace {
const QHostAddress kGroup(QStringLiteral("239.255.255.250"));
constexpr quint16 kSsdpPort = 1900;
constexpr int kFloodTickMs = 10;
constexpr int kFloodBudgetMs = 6; // of every tick, at most
constexpr int kMaxViolations = 200;
const QAbstractSocket::BindMode kShared =
        QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
} // namespace

SsdpResponder::SsdpResponder(const SimConfig &config, const QVector<UnitServer *> &units,
                             QObject *parent)
    : QObject(parent), m_config(config), m_units(units)
{
    m_floodTimer.setInterval(kFloodTickMs);
    connect(&m_floodTimer, &QTimer::timeout, this, &SsdpResponder::slot_floodTick);
}

// The interface to join the group on: named in the configuration, else the one
// netlab names, else the one that carries the first unit's address.
QString SsdpResponder::findInterface() const
{
    if (!m_config.interface.isEmpty())
        return m_config.interface;
    const QString lab = qEnvironmentVariable("KVX_LAB_DEV_IFACE");
    if (!lab.isEmpty())
        return lab;
    if (m_config.units.isEmpty())
        return QString();
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        const QList<QNetworkAddressEntry> entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip() == m_config.units.first().address)
                return iface.name();
        }
    }
    return QString();
}

bool SsdpResponder::start(QString *error)
{
    const QString ifaceName = findInterface();
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(ifaceName);
    if (!iface.isValid()) {
        *error = ifaceName.isEmpty()
                ? QStringLiteral("no interface carries the first unit's address")
                : QStringLiteral("no interface named %1").arg(ifaceName);
        return false;
    }
    m_group = new QUdpSocket(this);
    if (!m_group->bind(QHostAddress::AnyIPv4, kSsdpPort, kShared)) {
        *error = QStringLiteral("cannot bind the SSDP port: %1").arg(m_group->errorString());
        return false;
    }
    if (!m_group->joinMulticastGroup(kGroup, iface)) {
        *error = QStringLiteral("cannot join %1 on %2: %3")
                         .arg(kGroup.toString(), ifaceName, m_group->errorString());
        return false;
    }
    connect(m_group, &QUdpSocket::readyRead, this, &SsdpResponder::slot_groupReadyRead);

    for (int i = 0; i < m_units.size(); ++i) {
        auto *socket = new QUdpSocket(this);
        const QHostAddress address = m_units[i]->config().address;
        if (!socket->bind(address, kSsdpPort, kShared)) {
            *error = QStringLiteral("cannot bind %1:%2: %3")
                             .arg(address.toString())
                             .arg(kSsdpPort)
                             .arg(socket->errorString());
            return false;
        }
        // A search sent straight to one unit is answered by that unit alone.
        connect(socket, &QUdpSocket::readyRead, this, [this, socket, i] { readFrom(socket, i); });
        m_unitSockets << socket;
    }

    m_foreignAddress = !m_config.foreignAddress.isNull() ? m_config.foreignAddress
            : m_units.isEmpty()                          ? QHostAddress()
                                                         : m_units.first()->config().address;
    if (m_config.foreign || m_config.flood > 0) {
        for (int i = 0; i < m_units.size(); ++i) {
            if (m_units[i]->config().address == m_foreignAddress)
                m_foreignSocket = m_unitSockets[i];
        }
        if (!m_foreignSocket) {
            m_foreignSocket = new QUdpSocket(this);
            if (!m_foreignSocket->bind(m_foreignAddress, 0)) {
                *error = QStringLiteral("cannot bind the foreign sender %1: %2")
                                 .arg(m_foreignAddress.toString(), m_foreignSocket->errorString());
                return false;
            }
        }
        m_foreign = SsdpText::foreignResponses(m_foreignAddress);
    }
    m_clock.start();
    return true;
}

void SsdpResponder::slot_groupReadyRead()
{
    readFrom(m_group, -1);
}

void SsdpResponder::readFrom(QUdpSocket *socket, int onlyUnit)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (datagram.isNull())
            break;
        answer(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort()), onlyUnit);
    }
}

void SsdpResponder::answer(const QByteArray &datagram, const QHostAddress &sender, quint16 port,
                           int onlyUnit)
{
    ++m_searchesReceived;
    if (datagram != SsdpText::expectedSearch() && m_violations.size() < kMaxViolations) {
        m_violations << QStringLiteral("%1 bytes from %2:%3: %4")
                                .arg(datagram.size())
                                .arg(sender.toString())
                                .arg(port)
                                .arg(describeBytes(datagram, 200));
    }
    if (!SsdpText::isSearch(datagram))
        return;

    const double seconds = m_clock.elapsed() / 1000.0;
    for (int i = 0; i < m_units.size(); ++i) {
        if (onlyUnit >= 0 && i != onlyUnit)
            continue;
        const UnitConfig &unit = m_units[i]->config();
        if (unit.silentAfterSeconds >= 0 && seconds >= unit.silentAfterSeconds)
            continue;
        if (m_units[i]->isRestarting())
            continue;
        const bool renamed = unit.renameAfterSeconds >= 0 && seconds >= unit.renameAfterSeconds;
        m_unitSockets[i]->writeDatagram(
                SsdpText::unitResponse(unit, renamed ? unit.newNickname : unit.nickname), sender,
                port);
        ++m_units[i]->stats().searchesAnswered;
    }
    if (m_config.foreign) {
        for (const QByteArray &response : qAsConst(m_foreign)) {
            m_foreignSocket->writeDatagram(response, sender, port);
            ++m_foreignSent;
        }
    }
    if (m_config.flood > 0) {
        m_floodTargets.insert(sender.toString() + QLatin1Char(':') + QString::number(port),
                              Target{ sender, port });
        if (!m_floodTimer.isActive()) {
            m_floodClock.start();
            m_floodDue = 0;
            m_floodTimer.start();
        }
    }
}

// Sends as many datagrams as the configured rate has made due since the flood
// began, so that a late timer does not lower the rate. Each tick floods for
// part of its interval at most: a rate above what this process can send
// becomes "as fast as it can", and the units still answer searches and
// commands in between.
void SsdpResponder::slot_floodTick()
{
    QElapsedTimer budget;
    budget.start();
    const qint64 due = m_floodClock.elapsed() * m_config.flood / 1000;
    for (; m_floodDue < due; ++m_floodDue) {
        if ((m_floodDue & 63) == 0 && budget.elapsed() >= kFloodBudgetMs)
            break;
        const QByteArray &response = m_foreign.at(int(m_floodDue % m_foreign.size()));
        for (const Target &target : qAsConst(m_floodTargets)) {
            m_foreignSocket->writeDatagram(response, target.address, target.port);
            ++m_floodSent;
        }
    }
}
