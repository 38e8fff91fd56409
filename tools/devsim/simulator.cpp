#include "simulator.h"

#include "ssdpresponder.h"
#include "ssdptext.h"
#include "unitserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

Simulator::Simulator(const SimConfig &config, const QString &resultsPath, QObject *parent)
    : QObject(parent), m_config(config), m_resultsPath(resultsPath)
{
    for (const UnitConfig &unit : qAsConst(m_config.units)) {
        auto *server = new UnitServer(unit, this);
        connect(server, &UnitServer::connectionsChanged, this, [this](int delta) {
            m_openConnections += delta;
            if (delta > 0) {
                // A connection the client has just closed may not have been
                // read to its end yet when the next one is accepted; counting
                // it would report an overlap that never happened.
                int live = 0;
                for (const UnitServer *each : qAsConst(m_units))
                    live += each->liveConnections();
                m_peakConnections = qMax(m_peakConnections, live);
            }
        });
        m_units << server;
    }
    m_ssdp = new SsdpResponder(m_config, m_units, this);
}

bool Simulator::start(QString *error)
{
    SsdpText::setDomain(m_config.makerDomain.toUtf8());
    for (UnitServer *unit : qAsConst(m_units)) {
        if (!unit->start(error))
            return false;
    }
    return m_ssdp->start(error);
}

QJsonObject Simulator::results() const
{
    QJsonArray units;
    for (const UnitServer *unit : m_units)
        units.append(unit->results());
    QJsonObject root;
    root.insert(QStringLiteral("units"), units);
    root.insert(QStringLiteral("peakConnections"), m_peakConnections);
    root.insert(QStringLiteral("openConnections"), m_openConnections);
    root.insert(QStringLiteral("msearchReceived"), m_ssdp->searchesReceived());
    root.insert(QStringLiteral("msearchViolations"),
                QJsonArray::fromStringList(m_ssdp->searchViolations()));
    root.insert(QStringLiteral("foreignSent"), m_ssdp->foreignSent());
    root.insert(QStringLiteral("floodSent"), m_ssdp->floodSent());
    root.insert(QStringLiteral("generation"), m_generation);
    return root;
}

bool Simulator::writeResults(QString *error)
{
    if (m_resultsPath.isEmpty())
        return true;
    ++m_generation;
    QSaveFile file(m_resultsPath);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(results()).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
