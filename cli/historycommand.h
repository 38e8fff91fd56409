#pragma once

#include "core/unitrunrecord.h"

#include <QList>
#include <QString>

class QIODevice;

// kvx-update history: the run history, one run after the other, as tables
// for people or as a JSON array for programs.
namespace HistoryCommand {

// The records grouped by run, in the order the runs began; the latest
// `lastRuns` runs only (all for 0).
QList<QList<UnitRunRecord>> runs(const QList<UnitRunRecord> &records, int lastRuns);

// One run: a heading with its time, program, image and counts, then a table
// of its units. Every text from a unit is made printable.
QString runText(const QList<UnitRunRecord> &run);

// The whole output for these runs; "No runs recorded yet." when there are none.
QString text(const QList<QList<UnitRunRecord>> &runs);

// Reads the history file and prints it; warnings for skipped lines go to err.
// 0, or 2 when the file exists but cannot be read.
int run(const QString &path, int lastRuns, bool json, QIODevice *out, QIODevice *err);

} // namespace HistoryCommand
