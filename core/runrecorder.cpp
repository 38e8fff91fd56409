#include "core/runrecorder.h"

#include "core/logging.h"
#include "core/runreport.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

RunRecorder::RunRecorder(const QString &program, QObject *parent)
    : QObject(parent), m_program(program)
{
}

RunRecorder::~RunRecorder()
{
    for (const UnitRunRecord &record : qAsConst(m_awaiting))
        appendToHistory(record);
}

void RunRecorder::setImage(const QByteArray &image)
{
    m_imageBytes = image;
    m_imageKnown = false;
}

const RunImage &RunRecorder::image()
{
    if (!m_imageKnown) {
        m_image = RunImage::fromImage(m_imageBytes);
        m_imageKnown = true;
    }
    return m_image;
}

void RunRecorder::beginRun()
{
    m_run = now();
    m_started.clear();
    m_records.clear();
    emit recordsChanged();
}

void RunRecorder::unitStarted(const QString &address)
{
    if (!m_run.isValid())
        m_run = now();
    m_started.insert(address, now());
}

bool RunRecorder::hasEnded(const QString &address) const
{
    for (const UnitRunRecord &record : m_records) {
        if (record.address == address)
            return true;
    }
    return false;
}

bool RunRecorder::unitEnded(const QVariantMap &unit)
{
    const QString address = unit.value(QStringLiteral("address")).toString();
    const QString result = unit.value(QStringLiteral("result")).toString();
    if (address.isEmpty() || result.isEmpty() || hasEnded(address))
        return false;
    if (!m_run.isValid())
        m_run = now();

    UnitRunRecord record;
    record.run = m_run;
    record.started = m_started.value(address);
    record.ended = now();
    record.address = address;
    record.model = unit.value(QStringLiteral("model")).toString();
    record.nickname = unit.value(QStringLiteral("nickname")).toString();
    record.versionBefore = unit.value(QStringLiteral("versionBefore")).toString();
    record.versionAfter = unit.value(QStringLiteral("versionAfter")).toString();
    record.result = result;
    record.lastText = unit.value(QStringLiteral("lastText")).toString();
    record.image = image();
    record.program = m_program;
    m_records << record;
    if (unit.value(QStringLiteral("awaitProof")).toBool()) {
        // A line from an earlier run that never heard back goes as it is.
        if (m_awaiting.contains(address))
            appendToHistory(m_awaiting.take(address));
        m_awaiting.insert(address, record);
        emit recordsChanged();
        return true;
    }
    appendToHistory(record);
    emit recordsChanged();
    return true;
}

bool RunRecorder::unitBack(const QString &address, const QString &versionAfter, bool updated)
{
    if (!m_awaiting.contains(address))
        return false;
    UnitRunRecord record = m_awaiting.take(address);
    record.ended = now();
    record.versionAfter = versionAfter;
    if (!updated)
        record.result = UnitRunRecord::kNotUpdated;
    // The report of the run says the same, if the run is still the latest.
    for (UnitRunRecord &reported : m_records) {
        if (reported.address == address && reported.run == record.run) {
            reported.ended = record.ended;
            reported.versionAfter = record.versionAfter;
            reported.result = record.result;
        }
    }
    appendToHistory(record);
    emit recordsChanged();
    return true;
}

int RunRecorder::restartingCount() const
{
    int count = 0;
    for (const UnitRunRecord &record : m_records) {
        if (m_awaiting.contains(record.address)
            && m_awaiting.value(record.address).run == record.run)
            ++count;
    }
    return count;
}

void RunRecorder::appendToHistory(const UnitRunRecord &record)
{
    // A history that cannot be written must not stop the run: the report
    // still holds the unit, and the reason is kept for whoever asks.
    QString error;
    const QString before = m_historyError;
    if (!m_history.append(record, &error)) {
        qCWarning(lcHistory).noquote() << error;
        m_historyError = error;
    } else {
        m_historyError.clear();
    }
    if (m_historyError != before)
        emit historyErrorChanged();
}

QString RunRecorder::reportFolder() const
{
    return m_reportFolder.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
            : m_reportFolder;
}

QString RunRecorder::defaultReportPath() const
{
    const QString folder = reportFolder();
    const QString name = QStringLiteral("kvx-report-%1.csv")
                                 .arg(now().toString(QStringLiteral("yyyy-MM-dd-HHmmss")));
    return QDir::toNativeSeparators(QDir(folder).filePath(name));
}

QString RunRecorder::reportPath(const QString &pathOrUrl) const
{
    const QString text = pathOrUrl.trimmed();
    if (text.isEmpty())
        return QString();
    const QUrl url(text);
    QString path = url.isLocalFile() ? url.toLocalFile() : QDir::fromNativeSeparators(text);
    if (QFileInfo(path).isRelative())
        path = QDir(reportFolder()).filePath(path);
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

bool RunRecorder::fileExists(const QString &pathOrUrl) const
{
    const QString path = reportPath(pathOrUrl);
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString RunRecorder::saveReport(const QString &pathOrUrl)
{
    const QString path = reportPath(pathOrUrl);
    if (path.isEmpty())
        return QStringLiteral("Give the report a file name.");
    // A new account may have no Documents folder yet; it is where reports
    // are offered to go, so it is made. Other folders must exist.
    const QString folder = QDir::cleanPath(reportFolder());
    if (!QFileInfo(path).isDir() && QDir::cleanPath(QFileInfo(path).absolutePath()) == folder)
        QDir().mkpath(folder);
    // The same rule and words as kvx-update's --report.
    QString error;
    if (!RunReport::canWrite(path, &error))
        return QStringLiteral("Could not save the report to %1: %2.").arg(path, error);
    if (!RunReport::write(path, m_records, &error))
        return error;
    return QString();
}
