#include "common/samplerecord.h"
#include "core/runhistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

// The run history file: one line per unit as its run ends, on the disk before
// append() returns; a line a crash cut off is skipped with a warning when the
// file is read, and never takes the next line with it.
class TestRunHistory : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void oneLinePerAppend();
    void lineHoldsEveryField();
    void recordRoundTrip();
    void appendCreatesFolder();
    void cutLastLineSkippedWithWarning();
    void appendAfterCutLineStartsNewLine();
    void parse_data();
    void parse();
    void missingFile();
    void unwritablePath_data();
    void unwritablePath();
    void fullDisk();
    void defaultPathIsTheWindowsDataFolder();

private:
    static UnitRunRecord record(const QString &address, const QString &result);
    static QByteArray fileBytes(const QString &path);

    QTemporaryDir m_dir;
};

UnitRunRecord TestRunHistory::record(const QString &address, const QString &result)
{
    UnitRunRecord r =
            sampleRecord(QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 250)), address, result);
    r.started = r.run.addMSecs(12);
    r.ended = r.run.addSecs(34);
    // What a line must carry whole: quotes, a comma and a line end.
    r.nickname = QStringLiteral("Stage \"Left\", front\r\n");
    return r;
}

QByteArray TestRunHistory::fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void TestRunHistory::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(m_dir.filePath(QStringLiteral("runs.jsonl")));
}

void TestRunHistory::oneLinePerAppend()
{
    const QString path = m_dir.filePath(QStringLiteral("runs.jsonl"));
    RunHistory history(path);
    QString error;
    QVERIFY2(
            history.append(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded), &error),
            qPrintable(error));
    // Read by someone else the moment append() returns.
    QCOMPARE(fileBytes(path).count('\n'), 1);
    QVERIFY(history.append(record(QStringLiteral("10.77.0.11"), UnitRunRecord::kFailed), &error));
    const QByteArray bytes = fileBytes(path);
    QCOMPARE(bytes.count('\n'), 2);
    QVERIFY(bytes.endsWith('\n'));
    QCOMPARE(bytes,
             RunHistory::line(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded))
                     + RunHistory::line(
                             record(QStringLiteral("10.77.0.11"), UnitRunRecord::kFailed)));
}

void TestRunHistory::lineHoldsEveryField()
{
    const QByteArray line =
            RunHistory::line(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded));
    // One line: the nickname's line break is escaped.
    QCOMPARE(line.count('\n'), 1);
    QVERIFY(line.endsWith('\n'));
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    QCOMPARE(object.keys(),
             QStringList({ "address", "ended", "imageBuild", "imageModel", "imageSha256",
                           "imageVersion", "lastText", "model", "nickname", "program", "result",
                           "run", "started", "versionAfter", "versionBefore" }));
    QCOMPARE(object.value("nickname").toString(), QStringLiteral("Stage \"Left\", front\r\n"));
    QCOMPARE(object.value("result").toString(), QStringLiteral("succeeded"));
    QCOMPARE(object.value("versionAfter").toString(), QString());
    QCOMPARE(object.value("imageBuild").toString(), QStringLiteral("0119"));
    QCOMPARE(object.value("ended").toString(),
             UnitRunRecord::timeText(QDateTime(QDate(2024, 5, 1), QTime(14, 3, 41, 250))));
}

void TestRunHistory::recordRoundTrip()
{
    const UnitRunRecord written = record(QStringLiteral("10.77.0.10"), UnitRunRecord::kNotUpdated);
    const RunHistory::Contents read = RunHistory::parse(RunHistory::line(written));
    QCOMPARE(read.records.size(), 1);
    QCOMPARE(read.warnings, QStringList());
    const UnitRunRecord &r = read.records.first();
    QCOMPARE(r.toJson(), written.toJson());
    QCOMPARE(r.run, written.run);
    QCOMPARE(r.ended.msecsTo(written.ended), 0);
    QCOMPARE(r.result, QStringLiteral("not updated"));
}

void TestRunHistory::appendCreatesFolder()
{
    const QString path = m_dir.filePath(QStringLiteral("a/b/runs.jsonl"));
    QString error;
    QVERIFY2(RunHistory(path).append(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kLost),
                                     &error),
             qPrintable(error));
    QCOMPARE(RunHistory(path).read().records.size(), 1);
}

void TestRunHistory::cutLastLineSkippedWithWarning()
{
    const QString path = m_dir.filePath(QStringLiteral("runs.jsonl"));
    const QByteArray whole =
            RunHistory::line(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded))
            + RunHistory::line(record(QStringLiteral("10.77.0.11"), UnitRunRecord::kFailed));
    const QByteArray third =
            RunHistory::line(record(QStringLiteral("10.77.0.12"), UnitRunRecord::kSucceeded));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(whole + third.left(third.size() / 2));
    file.close();

    const QString warning = QStringLiteral("%1: line 3 was cut off while it was being written; "
                                           "skipped")
                                    .arg(QDir::toNativeSeparators(path));
    const RunHistory::Contents read = RunHistory(path).read();
    QCOMPARE(read.records.size(), 2);
    QCOMPARE(read.records.at(0).address, QStringLiteral("10.77.0.10"));
    QCOMPARE(read.records.at(1).address, QStringLiteral("10.77.0.11"));
    QCOMPARE(read.warnings, QStringList{ warning });
    QVERIFY(read.error.isEmpty());
    QVERIFY(!read.missing);
}

void TestRunHistory::appendAfterCutLineStartsNewLine()
{
    const QString path = m_dir.filePath(QStringLiteral("runs.jsonl"));
    const QByteArray cut =
            RunHistory::line(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded))
                    .left(40);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(cut);
    file.close();

    QString error;
    const UnitRunRecord next = record(QStringLiteral("10.77.0.11"), UnitRunRecord::kSucceeded);
    QVERIFY(RunHistory(path).append(next, &error));
    QCOMPARE(fileBytes(path), cut + '\n' + RunHistory::line(next));
    const RunHistory::Contents read = RunHistory(path).read();
    QCOMPARE(read.records.size(), 1);
    QCOMPARE(read.records.first().address, QStringLiteral("10.77.0.11"));
    QCOMPARE(read.warnings,
             QStringList{ QDir::toNativeSeparators(path)
                          + QStringLiteral(": line 1 is damaged; "
                                           "skipped") });
}

void TestRunHistory::parse_data()
{
    const QByteArray good =
            RunHistory::line(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded));
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("records");
    QTest::addColumn<QStringList>("warnings");
    QTest::newRow("empty") << QByteArray() << 0 << QStringList();
    QTest::newRow("one") << good << 1 << QStringList();
    QTest::newRow("blank lines") << "\n" + good + "\n\n" + good << 2 << QStringList();
    QTest::newRow("CR LF line ends")
            << QByteArray(good).replace('\n', "\r\n") + good << 2 << QStringList();
    QTest::newRow("not JSON in the middle")
            << good + "garbage\n" + good << 2 << QStringList{ "line 2 is damaged; skipped" };
    QTest::newRow("an array") << QByteArray("[1,2]\n") + good << 1
                              << QStringList{ "line 1 is damaged; skipped" };
    QTest::newRow("an object without address") << QByteArray("{\"result\":\"failed\"}\n") << 0
                                               << QStringList{ "line 1 is damaged; skipped" };
    QTest::newRow("an object without result") << QByteArray("{\"address\":\"10.77.0.10\"}\n") << 0
                                              << QStringList{ "line 1 is damaged; skipped" };
    QTest::newRow("cut last line") << good + good.left(10) << 1
                                   << QStringList{ "line 2 was cut off while it was being "
                                                   "written; skipped" };
    QTest::newRow("NUL bytes of a power cut") << good + QByteArray(64, '\0') + "\n" + good << 2
                                              << QStringList{ "line 2 is damaged; skipped" };
}

void TestRunHistory::parse()
{
    QFETCH(QByteArray, contents);
    const RunHistory::Contents read = RunHistory::parse(contents);
    QTEST(int(read.records.size()), "records");
    QTEST(read.warnings, "warnings");
}

void TestRunHistory::missingFile()
{
    const RunHistory::Contents read =
            RunHistory(m_dir.filePath(QStringLiteral("none/runs.jsonl"))).read();
    QVERIFY(read.missing);
    QVERIFY(read.records.isEmpty());
    QVERIFY(read.warnings.isEmpty());
    QVERIFY(read.error.isEmpty());
}

void TestRunHistory::unwritablePath_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("folder is a file") << "plain-file/runs.jsonl";
    QTest::newRow("the file is a folder") << "folder";
}

void TestRunHistory::unwritablePath()
{
    QFile plain(m_dir.filePath(QStringLiteral("plain-file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QDir(m_dir.path()).mkpath(QStringLiteral("folder"));
    QFETCH(QString, relative);
    const QString path = m_dir.filePath(relative);
    QString error;
    QVERIFY(!RunHistory(path).append(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kLost),
                                     &error));
    const QString prefix = QStringLiteral("Could not add to the run history %1: ")
                                   .arg(QDir::toNativeSeparators(path));
    QVERIFY2(error.startsWith(prefix), qPrintable(error));
    QVERIFY2(error.size() > prefix.size() + 3, qPrintable(error));
}

void TestRunHistory::fullDisk()
{
    // /dev/full takes the open and refuses every write, as a full disk does.
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    QString error;
    QVERIFY(!RunHistory(QStringLiteral("/dev/full"))
                     .append(record(QStringLiteral("10.77.0.10"), UnitRunRecord::kLost), &error));
    QCOMPARE(error,
             QStringLiteral("Could not add to the run history /dev/full: ")
                     + QString::fromLocal8Bit(std::strerror(ENOSPC)));
}

void TestRunHistory::defaultPathIsTheWindowsDataFolder()
{
    QStandardPaths::setTestModeEnabled(true);
    const QString own = QCoreApplication::applicationName();
    const QString path = RunHistory::defaultPath();
    QCOMPARE(QCoreApplication::applicationName(), own);
    QCoreApplication::setApplicationName(QStringLiteral("kvx-updater"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setApplicationName(own);
    QStandardPaths::setTestModeEnabled(false);
    QCOMPARE(path, QDir(folder).filePath(QStringLiteral("runs.jsonl")));
    // Whichever program asks, the window's folder.
    QVERIFY2(path.endsWith(QLatin1String("/kvx-updater/runs.jsonl")), qPrintable(path));
}

QTEST_GUILESS_MAIN(TestRunHistory)
#include "tst_runhistory.moc"
