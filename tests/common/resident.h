#pragma once

// This process's resident size from /proc/self/status, in KiB: VmRSS now,
// VmHWM the peak since the last resetPeakResident(). -1 where it cannot be
// read (on Windows, say): figures that print it say "n/a" there.

#include <QFile>
#include <QList>
#include <QtGlobal>

namespace resident_detail {
inline qint64 statusField(const char *name)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(name))
            return line.mid(int(qstrlen(name))).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}
} // namespace resident_detail

inline qint64 residentKiB()
{
    return resident_detail::statusField("VmRSS:");
}

inline qint64 peakResidentKiB()
{
    return resident_detail::statusField("VmHWM:");
}

inline bool resetPeakResident()
{
    // Writing 5 resets the peak resident size to the present one.
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}
