#pragma once

// A strict RFC 4180 reader for the tests: rows of fields, quoted fields with
// doubled quotes, CR LF (or LF) row ends, line breaks kept inside quotes. It
// knows nothing of how the updater writes CSV, so a report that reads back
// the same through it was quoted right. A UTF-8 byte order mark at the start
// is skipped, as spreadsheets do.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct CsvReader
{
    QList<QStringList> rows;
    QString error; // empty when the text is well-formed

    static CsvReader read(const QByteArray &bytes)
    {
        CsvReader reader;
        QString text = QString::fromUtf8(bytes);
        if (text.startsWith(QChar(0xfeff)))
            text.remove(0, 1);
        QStringList row;
        QString field;
        bool quoted = false; // inside a quoted field
        bool wasQuoted = false; // the current field began with a quote
        int i = 0;
        const int n = text.size();
        auto endField = [&] {
            row << field;
            field.clear();
            wasQuoted = false;
        };
        while (i < n) {
            const QChar c = text.at(i);
            if (quoted) {
                if (c == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    quoted = false;
                    ++i;
                    if (i < n && text.at(i) != QLatin1Char(',') && text.at(i) != QLatin1Char('\r')
                        && text.at(i) != QLatin1Char('\n')) {
                        reader.error = QStringLiteral("text after a closing quote at %1").arg(i);
                        return reader;
                    }
                    continue;
                }
                field += c;
                ++i;
                continue;
            }
            if (c == QLatin1Char('"')) {
                if (!field.isEmpty() || wasQuoted) {
                    reader.error = QStringLiteral("quote inside an unquoted field at %1").arg(i);
                    return reader;
                }
                quoted = true;
                wasQuoted = true;
                ++i;
            } else if (c == QLatin1Char(',')) {
                endField();
                ++i;
            } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                if (c == QLatin1Char('\r')) {
                    if (i + 1 >= n || text.at(i + 1) != QLatin1Char('\n')) {
                        reader.error = QStringLiteral("bare CR outside quotes at %1").arg(i);
                        return reader;
                    }
                    ++i;
                }
                ++i;
                endField();
                reader.rows << row;
                row.clear();
            } else {
                field += c;
                ++i;
            }
        }
        if (quoted) {
            reader.error = QStringLiteral("unterminated quoted field");
            return reader;
        }
        if (!field.isEmpty() || !row.isEmpty()) {
            endField();
            reader.rows << row;
        }
        return reader;
    }
};
