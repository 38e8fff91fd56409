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
// rows ended by CR LF; a field holding a comma or a double quote is put in
// double quotes, with its double quotes doubled. The CSV is for people:
// every text goes through VisibleText::escaped (so no field holds a control
// character, CR and LF included), and no cell begins a formula whether a
// spreadsheet splits the rows at "," or, set to another language, at ";". The
// text begins with a UTF-8 byte order mark, which tells spreadsheets the
// encoding.
QByteArray toCsv(const QList<UnitRunRecord> &records);
// One CSV field as toCsv() writes it.
QString csvField(const QString &text);
// Texts that begin like a formula, after any blanks: "=", "+", "-", "@", a tab
// or a CR.
bool looksLikeFormula(const QString &text);
// The text with an apostrophe before every start of a cell that would be a
// formula: at its beginning, and after each ";" (double quotes skipped).
QString defusedCell(const QString &text);

// An indented JSON array of the records' objects, texts exact.
QByteArray toJson(const QList<UnitRunRecord> &records);

// Whether a report can be made at `path` (its folder exists, the path is not
// a folder, and a file can really be made there): a new file is created and
// removed again, an existing one opened for writing (left as it is) and a
// file made beside it; false with the reason. Nothing is left behind.
bool canWrite(const QString &path, QString *why);

// Writes the report in the format the name asks for. The file appears whole or
// not at all: a failed write leaves an existing file as it was. False with a
// message naming the file and the reason.
bool write(const QString &path, const QList<UnitRunRecord> &records, QString *error);

} // namespace RunReport
