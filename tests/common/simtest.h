#pragma once

// The frame of the simulator's tests against a raw client: skip outside the
// lab, at least two device addresses, and after every case a simulator that
// ends cleanly on SIGTERM and has written its results.

#include "common/lab.h"

#include <QObject>
#include <QTest>

class SimTest : public QObject
{
    Q_OBJECT

protected:
    QString address(int i) const { return m_addresses.at(i); }

    bool startUnits(const QList<QJsonObject> &units)
    {
        const bool ok = m_sim.start(LabDevSim::config(units));
        if (!ok)
            qWarning("%s", qPrintable(m_sim.errorString()));
        return ok;
    }

    // What a test adds to the shared start, after the lab check.
    virtual void initSimTest() { }

    LabDevSim m_sim;
    QStringList m_addresses;

private slots:
    void initTestCase()
    {
        if (!labAvailable())
            QSKIP("needs the network lab (run through tools/netlab/netlab)");
        m_addresses = labDeviceAddresses();
        QVERIFY(m_addresses.size() >= 2);
        initSimTest();
    }

    void cleanup()
    {
        const bool wasRunning = m_sim.isRunning();
        const QJsonObject final = m_sim.stop();
        QVERIFY2(m_sim.errorString().isEmpty(), qPrintable(m_sim.errorString()));
        QVERIFY(!wasRunning || final.contains("units"));
    }
};
