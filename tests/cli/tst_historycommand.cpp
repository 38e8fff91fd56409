#include "cli/historycommand.h"
#include "common/samplerecord.h"
#include "core/runhistory.h"
#include "core/runreport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

// kvx-update history: the runs one after the other, the latest N of them, as
// tables or as JSON; a damaged line is a warning, never the end.
class TestHistoryCommand : public QObject
{
    Q_OBJECT

private slots:
    void groupsByRun();
    void lastRuns_data();
    void lastRuns();
    void runText();
    void controlCharactersArePrintable();
    void noRuns();
    void damagedLineIsAWarning();
    void json();
    void unreadableFile();

private:
    static UnitRunRecord record(int run, const QString &address, const QString &result,
                                const QString &program = QStringLiteral("kvx-updater 1.0"));
    static QString write(const QTemporaryDir &dir, const QList<UnitRunRecord> &records,
                         const QByteArray &tail = QByteArray());
};

UnitRunRecord TestHistoryCommand::record(int run, const QString &address, const QString &result,
                                         const QString &program)
{
    UnitRunRecord r =
            sampleRecord(QDateTime(QDate(2024, 5, run), QTime(14, 3, 7)), address, result);
    r.started = r.run.addSecs(1);
    r.image.sha256 = QStringLiteral("abcd");
    r.program = program;
    return r;
}

QString TestHistoryCommand::write(const QTemporaryDir &dir, const QList<UnitRunRecord> &records,
                                  const QByteArray &tail)
{
    const QString path = dir.filePath(QStringLiteral("runs.jsonl"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    for (const UnitRunRecord &r : records)
        file.write(RunHistory::line(r));
    file.write(tail);
    return path;
}

void TestHistoryCommand::groupsByRun()
{
    // Two programs' runs interleaved in the file, and the same time from two
    // programs: four runs.
    const QList<UnitRunRecord> records{ record(1, "10.0.0.1", UnitRunRecord::kSucceeded),
                                        record(2, "10.0.0.1", UnitRunRecord::kFailed),
                                        record(1, "10.0.0.2", UnitRunRecord::kFailed),
                                        record(2, "10.0.0.2", UnitRunRecord::kLost,
                                               "kvx-update 1.0"),
                                        record(3, "10.0.0.3", UnitRunRecord::kSucceeded) };
    const QList<QList<UnitRunRecord>> runs = HistoryCommand::runs(records, 0);
    QCOMPARE(runs.size(), 4);
    QCOMPARE(runs.at(0).size(), 2);
    QCOMPARE(runs.at(0).at(1).address, QStringLiteral("10.0.0.2"));
    QCOMPARE(runs.at(1).size(), 1);
    QCOMPARE(runs.at(2).first().program, QStringLiteral("kvx-update 1.0"));
    QCOMPARE(runs.at(3).first().address, QStringLiteral("10.0.0.3"));
}

void TestHistoryCommand::lastRuns_data()
{
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<int>>("days");
    QTest::newRow("all") << 0 << QList<int>{ 1, 2, 3 };
    QTest::newRow("last 1") << 1 << QList<int>{ 3 };
    QTest::newRow("last 2") << 2 << QList<int>{ 2, 3 };
    QTest::newRow("more than there are") << 9 << QList<int>{ 1, 2, 3 };
}

void TestHistoryCommand::lastRuns()
{
    QFETCH(int, last);
    QList<UnitRunRecord> records;
    for (int day = 1; day <= 3; ++day)
        records << record(day, "10.0.0.1", UnitRunRecord::kSucceeded);
    QList<int> days;
    for (const QList<UnitRunRecord> &run : HistoryCommand::runs(records, last))
        days << run.first().run.date().day();
    QTEST(days, "days");
}

void TestHistoryCommand::runText()
{
    QList<UnitRunRecord> run{ record(1, "10.0.40.11", UnitRunRecord::kSucceeded),
                              record(1, "10.0.40.12", UnitRunRecord::kFailed),
                              record(1, "10.0.40.13", UnitRunRecord::kSucceeded) };
    run[2].nickname = QStringLiteral("Stage Left");
    const QString ended = run.first().ended.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
    const QString started =
            run.first().run.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(HistoryCommand::runText(run),
             QStringLiteral("Run of %1 by kvx-updater 1.0, image VK-3F 1.04 (build0119): "
                            "2 succeeded, 1 failed\n"
                            "ADDRESS     MODEL  NICKNAME    BEFORE            AFTER  RESULT     "
                            "ENDED     LAST TEXT\n"
                            "10.0.40.11  ZP-9E  FOH         1.02 (build0110)         succeeded  "
                            "%2  Firmware update completed.\n"
                            "10.0.40.12  ZP-9E  FOH         1.02 (build0110)         failed     "
                            "%2  ERROR: Connection refused\n"
                            "10.0.40.13  ZP-9E  Stage Left  1.02 (build0110)         succeeded  "
                            "%2  Firmware update completed.\n")
                     .arg(started, ended));
}

void TestHistoryCommand::controlCharactersArePrintable()
{
    UnitRunRecord r = record(1, "10.0.0.1", UnitRunRecord::kSucceeded);
    r.nickname = QStringLiteral("evil\x1b[2Jname\r\nx");
    r.program = QStringLiteral("kvx\x1b]0;title\x07");
    const QString text = HistoryCommand::runText({ r });
    QVERIFY(!text.contains(QChar(0x1b)));
    QVERIFY(!text.contains(QChar(0x07)));
    QVERIFY(!text.contains(QLatin1Char('\r')));
    QCOMPARE(text.count(QLatin1Char('\n')), 3); // heading, header, one row
    QVERIFY(text.contains(QStringLiteral("evil<U+001B>[2Jname<U+000D><U+000A>x")));
}

void TestHistoryCommand::noRuns()
{
    QTemporaryDir dir;
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const QString path = dir.filePath(QStringLiteral("none/runs.jsonl"));
    QCOMPARE(HistoryCommand::run(path, 0, false, &out, &err), 0);
    QCOMPARE(QString::fromUtf8(out.data()),
             QStringLiteral("No runs recorded yet (%1).\n").arg(QDir::toNativeSeparators(path)));
    QCOMPARE(err.data(), QByteArray());
    out.buffer().clear();
    out.seek(0);
    QCOMPARE(HistoryCommand::run(path, 0, true, &out, &err), 0);
    QCOMPARE(QJsonDocument::fromJson(out.data()).array(), QJsonArray());
    // An empty file: no runs either.
    QCOMPARE(HistoryCommand::text({}), QStringLiteral("No runs recorded yet.\n"));
}

void TestHistoryCommand::damagedLineIsAWarning()
{
    QTemporaryDir dir;
    const UnitRunRecord good = record(1, "10.0.0.1", UnitRunRecord::kSucceeded);
    const QString path = write(dir, { good, good }, RunHistory::line(good).left(30));
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    QCOMPARE(HistoryCommand::run(path, 0, false, &out, &err), 0);
    QCOMPARE(QString::fromUtf8(err.data()),
             QStringLiteral("kvx-update: warning: %1: line 3 was cut off while it was being "
                            "written; skipped\n")
                     .arg(QDir::toNativeSeparators(path)));
    QCOMPARE(QString::fromUtf8(out.data()), HistoryCommand::runText({ good, good }));
}

void TestHistoryCommand::json()
{
    QTemporaryDir dir;
    const QList<UnitRunRecord> records{ record(1, "10.0.0.1", UnitRunRecord::kSucceeded),
                                        record(2, "10.0.0.2", UnitRunRecord::kFailed) };
    const QString path = write(dir, records);
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    QCOMPARE(HistoryCommand::run(path, 1, true, &out, &err), 0);
    QCOMPARE(out.data(), RunReport::toJson({ records.at(1) }));
}

void TestHistoryCommand::unreadableFile()
{
    QTemporaryDir dir;
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    // A folder where the file should be.
    QCOMPARE(HistoryCommand::run(dir.path(), 0, false, &out, &err), 2);
    QVERIFY2(err.data().startsWith("kvx-update: Could not read the run history "),
             err.data().constData());
    QCOMPARE(out.data(), QByteArray());
}

QTEST_GUILESS_MAIN(TestHistoryCommand)
#include "tst_historycommand.moc"
