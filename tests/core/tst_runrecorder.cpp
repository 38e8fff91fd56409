#include "common/csvreader.h"
#include "core/runrecorder.h"
#include "core/runreport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// The window's record of a run: a history line for every unit whose run ends,
// written the moment it ends; the latest run's units as a report; nothing
// read or written before a unit ends.
class TestRunRecorder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void unitEndBecomesHistoryLine();
    void linesFollowEachEnd();
    void oneEndPerUnitAndRun();
    void beginRunForgetsTheRunBefore();
    void nothingTouchedBeforeAUnitEnds();
    void historyFailureKeepsTheRun();
    void defaultReportPath();
    void reportPath_data();
    void reportPath();
    void saveReport();
    void failedSaveLosesNothing();
    void lineWaitsForTheUnitBack_data();
    void lineWaitsForTheUnitBack();

private:
    QVariantMap unit(const QString &address, const QString &result) const;

    QTemporaryDir *m_dir = nullptr;
    RunRecorder *m_recorder = nullptr;
    QDateTime m_now;
    QByteArray m_image;
};

void TestRunRecorder::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_now = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 0));
    m_image = QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12) + QByteArray(1000, 'x');
    m_recorder = new RunRecorder(QStringLiteral("kvx-updater 1.0"));
    m_recorder->setImage(m_image);
    m_recorder->setHistory(RunHistory(m_dir->filePath(QStringLiteral("data/runs.jsonl"))));
    m_recorder->setReportFolder(m_dir->filePath(QStringLiteral("Documents")));
    m_recorder->setClock([this] { return m_now; });
}

void TestRunRecorder::cleanup()
{
    delete m_recorder;
    m_recorder = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

QVariantMap TestRunRecorder::unit(const QString &address, const QString &result) const
{
    return { { "address", address },
             { "model", "ZP-9E" },
             { "nickname", "=cmd|' /C calc'!A0" },
             { "versionBefore", "1.02 (build0110)" },
             { "result", result },
             { "lastText",
               result == UnitRunRecord::kSucceeded ? "Firmware update completed."
                                                   : "ERROR: Connection refused" } };
}

void TestRunRecorder::unitEndBecomesHistoryLine()
{
    m_recorder->beginRun();
    m_now = m_now.addSecs(1);
    m_recorder->unitStarted(QStringLiteral("10.77.0.10"));
    m_now = m_now.addSecs(30);
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded)));

    const RunHistory::Contents read = m_recorder->history().read();
    QCOMPARE(read.records.size(), 1);
    const UnitRunRecord &r = read.records.first();
    QCOMPARE(r.run, QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7)));
    QCOMPARE(r.started, QDateTime(QDate(2024, 5, 1), QTime(14, 3, 8)));
    QCOMPARE(r.ended, QDateTime(QDate(2024, 5, 1), QTime(14, 3, 38)));
    QCOMPARE(r.address, QStringLiteral("10.77.0.10"));
    QCOMPARE(r.model, QStringLiteral("ZP-9E"));
    QCOMPARE(r.nickname, QStringLiteral("=cmd|' /C calc'!A0"));
    QCOMPARE(r.versionBefore, QStringLiteral("1.02 (build0110)"));
    QCOMPARE(r.versionAfter, QString());
    QCOMPARE(r.result, QStringLiteral("succeeded"));
    QCOMPARE(r.lastText, QStringLiteral("Firmware update completed."));
    QCOMPARE(r.image.model, QStringLiteral("VK-3F"));
    QCOMPARE(r.image.version, QStringLiteral("1.04"));
    QCOMPARE(r.image.build, QStringLiteral("0119"));
    QCOMPARE(r.image.sha256,
             QString::fromLatin1(
                     QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex()));
    QCOMPARE(r.program, QStringLiteral("kvx-updater 1.0"));
    QCOMPARE(m_recorder->records().size(), 1);
    QCOMPARE(m_recorder->records().first().toJson(), r.toJson());
}

void TestRunRecorder::linesFollowEachEnd()
{
    QSignalSpy changed(m_recorder, &RunRecorder::recordsChanged);
    m_recorder->beginRun();
    const QStringList results{ UnitRunRecord::kSucceeded, UnitRunRecord::kFailed,
                               UnitRunRecord::kLost };
    for (int i = 0; i < results.size(); ++i) {
        const QString address = QStringLiteral("10.77.0.%1").arg(10 + i);
        m_recorder->unitStarted(address);
        QVERIFY(m_recorder->unitEnded(unit(address, results.at(i))));
        // On the disk before anything else happens.
        const RunHistory::Contents read = m_recorder->history().read();
        QCOMPARE(read.records.size(), i + 1);
        QCOMPARE(read.records.last().address, address);
        QCOMPARE(read.records.last().result, results.at(i));
    }
    QCOMPARE(m_recorder->recordCount(), 3);
    QCOMPARE(changed.count(), 4);
}

void TestRunRecorder::oneEndPerUnitAndRun()
{
    m_recorder->beginRun();
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kFailed)));
    QVERIFY(m_recorder->hasEnded(QStringLiteral("10.77.0.10")));
    // A second error text of the same run, or the "lost" count at its end.
    QVERIFY(!m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kFailed)));
    QVERIFY(!m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kLost)));
    QVERIFY(!m_recorder->unitEnded(unit(QString(), UnitRunRecord::kLost)));
    QVERIFY(!m_recorder->unitEnded(unit(QStringLiteral("10.77.0.11"), QString())));
    QCOMPARE(m_recorder->recordCount(), 1);
    QCOMPARE(m_recorder->history().read().records.size(), 1);
}

void TestRunRecorder::beginRunForgetsTheRunBefore()
{
    m_recorder->beginRun();
    m_recorder->unitStarted(QStringLiteral("10.77.0.10"));
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kFailed)));
    m_now = m_now.addSecs(60);
    m_recorder->beginRun();
    QCOMPARE(m_recorder->recordCount(), 0);
    QVERIFY(!m_recorder->hasEnded(QStringLiteral("10.77.0.10")));
    // Ended without a start in this run: no start time is made up.
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded)));
    QCOMPARE(m_recorder->records().first().run, m_now);
    QVERIFY(!m_recorder->records().first().started.isValid());
    const RunHistory::Contents read = m_recorder->history().read();
    QCOMPARE(read.records.size(), 2);
    QVERIFY(read.records.at(0).run != read.records.at(1).run);
}

void TestRunRecorder::nothingTouchedBeforeAUnitEnds()
{
    const QString folder = m_dir->filePath(QStringLiteral("data"));
    m_recorder->beginRun();
    m_recorder->unitStarted(QStringLiteral("10.77.0.10"));
    QVERIFY(!m_recorder->defaultReportPath().isEmpty());
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded)));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/runs.jsonl")));
}

void TestRunRecorder::historyFailureKeepsTheRun()
{
    QFile blocker(m_dir->filePath(QStringLiteral("data")));
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    QSignalSpy errorChanged(m_recorder, &RunRecorder::historyErrorChanged);
    m_recorder->beginRun();
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^Could not add to the run history ")));
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded)));
    QCOMPARE(m_recorder->recordCount(), 1);
    QVERIFY2(m_recorder->historyError().startsWith(
                     QStringLiteral("Could not add to the run history ")),
             qPrintable(m_recorder->historyError()));
    QCOMPARE(errorChanged.count(), 1);
    // The report still holds the unit.
    const QString path = m_dir->filePath(QStringLiteral("report.csv"));
    QCOMPARE(m_recorder->saveReport(path), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(CsvReader::read(file.readAll()).rows.size(), 2);
}

void TestRunRecorder::defaultReportPath()
{
    m_now = QDateTime(QDate(2024, 5, 1), QTime(9, 3, 7));
    QCOMPARE(m_recorder->defaultReportPath(),
             QDir::toNativeSeparators(m_dir->filePath(
                     QStringLiteral("Documents/kvx-report-2024-05-01-090307.csv"))));
    RunRecorder plain(QStringLiteral("kvx-updater 1.0"));
    QStandardPaths::setTestModeEnabled(true);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = plain.defaultReportPath();
    QStandardPaths::setTestModeEnabled(false);
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(documents).absoluteFilePath());
    QVERIFY2(QRegularExpression(QStringLiteral("^kvx-report-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.csv$"))
                     .match(QFileInfo(path).fileName())
                     .hasMatch(),
             qPrintable(path));
}

void TestRunRecorder::reportPath_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("relative"); // to the temporary folder; "" for none
    QTest::newRow("name only") << "rack.csv"
                               << "Documents/rack.csv";
    QTest::newRow("blanks around") << "  rack.csv "
                                   << "Documents/rack.csv";
    QTest::newRow("sub-folder") << "venue/rack.json"
                                << "Documents/venue/rack.json";
    QTest::newRow("empty") << "   "
                           << "";
}

void TestRunRecorder::reportPath()
{
    QFETCH(QString, typed);
    QFETCH(QString, relative);
    QCOMPARE(m_recorder->reportPath(typed),
             relative.isEmpty() ? QString() : QDir::toNativeSeparators(m_dir->filePath(relative)));
    // Absolute paths and file URLs stay where they point.
    const QString absolute = m_dir->filePath(QStringLiteral("x/r.csv"));
    QCOMPARE(m_recorder->reportPath(absolute), QDir::toNativeSeparators(absolute));
    QCOMPARE(m_recorder->reportPath(QUrl::fromLocalFile(absolute).toString()),
             QDir::toNativeSeparators(absolute));
}

void TestRunRecorder::saveReport()
{
    m_recorder->beginRun();
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded)));
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.11"), UnitRunRecord::kFailed)));
    // The Documents folder is made when it is missing; no other is.
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("Documents"))));
    QVERIFY(!m_recorder->fileExists(QStringLiteral("r.csv")));
    QVERIFY(m_recorder->saveReport(QStringLiteral("sub/r.csv"))
                    .startsWith(QStringLiteral("Could not save the report to ")));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("Documents/sub"))));
    QCOMPARE(m_recorder->saveReport(QStringLiteral("r.csv")), QString());
    QVERIFY(m_recorder->fileExists(QStringLiteral("r.csv")));
    QFile csv(m_dir->filePath(QStringLiteral("Documents/r.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), RunReport::toCsv(m_recorder->records()));
    QCOMPARE(m_recorder->saveReport(QStringLiteral("r.json")), QString());
    QFile json(m_dir->filePath(QStringLiteral("Documents/r.json")));
    QVERIFY(json.open(QIODevice::ReadOnly));
    QCOMPARE(json.readAll(), RunReport::toJson(m_recorder->records()));
}

void TestRunRecorder::failedSaveLosesNothing()
{
    m_recorder->beginRun();
    QVERIFY(m_recorder->unitEnded(unit(QStringLiteral("10.77.0.10"), UnitRunRecord::kSucceeded)));
    QCOMPARE(m_recorder->saveReport(QString()), QStringLiteral("Give the report a file name."));
    const QString missing = m_dir->filePath(QStringLiteral("no/such/folder/r.csv"));
    QCOMPARE(m_recorder->saveReport(missing),
             QStringLiteral("Could not save the report to %1: the folder %2 does not exist.")
                     .arg(QDir::toNativeSeparators(missing),
                          QDir::toNativeSeparators(
                                  m_dir->filePath(QStringLiteral("no/such/folder")))));
    const QString folder = m_dir->path();
    QCOMPARE(m_recorder->saveReport(folder),
             QStringLiteral("Could not save the report to %1: it is a folder.")
                     .arg(QDir::toNativeSeparators(folder)));
    // Everything is still there for a second try.
    QCOMPARE(m_recorder->recordCount(), 1);
    const QString good = m_dir->filePath(QStringLiteral("r.csv"));
    QCOMPARE(m_recorder->saveReport(good), QString());
    QFile file(good);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const CsvReader csv = CsvReader::read(file.readAll());
    QCOMPARE(csv.rows.size(), 2);
    QCOMPARE(csv.rows.at(1).at(3), QStringLiteral("10.77.0.10"));
}

void TestRunRecorder::lineWaitsForTheUnitBack_data()
{
    QTest::addColumn<QString>("back"); // what it came back with; empty: never
    QTest::addColumn<bool>("updated");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("nextRunFirst"); // a new run begins before it is back
    QTest::newRow("back with the image") << "1.04 (build0119)" << true << "succeeded" << false;
    QTest::newRow("back unchanged") << "1.02" << false << "not updated" << false;
    QTest::newRow("back after the next run began") << "1.04" << true << "succeeded" << true;
    QTest::newRow("never back: written at the end") << "" << true << "succeeded" << false;
}

void TestRunRecorder::lineWaitsForTheUnitBack()
{
    QFETCH(QString, back);
    QFETCH(bool, updated);
    QFETCH(QString, result);
    QFETCH(bool, nextRunFirst);
    const QString address = QStringLiteral("10.77.0.10");
    m_recorder->beginRun();
    QVariantMap ended = unit(address, UnitRunRecord::kSucceeded);
    ended.insert(QStringLiteral("awaitProof"), true);
    QVERIFY(m_recorder->unitEnded(ended));
    QVERIFY(m_recorder->history().read().records.isEmpty());
    QCOMPARE(m_recorder->recordCount(), 1);
    QCOMPARE(m_recorder->restartingCount(), 1);
    QVERIFY(!m_recorder->unitBack(QStringLiteral("10.77.0.99"), back, updated));
    if (nextRunFirst) {
        m_recorder->beginRun();
        QCOMPARE(m_recorder->restartingCount(), 0);
    }
    m_now = m_now.addSecs(40);
    if (back.isEmpty()) {
        const RunHistory history = m_recorder->history();
        delete m_recorder;
        m_recorder = nullptr;
        const RunHistory::Contents read = history.read();
        QCOMPARE(read.records.size(), 1);
        QCOMPARE(read.records.first().versionAfter, QString());
        QCOMPARE(read.records.first().result, result);
        return;
    }
    QVERIFY(m_recorder->unitBack(address, back, updated));
    QVERIFY(!m_recorder->unitBack(address, back, updated)); // once
    const RunHistory::Contents read = m_recorder->history().read();
    QCOMPARE(read.records.size(), 1);
    const UnitRunRecord &r = read.records.first();
    QCOMPARE(r.versionBefore, QStringLiteral("1.02 (build0110)"));
    QCOMPARE(r.versionAfter, back);
    QCOMPARE(r.result, result);
    QCOMPARE(r.ended, QDateTime(QDate(2024, 5, 1), QTime(14, 3, 47)));
    QCOMPARE(m_recorder->restartingCount(), 0);
    // The run's report says the same, while the run is the latest.
    if (!nextRunFirst)
        QCOMPARE(m_recorder->records().first().toJson(), r.toJson());
}

QTEST_GUILESS_MAIN(TestRunRecorder)
#include "tst_runrecorder.moc"
