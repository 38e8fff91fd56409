#include "core/runhistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

// The window and kvx-update may add to one run history at the same moment.
// Every line of every writer arrives whole, and none overwrites another.
// The writers are this program itself, started again with KVX_APPEND_TO.
class TestHistoryAppend : public QObject
{
    Q_OBJECT

private slots:
    void writersAtOnceKeepEveryLine_data();
    void writersAtOnceKeepEveryLine();
    void appendWaitsForTheLock();

public:
    // What a started copy does: `count` records named "<writer> <n>".
    static int appendMany(const QString &path, const QString &writer, int count);
};

namespace {

UnitRunRecord record(const QString &writer, int n)
{
    UnitRunRecord r;
    r.run = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 250), Qt::UTC);
    r.address = QStringLiteral("10.77.0.10");
    // Long lines: a write that is cut or overtaken shows.
    r.nickname = QStringLiteral("%1 %2 ").arg(writer).arg(n) + QString(1500, QLatin1Char('x'));
    r.result = UnitRunRecord::kSucceeded;
    return r;
}

QProcess *startWriter(const QString &path, const QString &writer, int count, QObject *parent)
{
    auto *process = new QProcess(parent);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KVX_APPEND_TO"), path);
    environment.insert(QStringLiteral("KVX_APPEND_WRITER"), writer);
    environment.insert(QStringLiteral("KVX_APPEND_COUNT"), QString::number(count));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QCoreApplication::applicationFilePath(), QStringList());
    return process;
}

} // namespace

int TestHistoryAppend::appendMany(const QString &path, const QString &writer, int count)
{
    const RunHistory history(path);
    for (int n = 0; n < count; ++n) {
        QString error;
        if (!history.append(record(writer, n), &error)) {
            qWarning("%s", qPrintable(error));
            return 1;
        }
    }
    return 0;
}

void TestHistoryAppend::writersAtOnceKeepEveryLine_data()
{
    QTest::addColumn<int>("writers");
    QTest::addColumn<int>("lines");
    QTest::newRow("two") << 2 << 300;
    QTest::newRow("four") << 4 << 100;
}

void TestHistoryAppend::writersAtOnceKeepEveryLine()
{
    QFETCH(int, writers);
    QFETCH(int, lines);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The history does not exist yet: the writers race to create it too.
    const QString path = dir.filePath(QStringLiteral("data/runs.jsonl"));
    QList<QProcess *> processes;
    for (int w = 0; w < writers; ++w)
        processes << startWriter(path, QStringLiteral("w%1").arg(w), lines, this);
    for (QProcess *process : qAsConst(processes)) {
        QVERIFY2(process->waitForFinished(120000), qPrintable(process->errorString()));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        delete process;
    }

    const RunHistory::Contents contents = RunHistory(path).read();
    QCOMPARE(contents.warnings, QStringList());
    QCOMPARE(contents.records.size(), writers * lines);
    QSet<QString> seen;
    QHash<QString, int> next; // each writer's lines in its own order
    for (const UnitRunRecord &r : contents.records) {
        QCOMPARE(r.toJson(),
                 record(r.nickname.section(QLatin1Char(' '), 0, 0),
                        r.nickname.section(QLatin1Char(' '), 1, 1).toInt())
                         .toJson());
        const QString writer = r.nickname.section(QLatin1Char(' '), 0, 0);
        QCOMPARE(r.nickname.section(QLatin1Char(' '), 1, 1).toInt(), next.value(writer));
        next[writer] = next.value(writer) + 1;
        seen.insert(r.nickname);
    }
    QCOMPARE(seen.size(), writers * lines);
}

void TestHistoryAppend::appendWaitsForTheLock()
{
#ifdef Q_OS_UNIX
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("runs.jsonl"));
    QCOMPARE(appendMany(path, QStringLiteral("first"), 1), 0);
    // Not inherited: the writer would hold the lock itself.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX), 0);
    QProcess *writer = startWriter(path, QStringLiteral("second"), 1, this);
    // Held by another writer: the line waits, however long.
    QVERIFY(!writer->waitForFinished(500));
    QCOMPARE(RunHistory(path).read().records.size(), 1);
    ::close(fd);
    QVERIFY(writer->waitForFinished(30000));
    QCOMPARE(writer->exitCode(), 0);
    delete writer;
    QCOMPARE(RunHistory(path).read().records.size(), 2);
#else
    QSKIP("the lock is taken by region on Windows; the writers' test covers it");
#endif
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("KVX_APPEND_TO"))
        return TestHistoryAppend::appendMany(qEnvironmentVariable("KVX_APPEND_TO"),
                                             qEnvironmentVariable("KVX_APPEND_WRITER"),
                                             qEnvironmentVariableIntValue("KVX_APPEND_COUNT"));
    QCoreApplication app(argc, argv);
    TestHistoryAppend test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historyappend.moc"
