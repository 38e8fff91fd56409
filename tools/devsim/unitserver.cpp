#include "unitserver.h"

#include "unitsession.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
// A client that breaks the protocol on every block would otherwise grow the
// results file without bound.
constexpr int kMaxViolations = 200;
} // namespace

UnitServer::UnitServer(const UnitConfig &config, QObject *parent)
    : QObject(parent), m_config(config)
{
    m_bootTimer.setSingleShot(true);
    connect(&m_bootTimer, &QTimer::timeout, this, [this] { boot(m_bootFails); });
}

bool UnitServer::start(QString *error)
{
    if (m_config.faults.refuse)
        return true; // nothing listens: the stack answers a connection with a reset
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &UnitServer::slot_newConnection);
    return listen(error);
}

bool UnitServer::listen(QString *error)
{
    if (!m_server->listen(m_config.address, kPort)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(m_config.address.toString())
                         .arg(kPort)
                         .arg(m_server->errorString());
        return false;
    }
    return true;
}

QString UnitServer::headerVersion(const QByteArray &image)
{
    const int version = image.size() >= 10 ? quint8(image.at(8)) | quint8(image.at(9)) << 8 : 0;
    return QStringLiteral("%1.%2").arg(version / 100).arg(version % 100, 2, 10, QLatin1Char('0'));
}

QString UnitServer::headerBuild(const QByteArray &image)
{
    const int build = image.size() >= 12 ? quint8(image.at(10)) | quint8(image.at(11)) << 8 : 0;
    return QStringLiteral("%1").arg(build, 4, 10, QLatin1Char('0'));
}

void UnitServer::restartAfterUpdate(bool bootFails)
{
    if (m_config.rebootSeconds < 0 || m_restarting)
        return;
    m_restarting = true;
    m_bootFails = bootFails;
    ++m_stats.restarts;
    // It goes down a moment after its last reply, as a unit does that has
    // to leave its flash in order first: a client gets to read that reply
    // whole, even one without a line end that it judges by a quiet time.
    QTimer::singleShot(kGoDownMs, this, [this] {
        if (!m_restarting)
            return;
        if (m_server)
            m_server->close();
        const QList<UnitSession *> sessions = m_sessions;
        for (UnitSession *session : sessions)
            session->closeWhenWritten();
    });
    m_bootTimer.start(int(m_config.rebootSeconds * 1000));
}

void UnitServer::boot(bool fails)
{
    if (!fails) {
        m_config.version = headerVersion(m_stats.image);
        m_config.build = headerBuild(m_stats.image);
    }
    m_restarting = false;
    QString error;
    if (m_server && !listen(&error))
        addViolation(QStringLiteral("after the restart: %1").arg(error));
}

void UnitServer::addViolation(const QString &text)
{
    if (m_stats.violations.size() < kMaxViolations)
        m_stats.violations << text;
    else if (m_stats.violations.size() == kMaxViolations)
        m_stats.violations << QStringLiteral("further violations not recorded");
}

void UnitServer::slot_newConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const int index = m_stats.connections++;
        const bool faulty =
                m_config.faults.faultConnections < 0 || index < m_config.faults.faultConnections;
        m_stats.peakConnections = qMax(m_stats.peakConnections, ++m_stats.openConnections);
        auto *session = new UnitSession(socket, this, faulty);
        m_sessions << session;
        connect(session, &QObject::destroyed, this, [this, session] {
            m_sessions.removeOne(session);
            --m_stats.openConnections;
            emit connectionsChanged(-1);
        });
        emit connectionsChanged(1);
    }
}

int UnitServer::liveConnections() const
{
    int live = 0;
    for (const UnitSession *session : m_sessions)
        live += session->peerClosed() ? 0 : 1;
    return live;
}

QJsonObject UnitServer::results() const
{
    const QByteArray received = m_stats.image.left(int(m_stats.bytesReceived));
    QJsonObject unit;
    unit.insert(QStringLiteral("address"), m_config.address.toString());
    unit.insert(QStringLiteral("model"), m_config.model);
    unit.insert(QStringLiteral("connections"), m_stats.connections);
    unit.insert(QStringLiteral("openConnections"), m_stats.openConnections);
    unit.insert(QStringLiteral("peakConnections"), m_stats.peakConnections);
    unit.insert(QStringLiteral("loginAttempts"), m_stats.loginAttempts);
    unit.insert(QStringLiteral("logins"), m_stats.logins);
    unit.insert(QStringLiteral("transfers"), m_stats.transfers);
    unit.insert(QStringLiteral("announcedSize"), double(m_stats.announcedSize));
    unit.insert(QStringLiteral("bytesReceived"), double(m_stats.bytesReceived));
    unit.insert(QStringLiteral("sha256"),
                QString::fromLatin1(
                        QCryptographicHash::hash(received, QCryptographicHash::Sha256).toHex()));
    unit.insert(QStringLiteral("endAcknowledged"), m_stats.endAcknowledged);
    unit.insert(QStringLiteral("dataCommands"), m_stats.dataCommands);
    unit.insert(QStringLiteral("resends"), m_stats.resends);
    unit.insert(QStringLiteral("ngSent"), m_stats.ngSent);
    unit.insert(QStringLiteral("searchesAnswered"), m_stats.searchesAnswered);
    unit.insert(QStringLiteral("version"), m_config.version);
    unit.insert(QStringLiteral("build"), m_config.build);
    unit.insert(QStringLiteral("restarts"), m_stats.restarts);
    unit.insert(QStringLiteral("restarting"), m_restarting);
    unit.insert(QStringLiteral("violations"), QJsonArray::fromStringList(m_stats.violations));
    return unit;
}
