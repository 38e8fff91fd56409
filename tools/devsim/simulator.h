#pragma once

#include "simconfig.h"

#include <QJsonObject>
#include <QObject>
#include <QVector>

class SsdpResponder;
class UnitServer;

// All simulated units of one run, their SSDP side, and the results file.
class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(const SimConfig &config, const QString &resultsPath, QObject *parent = nullptr);

    bool start(QString *error);
    QJsonObject results() const;
    // Writes the results file whole or not at all (a reader never sees half of it).
    bool writeResults(QString *error);

private:
    SimConfig m_config;
    QString m_resultsPath;
    QVector<UnitServer *> m_units;
    SsdpResponder *m_ssdp = nullptr;
    int m_openConnections = 0;
    int m_peakConnections = 0;
    int m_generation = 0;
};
