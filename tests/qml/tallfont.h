#pragma once

// A font family of its own with far taller lines than the fonts the window's
// layout was made with, the way a Japanese nickname's fallback font or a
// display-scaling setting brings them: DejaVu Sans, renamed "DejaVu Tall",
// with its ascent raised to 1.3 em and its descent to 0.5 em (a line of 1.8
// em, against 1.16 em for DejaVu Sans and 1.33 em for Segoe UI). Made in
// memory from the system's DejaVu Sans; nothing is installed on the system.

#include <QByteArray>
#include <QFile>
#include <QFontDatabase>
#include <QString>
#include <QStringList>
#include <QtEndian>

inline QString installTallFont()
{
    const QStringList candidates{ QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),
                                  QStringLiteral("/usr/share/fonts/TTF/DejaVuSans.ttf") };
    QByteArray font;
    for (const QString &path : candidates) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            font = file.readAll();
            break;
        }
    }
    if (font.size() < 12)
        return QString();

    auto u16 = [&font](int at) { return qFromBigEndian<quint16>(font.constData() + at); };
    auto u32 = [&font](int at) { return qFromBigEndian<quint32>(font.constData() + at); };
    auto put16 = [&font](int at, qint16 value) { qToBigEndian<qint16>(value, font.data() + at); };

    int head = -1, hhea = -1, os2 = -1, name = -1, nameLength = 0;
    const int tables = u16(4);
    for (int i = 0; i < tables && 12 + 16 * i + 16 <= font.size(); ++i) {
        const int record = 12 + 16 * i;
        const QByteArray tag = font.mid(record, 4);
        const int offset = int(u32(record + 8));
        if (tag == "head")
            head = offset;
        else if (tag == "hhea")
            hhea = offset;
        else if (tag == "OS/2")
            os2 = offset;
        else if (tag == "name") {
            name = offset;
            nameLength = int(u32(record + 12));
        }
    }
    if (head < 0 || hhea < 0 || os2 < 0 || name < 0 || os2 + 78 > font.size())
        return QString();

    const int em = u16(head + 18);
    const qint16 ascent = qint16(em * 13 / 10);
    const qint16 descent = qint16(em / 2);
    put16(hhea + 4, ascent);
    put16(hhea + 6, qint16(-descent));
    put16(hhea + 8, 0);
    put16(os2 + 68, ascent);
    put16(os2 + 70, qint16(-descent));
    put16(os2 + 72, 0);
    put16(os2 + 74, ascent);
    put16(os2 + 76, descent);

    // Same length, so no offset in the name table moves.
    QByteArray names = font.mid(name, nameLength);
    for (const auto &pair :
         { qMakePair(QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Tall")),
           qMakePair(QStringLiteral("DejaVuSans"), QStringLiteral("DejaVuTall")) }) {
        names.replace(pair.first.toLatin1(), pair.second.toLatin1());
        QByteArray from, to;
        for (const QChar c : pair.first)
            from.append('\0').append(char(c.unicode()));
        for (const QChar c : pair.second)
            to.append('\0').append(char(c.unicode()));
        names.replace(from, to);
    }
    font.replace(name, nameLength, names);

    const int id = QFontDatabase::addApplicationFontFromData(font);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.contains(QStringLiteral("DejaVu Tall")) ? QStringLiteral("DejaVu Tall")
                                                            : QString();
}
