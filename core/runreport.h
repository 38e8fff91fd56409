#pragma once

#include "core/unitrunrecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A run's report: one row per unit, as CSV for people (a spreadsheet) or as
// JSON for programs. The texts are pure functions of the records; write()
// puts them in a file.
namespace RunReport {

enum Format { Csv, Json };

// JSON for a name ending in ".json" (any case), CSV for everything else.
Format formatFor(const QString &path);
// True for names ending in ".csv" or ".json" (any case).
bool hasReportExtension(const QString &path);

// RFC 4180: a header row, then one row per record, fields separated by commas,
// rows ended by CR LF; a field holding a comma, a double quote, CR or LF is
// put in double quotes, with its double quotes doubled. A field that a
// spreadsheet would run as a formula gets a leading apostrophe. The text
// begins with a UTF-8 byte order mark, which tells spreadsheets the encoding.
QByteArray toCsv(const QList<UnitRunRecord> &records);
// One CSV field as toCsv() writes it.
QString csvField(const QString &text);
// Texts that begin like a formula: "=", "+", "-", "@", a tab or a CR.
bool looksLikeFormula(const QString &text);

// An indented JSON array of the records' objects, texts exact.
QByteArray toJson(const QList<UnitRunRecord> &records);

// Whether a report can be made at `path` (its folder exists and may be written
// in, and the path is not a folder); false with the reason.
bool canWrite(const QString &path, QString *why);

// Writes the report in the format the name asks for. The file appears whole or
// not at all: a failed write leaves an existing file as it was. False with a
// message naming the file and the reason.
bool write(const QString &path, const QList<UnitRunRecord> &records, QString *error);

} // namespace RunReport
