#pragma once

// What the end-to-end tests check of a rack (tests/common/racktest.h is
// their frame): what a unit received, the texts of a run, the working slots.

#include "common/racktest.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QTest>

namespace Rack {

// The simulated units' password (kvx-devsim's default).
inline QString password()
{
    return QStringLiteral("admin");
}

inline QString address(int i)
{
    return labDeviceAddresses().value(i);
}

inline QStringList addresses(int n)
{
    return labDeviceAddresses().mid(0, n);
}

// `base` with the settings of `more` added or replaced.
inline QJsonObject with(QJsonObject base, const QJsonObject &more)
{
    for (auto it = more.begin(); it != more.end(); ++it)
        base.insert(it.key(), it.value());
    return base;
}

inline QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// "" when the unit holds exactly `image`, acknowledged at the end of a clean
// exchange; otherwise what is wrong with it.
inline QString imageProblem(const QJsonObject &unit, const QByteArray &image)
{
    const QString who = unit.value(QStringLiteral("address")).toString() + QLatin1String(": ");
    if (unit.isEmpty())
        return QStringLiteral("no results for the unit");
    if (unit.value(QStringLiteral("announcedSize")).toInt() != image.size())
        return who
                + QStringLiteral("announced size %1")
                          .arg(unit.value(QStringLiteral("announcedSize")).toInt());
    if (unit.value(QStringLiteral("bytesReceived")).toInt() != image.size())
        return who
                + QStringLiteral("received %1 bytes")
                          .arg(unit.value(QStringLiteral("bytesReceived")).toInt());
    if (unit.value(QStringLiteral("sha256")).toString() != sha256(image))
        return who
                + QStringLiteral("SHA-256 %1").arg(unit.value(QStringLiteral("sha256")).toString());
    if (!unit.value(QStringLiteral("endAcknowledged")).toBool())
        return who + QStringLiteral("end command not acknowledged");
    if (!LabDevSim::violations(unit).isEmpty())
        return who + LabDevSim::violations(unit).join(QLatin1String("; "));
    return QString();
}

// The texts of one normal run, from the request to the unit's final
// acknowledgement, for an image of `size` bytes.
inline QStringList normalRunTexts(int size)
{
    QStringList texts{ QStringLiteral("connecting..."), QStringLiteral("Starting...") };
    int last = -1;
    for (qint64 sent = 0; sent < size; sent += 512) {
        const int percent = int(sent * 100 / size);
        if (percent != last)
            texts << QStringLiteral("Sending... %1%").arg(percent);
        last = percent;
    }
    texts << QStringLiteral("Writing") << QStringLiteral("Firmware update completed.");
    return texts;
}

// The scheduler's working texts: a unit with one of them holds a slot.
inline bool isWorkingText(const QString &text)
{
    return text.startsWith(QLatin1String("Send")) || text.startsWith(QLatin1String("Writ"))
            || text.startsWith(QLatin1String("connecting")) || text == QLatin1String("Starting...")
            || text.startsWith(QLatin1String("Retry: "));
}

// Most cards that showed a working text at the same time, from the card log.
inline int peakWorkingCards(const QList<UpdaterWindow::TextEvent> &log)
{
    QHash<QString, QString> now;
    int peak = 0;
    for (const UpdaterWindow::TextEvent &e : log) {
        now.insert(e.address, e.text);
        int working = 0;
        for (const QString &text : qAsConst(now))
            working += isWorkingText(text) ? 1 : 0;
        peak = qMax(peak, working);
    }
    return peak;
}

// Position in the log of the first event of `address` with `text`; -1 if none.
inline int firstEvent(const QList<UpdaterWindow::TextEvent> &log, const QString &address,
                      const QString &text)
{
    for (int i = 0; i < log.size(); ++i) {
        if (log.at(i).address == address && log.at(i).text == text)
            return i;
    }
    return -1;
}

// Records whose run has not ended.
inline QStringList busyRecords(const UdpMachineList *table)
{
    QStringList busy;
    for (const UdpMachineNode *node : table->nodes()) {
        if (node->m_fwup_state != UdpMachineNode::Idle)
            busy << node->m_ipaddr;
    }
    return busy;
}

} // namespace Rack
