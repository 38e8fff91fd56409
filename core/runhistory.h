#pragma once

#include "core/unitrunrecord.h"

#include <QList>
#include <QString>
#include <QStringList>

// The run history: one JSON object per line (runs.jsonl), one line per unit
// per run, appended as each unit's run ends and pushed to the disk at once.
// A crash or a power cut loses at most the line being written; reading skips
// a damaged line with a warning and keeps everything else.
//
// Nothing reads the file unless asked (kvx-update history): the window never
// opens it at start-up.
class RunHistory
{
public:
    struct Contents
    {
        QList<UnitRunRecord> records; // in the order they were written
        QStringList warnings; // one per line that was skipped, for the reader to show
        bool missing = false; // there is no history yet
        QString error; // the file exists but cannot be read
    };

    // The file the two programs share: runs.jsonl in the window's data folder
    // (QStandardPaths::AppDataLocation of "kvx-updater"), so that the command
    // line also lists what was done through the window.
    static QString defaultPath();

    explicit RunHistory(const QString &path = defaultPath());

    QString path() const { return m_path; }

    // Appends one line. False with a message naming the file and the reason;
    // nothing already in the file is touched either way.
    bool append(const UnitRunRecord &record, QString *error) const;

    Contents read() const;
    // The records of a file's contents; a pure function of the bytes.
    static Contents parse(const QByteArray &contents);

    // The line a record becomes, line end included.
    static QByteArray line(const UnitRunRecord &record);

private:
    QString m_path;
};
