#pragma once

// What the end-to-end tests share: a simulated rack in the lab's device
// namespace and the whole updater in the test process, plus the checks of
// what a unit received.

#include "common/lab.h"
#include "common/updaterwindow.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QCryptographicHash>
#include <QFile>
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

inline QStringList violations(const QJsonObject &unit)
{
    QStringList out;
    const QJsonArray array = unit.value(QStringLiteral("violations")).toArray();
    for (const QJsonValue &v : array)
        out << v.toString();
    return out;
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
    if (!violations(unit).isEmpty())
        return who + violations(unit).join(QLatin1String("; "));
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

// The embedded image as the table holds it, checked against the file the
// build embedded.
inline bool embeddedImageMatchesBuild(const QByteArray &image, QString *why)
{
    QFile file(qEnvironmentVariable("KVX_IMAGE_PATH"));
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read KVX_IMAGE_PATH");
        return false;
    }
    if (file.readAll() != image || image.isEmpty()) {
        *why = QStringLiteral("the table's image is not the embedded file");
        return false;
    }
    return true;
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
