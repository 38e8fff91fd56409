#include "common/csvreader.h"
#include "common/samplerecord.h"
#include "core/runreport.h"
#include "core/visibletext.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

// The report of a run: CSV that survives a round trip through a CSV reader and
// never runs as a spreadsheet formula, JSON that keeps every text exact, and a
// file that is written whole or not at all.
class TestRunReport : public QObject
{
    Q_OBJECT

private slots:
    void csvField_data();
    void csvField();
    void csvLayout();
    void hostileNicknamesRoundTrip_data();
    void hostileNicknamesRoundTrip();
    void jsonKeepsTextsExact();
    void formatByExtension_data();
    void formatByExtension();
    void writesChosenFormat();
    void unwritablePath_data();
    void unwritablePath();
    void failedWriteKeepsOldFile();
    void canWrite_data();
    void canWrite();

private:
    static UnitRunRecord record(const QString &nickname);
    static QStringList hostileNicknames();
};

UnitRunRecord TestRunReport::record(const QString &nickname)
{
    UnitRunRecord r = sampleRecord(
            QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 250), Qt::OffsetFromUTC, 7200),
            QStringLiteral("10.77.0.10"));
    r.model = QStringLiteral("VK-3F");
    r.nickname = nickname;
    r.image.sha256 = QStringLiteral("bc5a");
    return r;
}

QStringList TestRunReport::hostileNicknames()
{
    return { QStringLiteral("Stage, Left"),
             QStringLiteral("The \"Big\" One"),
             QStringLiteral("two\r\nlines"),
             QStringLiteral("bare\nLF and bare\rCR"),
             QStringLiteral("\"\""),
             QStringLiteral(",\",\r\n"),
             QStringLiteral("=cmd|' /C calc'!A0"),
             QStringLiteral("=HYPERLINK(\"http://10.77.0.99/x\",\"click\")"),
             QStringLiteral("+1+2"),
             QStringLiteral("-2+3"),
             QStringLiteral("@SUM(A1:A9)"),
             QStringLiteral("\t=1"),
             QStringLiteral("舞台 左"),
             QStringLiteral(" leading and trailing blanks "),
             QString() };
}

void TestRunReport::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "Stage Left"
                           << "Stage Left";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("comma") << "Stage, Left"
                           << "\"Stage, Left\"";
    QTest::newRow("quotes doubled") << "The \"Big\" One"
                                    << "\"The \"\"Big\"\" One\"";
    QTest::newRow("CR LF shown as escapes") << "a\r\nb"
                                            << "a<U+000D><U+000A>b";
    QTest::newRow("LF") << "a\nb"
                        << "a<U+000A>b";
    QTest::newRow("equals") << "=1+1"
                            << "'=1+1";
    QTest::newRow("command") << "=cmd|' /C calc'!A0"
                             << "'=cmd|' /C calc'!A0";
    QTest::newRow("plus") << "+1"
                          << "'+1";
    QTest::newRow("minus") << "-1"
                           << "'-1";
    QTest::newRow("at") << "@SUM(A1)"
                        << "'@SUM(A1)";
    QTest::newRow("tab shown, no formula") << "\t=1"
                                           << "<U+0009>=1";
    QTest::newRow("leading CR shown, no formula") << "\r=1"
                                                  << "<U+000D>=1";
    QTest::newRow("formula with quotes and comma") << "=HYPERLINK(\"http://x\",\"y\")"
                                                   << "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"";
    QTest::newRow("equals later is text") << "a=b"
                                          << "a=b";
    QTest::newRow("apostrophe kept") << "'quoted'"
                                     << "'quoted'";
    QTest::newRow("non-ASCII") << "舞台"
                               << "舞台";
}

void TestRunReport::csvField()
{
    QFETCH(QString, text);
    QTEST(RunReport::csvField(text), "field");
}

void TestRunReport::csvLayout()
{
    const UnitRunRecord r = record(QStringLiteral("FOH"));
    const QByteArray csv = RunReport::toCsv({ r });
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QList<QByteArray> lines = csv.mid(3).split('\n');
    QCOMPARE(lines.size(), 3); // header, one row, nothing after the last CR LF
    QCOMPARE(lines.at(0),
             QByteArray("Run started,Started,Ended,Address,Model,Nickname,Version before,"
                        "Version after,Result,Last progress text,Image model,Image version,"
                        "Image build,Image SHA-256,Program\r"));
    const QString times = UnitRunRecord::timeText(r.run) + QLatin1Char(',')
            + UnitRunRecord::timeText(r.started) + QLatin1Char(',')
            + UnitRunRecord::timeText(r.ended);
    QCOMPARE(QString::fromUtf8(lines.at(1)),
             times
                     + QStringLiteral(",10.77.0.10,VK-3F,FOH,1.02 (build0110),,succeeded,"
                                      "Firmware update completed.,VK-3F,1.04,0119,bc5a,"
                                      "kvx-updater 1.0\r"));
    QCOMPARE(lines.at(2), QByteArray());
    // The times carry their offset from UTC, to the millisecond.
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}"
                                               "(Z|[+-]\\d\\d:\\d\\d)$"))
                     .match(UnitRunRecord::timeText(r.run))
                     .hasMatch(),
             qPrintable(UnitRunRecord::timeText(r.run)));
}

void TestRunReport::hostileNicknamesRoundTrip_data()
{
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<bool>("defused");
    // The ones a spreadsheet would take for a formula.
    const QStringList formulas{ QStringLiteral("=cmd|' /C calc'!A0"),
                                QStringLiteral("=HYPERLINK(\"http://10.77.0.99/x\",\"click\")"),
                                QStringLiteral("+1+2"), QStringLiteral("-2+3"),
                                QStringLiteral("@SUM(A1:A9)") };
    for (const QString &nickname : hostileNicknames())
        QTest::newRow(qPrintable(QString(nickname)
                                         .replace(QLatin1Char('\r'), QLatin1String("<CR>"))
                                         .replace(QLatin1Char('\n'), QLatin1String("<LF>"))
                                         .replace(QLatin1Char('\t'), QLatin1String("<TAB>"))))
                << nickname << formulas.contains(nickname);
}

void TestRunReport::hostileNicknamesRoundTrip()
{
    QFETCH(QString, nickname);
    QFETCH(bool, defused);
    const CsvReader csv =
            CsvReader::read(RunReport::toCsv({ record(QStringLiteral("before")), record(nickname),
                                               record(QStringLiteral("after")) }));
    QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
    QCOMPARE(csv.rows.size(), 4);
    for (const QStringList &row : csv.rows)
        QCOMPARE(row.size(), 15);
    QCOMPARE(csv.rows.at(0).at(5), QStringLiteral("Nickname"));
    QCOMPARE(csv.rows.at(1).at(5), QStringLiteral("before"));
    QCOMPARE(csv.rows.at(3).at(5), QStringLiteral("after"));
    // As a person should read it, and for the apostrophe that keeps a
    // formula a text.
    const QString shown = VisibleText::escaped(nickname);
    const QString expected = defused ? QLatin1Char('\'') + shown : shown;
    QCOMPARE(csv.rows.at(2).at(5), expected);
    // The neighbouring fields are untouched.
    QCOMPARE(csv.rows.at(2).at(4), QStringLiteral("VK-3F"));
    QCOMPARE(csv.rows.at(2).at(6), QStringLiteral("1.02 (build0110)"));
}

void TestRunReport::jsonKeepsTextsExact()
{
    QList<UnitRunRecord> records;
    for (const QString &nickname : hostileNicknames())
        records << record(nickname);
    const QJsonDocument document = QJsonDocument::fromJson(RunReport::toJson(records));
    QVERIFY(document.isArray());
    const QJsonArray array = document.array();
    QCOMPARE(array.size(), records.size());
    for (int i = 0; i < records.size(); ++i) {
        const QJsonObject object = array.at(i).toObject();
        QCOMPARE(object.value(QStringLiteral("nickname")).toString(), records.at(i).nickname);
        QCOMPARE(object, records.at(i).toJson());
    }
}

void TestRunReport::formatByExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("known");
    QTest::newRow("csv") << "/tmp/r.csv" << false << true;
    QTest::newRow("json") << "/tmp/r.json" << true << true;
    QTest::newRow("upper case") << "C:\\Reports\\R.JSON" << true << true;
    QTest::newRow("other") << "/tmp/r.txt" << false << false;
    QTest::newRow("none") << "/tmp/report" << false << false;
    QTest::newRow("json in the folder name") << "/tmp/x.json/r.csv" << false << true;
}

void TestRunReport::formatByExtension()
{
    QFETCH(QString, path);
    QFETCH(bool, json);
    QCOMPARE(RunReport::formatFor(path) == RunReport::Json, json);
    QTEST(RunReport::hasReportExtension(path), "known");
}

void TestRunReport::writesChosenFormat()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<UnitRunRecord> records{ record(QStringLiteral("=1+1")) };
    QString error;
    for (const QString &name : { QStringLiteral("r.csv"), QStringLiteral("r.json") }) {
        const QString path = dir.filePath(name);
        QVERIFY2(RunReport::write(path, records, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 name.endsWith(QLatin1String("json")) ? RunReport::toJson(records)
                                                      : RunReport::toCsv(records));
    }
}

// In `dir`: "plain-file", a file where a folder is wanted, and "folder", a
// folder where a file is wanted.
static bool makeBadPlaces(const QTemporaryDir &dir)
{
    QFile plain(dir.filePath(QStringLiteral("plain-file")));
    if (!dir.isValid() || !plain.open(QIODevice::WriteOnly))
        return false;
    plain.close();
    return QDir(dir.path()).mkdir(QStringLiteral("folder"));
}

void TestRunReport::unwritablePath_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing folder") << "no/such/folder/r.csv";
    QTest::newRow("folder is a file") << "plain-file/r.csv";
    QTest::newRow("a folder") << "folder";
}

void TestRunReport::unwritablePath()
{
    QTemporaryDir dir;
    QVERIFY(makeBadPlaces(dir));

    QFETCH(QString, relative);
    const QString path = dir.filePath(relative);
    QString error;
    QVERIFY(!RunReport::write(path, { record(QStringLiteral("FOH")) }, &error));
    const QString prefix =
            QStringLiteral("Could not save the report to %1: ").arg(QDir::toNativeSeparators(path));
    QVERIFY2(error.startsWith(prefix), qPrintable(error));
    QVERIFY2(error.size() > prefix.size(), qPrintable(error)); // and says why
    // Nothing half-written is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
             QStringList{ QStringLiteral("plain-file") });
}

void TestRunReport::failedWriteKeepsOldFile()
{
#ifdef Q_OS_UNIX
    // A report over an existing file is written beside it and only renamed
    // over it once whole. A file size limit makes the writing fail halfway.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("r.csv"));
    QString error;
    QVERIFY2(RunReport::write(path, { record(QStringLiteral("first")) }, &error),
             qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.readAll();
    file.close();

    QList<UnitRunRecord> many;
    for (int i = 0; i < 200; ++i)
        many << record(QStringLiteral("unit %1").arg(i));
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    const sighandler_t previous = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = RunReport::write(path, many, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QVERIFY(!written);
    QVERIFY2(error.startsWith(QStringLiteral("Could not save the report to %1: ")
                                      .arg(QDir::toNativeSeparators(path))),
             qPrintable(error));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), first);
    file.close();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
             QStringList{ QStringLiteral("r.csv") });
#else
    QSKIP("needs a file size limit (POSIX)");
#endif
}

void TestRunReport::canWrite_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("why"); // %1: the temporary folder; empty: writable
    QTest::newRow("new file") << "r.csv"
                              << "";
    QTest::newRow("existing file") << "plain-file"
                                   << "";
    QTest::newRow("missing folder") << "none/r.csv"
                                    << "the folder %1/none does not exist";
    QTest::newRow("folder is a file") << "plain-file/r.csv"
                                      << "%1/plain-file is not a folder";
    QTest::newRow("a folder") << "folder"
                              << "it is a folder";
}

void TestRunReport::canWrite()
{
    QTemporaryDir dir;
    QVERIFY(makeBadPlaces(dir));
    QFETCH(QString, relative);
    QFETCH(QString, why);
    QString got;
    QCOMPARE(RunReport::canWrite(dir.filePath(relative), &got), why.isEmpty());
    // The whole path in the system's separators ("\\" on Windows).
    QCOMPARE(got, why.isEmpty() ? QString() : QDir::toNativeSeparators(why.arg(dir.path())));
}

QTEST_GUILESS_MAIN(TestRunReport)
#include "tst_runreport.moc"
