#include "common/csvreader.h"
#include "common/standincore.h"
#include "core/runrecorder.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

#ifdef KVX_TEST_TALL_FONT
#include "tallfont.h"
#endif

// What the QML cases need to look at files: the run history the recorder
// writes and the reports the window saves, all in a temporary folder.
class TestFiles : public QObject
{
    Q_OBJECT

public:
    TestFiles(RunRecorder *recorder, const QString &root) : m_recorder(recorder), m_root(root) { }

    // A fresh start for each case: no history, an empty Documents folder.
    Q_INVOKABLE void reset()
    {
        QDir(m_root).removeRecursively();
        QDir().mkpath(documents());
        m_recorder->discardAwaiting();
        m_recorder->beginRun();
    }
    Q_INVOKABLE QString documents() const { return m_root + QStringLiteral("/Documents"); }
    Q_INVOKABLE QString path(const QString &relative) const
    {
        return QDir::toNativeSeparators(m_root + QLatin1Char('/') + relative);
    }
    Q_INVOKABLE void makeFile(const QString &relative, const QString &text)
    {
        QFile file(m_root + QLatin1Char('/') + relative);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8());
    }
    Q_INVOKABLE QString readText(const QString &relative) const
    {
        QFile file(m_root + QLatin1Char('/') + relative);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The history as the file holds it now, one object per line.
    Q_INVOKABLE QVariantList history() const
    {
        QVariantList records;
        for (const UnitRunRecord &record : m_recorder->history().read().records)
            records << record.toJson().toVariantMap();
        return records;
    }
    // A report read back through an independent CSV reader; an empty list
    // when it is not well-formed CSV.
    Q_INVOKABLE QVariantList csvRows(const QString &relative) const
    {
        QFile file(m_root + QLatin1Char('/') + relative);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const CsvReader csv = CsvReader::read(file.readAll());
        QVariantList rows;
        if (!csv.error.isEmpty())
            return rows;
        for (const QStringList &row : csv.rows)
            rows << QVariant(row);
        return rows;
    }

private:
    RunRecorder *m_recorder;
    QString m_root;
};

// Runs the tst_*.qml cases of this directory against the shipped QML (from the
// resources), with the stand-in core published as "udpmachine" the way the
// entry publishes the real table, and a run recorder whose files go to a
// temporary folder.
class QmlUiSetup : public QObject
{
    Q_OBJECT

public:
    QmlUiSetup() : m_recorder(QStringLiteral("kvx-updater 1.0")), m_files(&m_recorder, m_dir.path())
    {
        m_recorder.setHistory(RunHistory(m_dir.filePath(QStringLiteral("data/runs.jsonl"))));
        m_recorder.setReportFolder(m_files.documents());
        m_recorder.setImage(QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12) + QByteArray(100, 'x'));
    }

public slots:
    void applicationAvailable()
    {
        // The check-box images live in the core library's asset collection.
        Q_INIT_RESOURCE(assets);
#ifdef KVX_TEST_TALL_FONT
        // Every text in a family of its own whose lines are far taller than
        // those of the fonts the layout was made with.
        const QString family = installTallFont();
        if (!family.isEmpty())
            QGuiApplication::setFont(QFont(family));
#endif
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        QQmlContext *context = engine->rootContext();
        m_core.publishTo(context);
        context->setContextProperty(QStringLiteral("runrecorder"), &m_recorder);
        context->setContextProperty(QStringLiteral("testfiles"), &m_files);
    }

private:
    QTemporaryDir m_dir;
    StandInCore m_core;
    RunRecorder m_recorder;
    TestFiles m_files;
};

QUICK_TEST_MAIN_WITH_SETUP(kvx_qml_ui, QmlUiSetup)

#include "tst_qmlui.moc"
