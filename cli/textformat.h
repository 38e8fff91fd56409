#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The small pieces kvx-update's output is made of. Pure functions, so the
// exact texts can be checked without a terminal or a network.
namespace TextFormat {

// Texts from the network (nicknames, models) may hold control characters and
// characters that hide or reorder text; on a terminal an escape sequence in a
// nickname would rewrite the screen. Each becomes a visible escape such as
// "<U+001B>" (VisibleText::escaped, the same as the window and the CSV).
QString printable(const QString &text);

// "512 B", "1.5 KiB", "566.0 KiB", "12.3 MiB".
QString bytes(qint64 count);
// bytes() per second; "-" when the rate is unknown (negative).
QString rate(double bytesPerSecond);
// "0.4 s", "12.3 s", "1 min 05 s", "62 min 00 s"; "-" when unknown (negative).
QString duration(qint64 milliseconds);
// "2024-05-01T14:03:07.250+02:00": local time with its offset.
QString timestamp(const QDateTime &time);

// "[########------------]" with `width` cells between the brackets.
QString bar(int percent, int width);

// Columns left-aligned, two blanks apart; the last column is not padded, so
// no line ends in blanks. Every cell goes through printable().
QString table(const QStringList &header, const QList<QStringList> &rows);

// One line of the plain (not a terminal) progress output.
QString plainLine(const QDateTime &time, const QString &address, const QString &text);

// One compact JSON object and a line end.
QByteArray jsonLine(const QJsonObject &object);

// The line is cut to `width` characters (a terminal wraps longer ones, and the
// live display would lose count of its lines).
QString fitWidth(const QString &line, int width);

} // namespace TextFormat
