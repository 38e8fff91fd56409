#include "cli/textformat.h"

#include "core/unitrunrecord.h"
#include "core/visibletext.h"

#include <QJsonDocument>

namespace TextFormat {

QString printable(const QString &text)
{
    return VisibleText::escaped(text);
}

QString bytes(qint64 count)
{
    if (count < 0)
        return QStringLiteral("-");
    if (count < 1024)
        return QStringLiteral("%1 B").arg(count);
    const double kib = count / 1024.0;
    if (kib < 1024.0)
        return QStringLiteral("%1 KiB").arg(kib, 0, 'f', 1);
    const double mib = kib / 1024.0;
    if (mib < 1024.0)
        return QStringLiteral("%1 MiB").arg(mib, 0, 'f', 1);
    return QStringLiteral("%1 GiB").arg(mib / 1024.0, 0, 'f', 1);
}

QString rate(double bytesPerSecond)
{
    if (bytesPerSecond < 0)
        return QStringLiteral("-");
    return bytes(qint64(bytesPerSecond)) + QStringLiteral("/s");
}

QString duration(qint64 milliseconds)
{
    if (milliseconds < 0)
        return QStringLiteral("-");
    // Tenths, rounded, so 59.96 s is "60.0 s" and not "1 min 00 s" half the time.
    const qint64 tenths = (milliseconds + 50) / 100;
    if (tenths < 600)
        return QStringLiteral("%1.%2 s").arg(tenths / 10).arg(tenths % 10);
    const qint64 seconds = (milliseconds + 500) / 1000;
    return QStringLiteral("%1 min %2 s")
            .arg(seconds / 60)
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString timestamp(const QDateTime &time)
{
    // The history's own form, so that a line of --json and of the history
    // name the same moment the same way.
    return UnitRunRecord::timeText(time);
}

QString bar(int percent, int width)
{
    const int p = qBound(0, percent, 100);
    const int filled = width * p / 100;
    return QLatin1Char('[') + QString(filled, QLatin1Char('#'))
            + QString(width - filled, QLatin1Char('-')) + QLatin1Char(']');
}

QString table(const QStringList &header, const QList<QStringList> &rows)
{
    QList<QStringList> all;
    all << header;
    for (const QStringList &row : rows)
        all << row;

    QVector<int> widths(header.size(), 0);
    for (QStringList &row : all) {
        for (int i = 0; i < row.size(); ++i)
            row[i] = printable(row.at(i));
        for (int i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = qMax(widths.at(i), row.at(i).size());
    }

    QString text;
    for (const QStringList &row : qAsConst(all)) {
        QString line;
        for (int i = 0; i < widths.size(); ++i) {
            const QString cell = row.value(i);
            if (i + 1 < widths.size())
                line += cell.leftJustified(widths.at(i)) + QStringLiteral("  ");
            else
                line += cell;
        }
        // Empty cells at the end leave blanks behind.
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString plainLine(const QDateTime &time, const QString &address, const QString &text)
{
    return timestamp(time) + QLatin1Char(' ') + printable(address) + QLatin1Char(' ')
            + printable(text);
}

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString fitWidth(const QString &line, int width)
{
    if (width <= 0 || line.size() <= width)
        return line;
    return line.left(width);
}

} // namespace TextFormat
