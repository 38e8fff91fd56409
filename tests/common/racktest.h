#pragma once

// The frame of an end-to-end test: a simulated rack in the lab's device
// namespace and the whole updater in the test process. A case skips outside
// the lab, fails if the lab's namespaces are not isolated or hold too few
// units, and leaves neither updater nor simulator behind.
//
//     class TestE2eX : public RackTest
//     {
//         Q_OBJECT
//     public:
//         TestE2eX() : RackTest(8) { }
//     private slots:
//         void aCase();
//     };

#include "common/lab.h"
#include "common/updaterwindow.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QFile>
#include <QJsonObject>
#include <QObject>
#include <QTest>

class RackTest : public QObject
{
    Q_OBJECT

public:
    explicit RackTest(int unitsNeeded) : m_unitsNeeded(unitsNeeded) { }

protected:
    // Starts the simulator with `units`, then the updater, and waits until
    // the window shows a card for each unit in the simulator's order (one
    // search's answers arrive in it) and the table holds the build's image.
    bool startRack(const QList<QJsonObject> &units, QString *why, int cardsMs = 15000)
    {
        // The units answer from the first search on; the table searches a
        // tick after it is built.
        if (!m_sim.start(LabDevSim::config(units)))
            return fail(why, QStringLiteral("kvx-devsim: ") + m_sim.errorString());
        if (!m_updater.start(why))
            return false;
        QStringList addresses;
        for (const QJsonObject &u : units)
            addresses << u.value(QStringLiteral("address")).toString();
        if (!m_updater.waitForCards(addresses, cardsMs))
            return fail(why, QStringLiteral("cards: ") + m_updater.cardAddresses().join(' '));
        if (m_updater.cardAddresses() != addresses)
            return fail(why, QStringLiteral("rows: ") + m_updater.cardAddresses().join(' '));
        QFile file(qEnvironmentVariable("KVX_IMAGE_PATH"));
        if (!file.open(QIODevice::ReadOnly))
            return fail(why, QStringLiteral("cannot read KVX_IMAGE_PATH"));
        if (file.readAll() != tableImage() || tableImage().isEmpty())
            return fail(why, QStringLiteral("the table's image is not the embedded file"));
        return true;
    }

    // The embedded image as the table holds it: every run points at it.
    const QByteArray &tableImage() const { return m_updater.table()->binfile(); }

    // From here on, at the start of each transfer: the record and its run
    // must point at the table's one image, never at a copy. Counts the
    // transfers started and names the units where they did not.
    void watchImagePointers()
    {
        m_pointerProblems.clear();
        m_transfersStarted = 0;
        m_updater.onCoreText = [this](const QString &text, const QString &address) {
            if (text != QLatin1String("Starting..."))
                return;
            ++m_transfersStarted;
            const QByteArray &image = tableImage();
            const UdpMachineNode *node = m_updater.record(address);
            if (!node || node->m_fwup_image != &image || node->m_comm.m_image != &image
                || node->m_comm.m_image->constData() != image.constData())
                m_pointerProblems << address;
        };
    }

    LabDevSim m_sim;
    UpdaterWindow m_updater;
    QStringList m_pointerProblems;
    int m_transfersStarted = 0;

private slots:
    void initTestCase()
    {
        if (!labAvailable())
            QSKIP("needs the network lab (run through tools/netlab/netlab)");
        QString why;
        QVERIFY2(UpdaterWindow::labIsolated(&why), qPrintable(why));
        QVERIFY(labDeviceAddresses().size() >= m_unitsNeeded);
    }

    void cleanup()
    {
        m_updater.stop();
        m_sim.stop();
    }

private:
    static bool fail(QString *why, const QString &text)
    {
        *why = text;
        return false;
    }

    const int m_unitsNeeded;
};
