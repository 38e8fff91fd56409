#include "core/runreport.h"

#include "core/visibletext.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTemporaryFile>

namespace RunReport {

namespace {

// The column titles of the CSV, in the order of UnitRunRecord::fieldNames().
const QStringList &csvHeader()
{
    static const QStringList header{
        QStringLiteral("Run started"),    QStringLiteral("Started"),
        QStringLiteral("Ended"),          QStringLiteral("Address"),
        QStringLiteral("Model"),          QStringLiteral("Nickname"),
        QStringLiteral("Version before"), QStringLiteral("Version after"),
        QStringLiteral("Result"),         QStringLiteral("Last progress text"),
        QStringLiteral("Image model"),    QStringLiteral("Image version"),
        QStringLiteral("Image build"),    QStringLiteral("Image SHA-256"),
        QStringLiteral("Program")
    };
    return header;
}

QByteArray csvRow(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

} // namespace

Format formatFor(const QString &path)
{
    return path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) ? Json : Csv;
}

bool hasReportExtension(const QString &path)
{
    return path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
            || path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

bool looksLikeFormula(const QString &text)
{
    // Spreadsheets skip blanks before a formula.
    int i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    if (i == text.size())
        return false;
    switch (text.at(i).unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

QString defusedCell(const QString &text)
{
    // A spreadsheet shows a cell that begins with an apostrophe as text.
    QString value = looksLikeFormula(text) ? QLatin1Char('\'') + text : text;
    // A spreadsheet set to a language that separates with ";" splits the
    // file there, inside quotes or not, and what follows a ";" begins a cell
    // of its own, quoted or not.
    for (int i = value.indexOf(QLatin1Char(';')); i >= 0;
         i = value.indexOf(QLatin1Char(';'), i + 1)) {
        int start = i + 1;
        while (start < value.size() && value.at(start) == QLatin1Char('"'))
            ++start;
        if (looksLikeFormula(value.mid(start)))
            value.insert(i + 1, QLatin1Char('\''));
    }
    return value;
}

QString csvField(const QString &text)
{
    const QString value = defusedCell(VisibleText::escaped(text));
    const bool needsQuotes = value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"'))
            || value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'));
    if (!needsQuotes)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray toCsv(const QList<UnitRunRecord> &records)
{
    QByteArray csv("\xEF\xBB\xBF");
    csv += csvRow(csvHeader());
    for (const UnitRunRecord &record : records)
        csv += csvRow(record.fieldTexts());
    return csv;
}

QByteArray toJson(const QList<UnitRunRecord> &records)
{
    QJsonArray array;
    for (const UnitRunRecord &record : records)
        array.append(record.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

bool canWrite(const QString &path, QString *why)
{
    const QFileInfo file(path);
    if (file.isDir()) {
        *why = QStringLiteral("it is a folder");
        return false;
    }
    const QFileInfo folder(file.absolutePath());
    const QString shown = QDir::toNativeSeparators(folder.filePath());
    if (!folder.exists()) {
        *why = QStringLiteral("the folder %1 does not exist").arg(shown);
        return false;
    }
    if (!folder.isDir()) {
        *why = QStringLiteral("%1 is not a folder").arg(shown);
        return false;
    }
    // Permission bits do not answer this: root may write anywhere they say,
    // and on Windows they are not looked at at all, while a file system or
    // a policy refuses. Only creating a file does.
    if (file.exists()) {
        // Written beside it and renamed over it (QSaveFile): the folder must
        // take a new file, and the file must be one that can be replaced.
        QFile existing(path);
        if (!existing.open(QIODevice::WriteOnly | QIODevice::Append)) {
            *why = QStringLiteral("the file cannot be written: %1").arg(existing.errorString());
            return false;
        }
        existing.close();
        QTemporaryFile probe(folder.filePath() + QStringLiteral("/.kvx-report-XXXXXX"));
        if (!probe.open()) {
            *why = QStringLiteral("the folder %1 cannot be written in: %2")
                           .arg(shown, probe.errorString());
            return false;
        }
        return true;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *why = QStringLiteral("the folder %1 cannot be written in: %2")
                       .arg(shown, probe.errorString());
        return false;
    }
    probe.close();
    probe.remove();
    return true;
}

bool write(const QString &path, const QList<UnitRunRecord> &records, QString *error)
{
    const QString shown = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("Could not save the report to %1: %2")
                         .arg(shown, file.errorString());
        return false;
    }
    const QByteArray bytes = formatFor(path) == Json ? toJson(records) : toCsv(records);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("Could not save the report to %1: %2")
                         .arg(shown, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace RunReport
