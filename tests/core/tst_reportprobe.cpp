#include "core/runreport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// Whether a report can be written is found out by writing: a file is really
// made where the report will go, before any unit is contacted, and nothing of
// the check is left behind.
class TestReportProbe : public QObject
{
    Q_OBJECT

private slots:
    void probe_data();
    void probe();
    void folderThatTakesNoFile();
};

void TestReportProbe::probe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("before"); // contents of an existing file; null: none
    QTest::newRow("new file") << "r.csv" << QByteArray();
    QTest::newRow("new JSON file") << "r.json" << QByteArray();
    QTest::newRow("existing report") << "r.csv" << QByteArray("old,report\r\n");
    QTest::newRow("existing empty file") << "r.csv" << QByteArray("");
}

void TestReportProbe::probe()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, before);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    if (!before.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    const QDateTime modified = QFileInfo(path).lastModified();
    QString why;
    QVERIFY2(RunReport::canWrite(path, &why), qPrintable(why));
    QCOMPARE(why, QString());
    // Exactly what was there before: no new file, no probe, no change.
    const QStringList entries =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(entries, before.isNull() ? QStringList() : QStringList{ name });
    if (!before.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QFileInfo(path).lastModified(), modified);
    }
}

void TestReportProbe::folderThatTakesNoFile()
{
#ifdef Q_OS_LINUX
    // /proc passes a look at its permissions as root, yet takes no file.
    QString why;
    QVERIFY(!RunReport::canWrite(QStringLiteral("/proc/kvx-report.csv"), &why));
    QVERIFY2(why.startsWith(QStringLiteral("the folder /proc cannot be written in: ")),
             qPrintable(why));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/kvx-report.csv")));
#else
    QSKIP("needs a folder that takes no file whatever its permissions (/proc)");
#endif
}

QTEST_GUILESS_MAIN(TestReportProbe)
#include "tst_reportprobe.moc"
