#include "core/runreport.h"

#include <QTest>

// The CSV report opened in a spreadsheet of any language: one set to English
// splits its rows at ",", one set to German, French or Dutch at ";". Either
// way no cell may begin a formula, whatever a unit calls itself.
class TestCsvCells : public QObject
{
    Q_OBJECT

private slots:
    void noFormulaUnderEitherSeparator_data();
    void noFormulaUnderEitherSeparator();
    void defusedCell_data();
    void defusedCell();
};

namespace {

// A row as a tolerant spreadsheet reads it: a double quote opens a quoted
// cell only at the cell's start, doubled quotes inside it are one, and
// anything after its closing quote is kept up to the next separator.
QStringList spreadsheetCells(const QString &row, QChar separator)
{
    QStringList cells;
    int i = 0;
    const int n = row.size();
    while (true) {
        QString cell;
        if (i < n && row.at(i) == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (row.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && row.at(i + 1) == QLatin1Char('"')) {
                        cell += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell += row.at(i++);
            }
        }
        while (i < n && row.at(i) != separator)
            cell += row.at(i++);
        cells << cell;
        if (i >= n)
            break;
        ++i; // the separator
    }
    return cells;
}

bool startsFormula(const QString &cell)
{
    const QString text = cell.trimmed();
    return !text.isEmpty() && QStringLiteral("=+-@").contains(text.at(0));
}

UnitRunRecord record(const QString &text)
{
    UnitRunRecord r;
    r.run = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 250), Qt::OffsetFromUTC, 7200);
    r.address = QStringLiteral("10.77.0.10");
    r.model = text;
    r.nickname = text;
    r.versionBefore = text;
    r.result = UnitRunRecord::kFailed;
    r.lastText = text;
    r.program = QStringLiteral("kvx-updater 1.0");
    return r;
}

} // namespace

void TestCsvCells::noFormulaUnderEitherSeparator_data()
{
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("text");
    const QStringList texts{
        QStringLiteral("Amp;=1+1"), // a nickname "Amp%3B%3D1%2B1" on the wire
        QStringLiteral("Amp, Rack;=1+1"), // quoted in the file
        QStringLiteral("a;\"=1+1\""),
        QStringLiteral("a;\"\"=1"),
        QStringLiteral("a; =1"),
        QStringLiteral("a;;;+1"),
        QStringLiteral(";-1"),
        QStringLiteral(";@SUM(A1)"),
        QStringLiteral("=1;=2;=3"),
        QStringLiteral(" =cmd|' /C calc'!A0"),
        QStringLiteral("a,=1"),
        QStringLiteral("a\";=1"),
        QStringLiteral("\t=1;\r=2"),
        QStringLiteral("a\n=1"),
        QStringLiteral("a;b=1"), // no formula: untouched
    };
    for (const QChar separator : { QLatin1Char(','), QLatin1Char(';') }) {
        for (const QString &text : texts)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(separator).arg(
                    QString(text)
                            .replace(QLatin1Char('\n'), QLatin1String("<LF>"))
                            .replace(QLatin1Char('\r'), QLatin1String("<CR>"))
                            .replace(QLatin1Char('\t'), QLatin1String("<TAB>")))))
                    << separator << text;
    }
}

void TestCsvCells::noFormulaUnderEitherSeparator()
{
    QFETCH(QChar, separator);
    QFETCH(QString, text);
    const QString csv = QString::fromUtf8(RunReport::toCsv({ record(text) }));
    // No line break is left inside a field, so rows are lines whatever the
    // separator: a reader that splits them differently cannot shift a cell.
    const QStringList lines = csv.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(2), QString());
    QVERIFY(!lines.at(1).contains(QLatin1Char('\r')) && !lines.at(1).contains(QLatin1Char('\n')));
    const QStringList cells = spreadsheetCells(lines.at(1), separator);
    if (separator == QLatin1Char(','))
        QCOMPARE(cells.size(), 15);
    for (const QString &cell : cells)
        QVERIFY2(!startsFormula(cell), qPrintable(lines.at(1) + QStringLiteral(" -> ") + cell));
}

void TestCsvCells::defusedCell_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("semicolon then formula") << "Amp;=1+1"
                                            << "Amp;'=1+1";
    QTest::newRow("each one") << "=1;+2;b;-3"
                              << "'=1;'+2;b;'-3";
    QTest::newRow("blanks before it") << "a;  @x"
                                      << "a;'  @x";
    QTest::newRow("quoted after it") << "a;\"=1\""
                                     << "\"a;'\"\"=1\"\"\"";
    QTest::newRow("comma-quoted field") << "Rack, A;=1"
                                        << "\"Rack, A;'=1\"";
    QTest::newRow("text after it stays") << "a;b;c=1"
                                         << "a;b;c=1";
    QTest::newRow("semicolon at the end") << "a;"
                                          << "a;";
    QTest::newRow("blank start") << "  -1"
                                 << "'  -1";
    QTest::newRow("hidden characters first")
            << QString::fromUtf8("\u202e=1;\x1b+1") << "<U+202E>=1;<U+001B>+1";
}

void TestCsvCells::defusedCell()
{
    QFETCH(QString, text);
    QTEST(RunReport::csvField(text), "field");
}

QTEST_GUILESS_MAIN(TestCsvCells)
#include "tst_csvcells.moc"
