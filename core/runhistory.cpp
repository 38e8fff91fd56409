#include "core/runhistory.h"

#include "core/durableappend.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

QString RunHistory::defaultPath()
{
    // The folder is named after the window program whichever program asks.
    const QString own = QCoreApplication::applicationName();
    const QString window = QStringLiteral("kvx-updater");
    if (own != window)
        QCoreApplication::setApplicationName(window);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (own != window)
        QCoreApplication::setApplicationName(own);
    return QDir(folder).filePath(QStringLiteral("runs.jsonl"));
}

RunHistory::RunHistory(const QString &path) : m_path(path) { }

QByteArray RunHistory::line(const UnitRunRecord &record)
{
    return QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact) + '\n';
}

bool RunHistory::append(const UnitRunRecord &record, QString *error) const
{
    auto fail = [&](const QString &why) {
        *error = QStringLiteral("Could not add to the run history %1: %2")
                         .arg(QDir::toNativeSeparators(m_path), why);
        return false;
    };
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot create the folder"));

    // Whole and alone, after a line end if a crash cut the last line off.
    QString why;
    if (!appendDurably(m_path, line(record), &why))
        return fail(why);
    return true;
}

RunHistory::Contents RunHistory::parse(const QByteArray &contents)
{
    Contents result;
    const QList<QByteArray> lines = contents.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray text = lines.at(i);
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.trimmed().isEmpty())
            continue;
        // The piece after the last line end is what a crash cut off.
        const bool unfinished = i == lines.size() - 1;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
        UnitRunRecord record;
        if (parseError.error == QJsonParseError::NoError && document.isObject()
            && UnitRunRecord::fromJson(document.object(), &record)) {
            result.records << record;
            continue;
        }
        result.warnings << (unfinished ? QStringLiteral("line %1 was cut off while it was being "
                                                        "written; skipped")
                                                 .arg(i + 1)
                                       : QStringLiteral("line %1 is damaged; skipped").arg(i + 1));
    }
    return result;
}

RunHistory::Contents RunHistory::read() const
{
    QFile file(m_path);
    if (!file.exists()) {
        Contents none;
        none.missing = true;
        return none;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        Contents failed;
        failed.error = QStringLiteral("Could not read the run history %1: %2")
                               .arg(QDir::toNativeSeparators(m_path), file.errorString());
        return failed;
    }
    Contents contents = parse(file.readAll());
    // The reader shows them; they name the file, as a compiler's messages do.
    for (QString &warning : contents.warnings)
        warning = QDir::toNativeSeparators(m_path) + QStringLiteral(": ") + warning;
    return contents;
}
