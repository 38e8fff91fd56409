#include "cli/updatereporter.h"

#include "cli/progresstext.h"
#include "cli/textformat.h"
#include "cli/unitdirectory.h"
#include "core/runimage.h"

#include <QFileDevice>
#include <QIODevice>
#include <QJsonArray>

namespace {

constexpr int kAddressWidth = 15; // "255.255.255.255"
constexpr int kBarWidth = 20;
constexpr int kRateWindowMs = 3000;
constexpr int kRateMinimumMs = 500;
constexpr int kRedrawMs = 200;

QString resultText(const UpdateScheduler::Unit &unit)
{
    const QString name = UpdateScheduler::resultName(unit.result);
    const QString time = TextFormat::duration(unit.durationMs());
    switch (unit.result) {
    case UpdateScheduler::Succeeded:
        return name + QStringLiteral(" in ") + time;
    case UpdateScheduler::Failed:
        return name + QStringLiteral(" after ") + time + QStringLiteral(": ") + unit.message;
    default:
        return name + QStringLiteral(": ") + unit.message;
    }
}

} // namespace

UpdateReporter::UpdateReporter(Mode mode, QIODevice *out, QObject *parent)
    : QObject(parent), m_mode(mode), m_out(out)
{
    m_elapsed.start();
    m_redrawTimer.setInterval(kRedrawMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &UpdateReporter::redraw);
}

UpdateReporter::Mode UpdateReporter::modeFor(bool json, ConsoleOutput::Kind output)
{
    if (json)
        return Json;
    return output == ConsoleOutput::Terminal ? Terminal : Plain;
}

void UpdateReporter::attach(UpdateScheduler *scheduler, UnitDirectory *directory)
{
    m_scheduler = scheduler;
    m_directory = directory;
    connect(scheduler, &UpdateScheduler::unitWaiting, this, &UpdateReporter::slot_waiting);
    connect(scheduler, &UpdateScheduler::unitStarted, this, &UpdateReporter::slot_started);
    connect(scheduler, &UpdateScheduler::unitProgress, this, &UpdateReporter::slot_progress);
    connect(scheduler, &UpdateScheduler::unitFinished, this, &UpdateReporter::slot_finished);
    connect(scheduler, &UpdateScheduler::unitVerified, this, &UpdateReporter::slot_verified);
    if (m_mode == Terminal)
        m_redrawTimer.start();
}

void UpdateReporter::writeText(const QString &text)
{
    m_out->write(text.toUtf8());
    flush();
}

void UpdateReporter::flush()
{
    // Someone watching a log file or a pipe wants each line as it happens.
    if (auto *file = qobject_cast<QFileDevice *>(m_out))
        file->flush();
}

void UpdateReporter::writeJson(const QJsonObject &object)
{
    QJsonObject event = object;
    event.insert(QStringLiteral("time"), TextFormat::timestamp(now()));
    m_out->write(TextFormat::jsonLine(event));
    flush();
}

void UpdateReporter::writeLine(const QString &line)
{
    if (m_mode != Terminal) {
        writeText(line + QLatin1Char('\n'));
        return;
    }
    eraseLive();
    writeText(TextFormat::printable(line) + QLatin1Char('\n'));
    redraw();
}

void UpdateReporter::writeUnitLine(const QString &address, const QString &text)
{
    if (m_mode == Terminal)
        writeLine(address.leftJustified(kAddressWidth) + QLatin1Char(' ') + text);
    else
        writeLine(TextFormat::plainLine(now(), address, text));
}

void UpdateReporter::eraseLive()
{
    if (m_liveShown <= 0)
        return;
    // Back to the first live line, then clear everything below it.
    writeText(QStringLiteral("\x1b[%1A\r\x1b[J").arg(m_liveShown));
    m_liveShown = 0;
}

void UpdateReporter::redraw()
{
    if (m_mode != Terminal)
        return;
    const QStringList lines = liveLines();
    QString text;
    if (m_liveShown > 0)
        text += QStringLiteral("\x1b[%1A\r\x1b[J").arg(m_liveShown);
    for (const QString &line : lines)
        text += TextFormat::fitWidth(TextFormat::printable(line), m_width - 1) + QLatin1Char('\n');
    m_liveShown = lines.size();
    if (!text.isEmpty())
        writeText(text);
}

qint64 UpdateReporter::sentBytes(const UpdateScheduler::Unit &unit) const
{
    if (m_probe) {
        const qint64 probed = m_probe(unit.address);
        if (probed >= 0)
            return probed;
    }
    if (unit.lastText.startsWith(QLatin1String("Writ")))
        return m_imageSize;
    return unit.percent >= 0 ? unit.percent * m_imageSize / 100 : -1;
}

double UpdateReporter::rateOf(const QString &address, qint64 bytes)
{
    Live &live = m_live[address];
    const qint64 ms = m_elapsed.elapsed();
    if (!live.samples.isEmpty() && bytes < live.samples.last().bytes)
        live.samples.clear();
    live.samples.append({ ms, bytes });
    while (live.samples.size() > 2 && ms - live.samples.at(1).ms >= kRateWindowMs)
        live.samples.removeFirst();
    const Sample &first = live.samples.first();
    const qint64 span = ms - first.ms;
    if (span < kRateMinimumMs)
        return -1;
    return double(bytes - first.bytes) * 1000.0 / double(span);
}

QString UpdateReporter::unitLine(const QString &address, const QString &text, int percent,
                                 qint64 sent, qint64 total, double bytesPerSecond)
{
    QString line = address.leftJustified(kAddressWidth) + QLatin1Char(' ');
    if (percent < 0 || !ProgressText::isTransferText(text) || text == QLatin1String("Starting..."))
        return line + text;
    line += TextFormat::bar(percent, kBarWidth) + QLatin1Char(' ')
            + QStringLiteral("%1%").arg(percent).rightJustified(4) + QStringLiteral("  ")
            + TextFormat::bytes(sent) + QStringLiteral(" / ") + TextFormat::bytes(total)
            + QStringLiteral("  ") + TextFormat::rate(bytesPerSecond);
    // The bar says everything a "Sending..." text says; the others add news.
    if (!text.startsWith(QLatin1String("Send")))
        line += QStringLiteral("  ") + text;
    return line;
}

QStringList UpdateReporter::liveLines()
{
    QStringList lines;
    if (!m_scheduler || (m_scheduler->isFinished() && m_scheduler->verifyingCount() == 0))
        return lines;
    int done = 0;
    for (const UpdateScheduler::Unit &unit : m_scheduler->units()) {
        if (unit.state == UpdateScheduler::Done) {
            ++done;
            continue;
        }
        if (unit.state != UpdateScheduler::Working)
            continue;
        const qint64 bytes = sentBytes(unit);
        // While the unit writes its flash nothing is sent: no rate to show.
        const bool sending = !unit.lastText.startsWith(QLatin1String("Writ"));
        const double rate = bytes >= 0 && sending ? rateOf(unit.address, bytes) : -1;
        lines << unitLine(unit.address, unit.lastText, unit.percent, bytes, m_imageSize, rate);
    }
    QString status = QStringLiteral("%1 running, %2 waiting, %3 of %4 done")
                             .arg(m_scheduler->workingCount())
                             .arg(m_scheduler->waitingCount())
                             .arg(done)
                             .arg(m_scheduler->units().size());
    const int verifying = m_scheduler->verifyingCount();
    if (verifying > 0)
        status += QStringLiteral(", %1 restarting").arg(verifying);
    if (m_scheduler->isStopping())
        status += QStringLiteral(" (interrupted: letting running units finish)");
    lines << status;
    return lines;
}

void UpdateReporter::image(const RunImage &info)
{
    if (m_mode == Json) {
        QJsonObject event = info.toJson();
        event.insert(QStringLiteral("event"), QStringLiteral("image"));
        writeJson(event);
    } else if (m_mode == Plain) {
        writeLine(TextFormat::plainLine(now(), QStringLiteral("-"),
                                        QStringLiteral("image ") + info.summary()));
    } else {
        writeLine(QStringLiteral("Image: ") + info.summary());
    }
}

void UpdateReporter::searching(double seconds)
{
    const QString text = QStringLiteral("searching for units (%1 s)").arg(seconds);
    if (m_mode == Json)
        writeJson({ { QStringLiteral("event"), QStringLiteral("search") },
                    { QStringLiteral("seconds"), seconds } });
    else if (m_mode == Plain)
        writeLine(TextFormat::plainLine(now(), QStringLiteral("-"), text));
    else
        writeLine(QStringLiteral("Searching for units (%1 s)...").arg(seconds));
}

void UpdateReporter::found(const UnitInfo &unit)
{
    if (m_mode == Json) {
        writeJson({ { QStringLiteral("event"), QStringLiteral("found") },
                    { QStringLiteral("address"), unit.address },
                    { QStringLiteral("model"), unit.model },
                    { QStringLiteral("nickname"), unit.nickname },
                    { QStringLiteral("version"), unit.version } });
        return;
    }
    writeUnitLine(unit.address,
                  QStringLiteral("found %1 \"%2\" version %3")
                          .arg(unit.model, unit.nickname, unit.version));
}

void UpdateReporter::searchEnded(int count)
{
    const QString text = count == 1 ? QStringLiteral("1 unit found")
                                    : QStringLiteral("%1 units found").arg(count);
    if (m_mode == Json)
        writeJson({ { QStringLiteral("event"), QStringLiteral("searchEnded") },
                    { QStringLiteral("found"), count } });
    else if (m_mode == Plain)
        writeLine(TextFormat::plainLine(now(), QStringLiteral("-"), text));
    else
        writeLine(text + QLatin1Char('.'));
}

void UpdateReporter::notice(const QString &text)
{
    if (m_mode == Json)
        writeJson({ { QStringLiteral("event"), QStringLiteral("notice") },
                    { QStringLiteral("text"), text } });
    else if (m_mode == Plain)
        writeLine(TextFormat::plainLine(now(), QStringLiteral("-"), text));
    else
        writeLine(text);
}

void UpdateReporter::slot_waiting(const QString &address)
{
    if (m_mode == Json)
        writeJson({ { QStringLiteral("event"), QStringLiteral("waiting") },
                    { QStringLiteral("address"), address } });
    else if (m_mode == Plain)
        writeUnitLine(address, QStringLiteral("Waiting"));
}

void UpdateReporter::slot_started(const QString &address)
{
    m_live.remove(address);
    if (m_mode == Json)
        writeJson({ { QStringLiteral("event"), QStringLiteral("started") },
                    { QStringLiteral("address"), address } });
}

void UpdateReporter::slot_progress(const QString &address, const QString &text)
{
    if (m_mode == Plain) {
        writeUnitLine(address, text);
    } else if (m_mode == Json) {
        QJsonObject event{ { QStringLiteral("event"), QStringLiteral("progress") },
                           { QStringLiteral("address"), address },
                           { QStringLiteral("text"), text } };
        const int percent = ProgressText::percent(text);
        if (percent >= 0)
            event.insert(QStringLiteral("percent"), percent);
        const UpdateScheduler::Unit *unit = m_scheduler ? m_scheduler->unit(address) : nullptr;
        if (unit && ProgressText::isTransferText(text)) {
            const qint64 bytes = sentBytes(*unit);
            if (bytes >= 0)
                event.insert(QStringLiteral("bytes"), double(bytes));
        }
        writeJson(event);
    }
    // On a terminal the bars follow on the next redraw.
}

QJsonObject UpdateReporter::unitJson(const UpdateScheduler::Unit &unit) const
{
    const UnitInfo info = m_directory ? m_directory->lastKnown(unit.address) : UnitInfo();
    QJsonObject object{ { QStringLiteral("address"), unit.address },
                        { QStringLiteral("model"), info.model },
                        { QStringLiteral("nickname"), info.nickname },
                        { QStringLiteral("version"), info.version },
                        { QStringLiteral("result"), UpdateScheduler::resultName(unit.result) },
                        { QStringLiteral("message"), unit.message } };
    const qint64 ms = unit.durationMs();
    object.insert(QStringLiteral("seconds"), ms >= 0 ? QJsonValue(ms / 1000.0) : QJsonValue());
    return object;
}

void UpdateReporter::slot_finished(const QString &address)
{
    const UpdateScheduler::Unit *unit = m_scheduler ? m_scheduler->unit(address) : nullptr;
    if (!unit)
        return;
    m_live.remove(address);
    if (m_mode == Json) {
        QJsonObject event = unitJson(*unit);
        event.insert(QStringLiteral("event"), QStringLiteral("result"));
        writeJson(event);
        return;
    }
    writeUnitLine(address, resultText(*unit));
}

// What a unit turned out to run after its restart.
void UpdateReporter::slot_verified(const QString &address)
{
    const UpdateScheduler::Unit *unit = m_scheduler ? m_scheduler->unit(address) : nullptr;
    if (!unit)
        return;
    if (m_mode == Json) {
        QJsonObject event = unitJson(*unit);
        event.insert(QStringLiteral("event"), QStringLiteral("verified"));
        writeJson(event);
        return;
    }
    writeUnitLine(address,
                  unit->result == UpdateScheduler::Succeeded
                          ? unit->message
                          : UpdateScheduler::resultName(unit->result) + QStringLiteral(": ")
                                  + unit->message);
}

void UpdateReporter::summary(int exitStatus)
{
    m_redrawTimer.stop();
    if (m_mode == Terminal)
        eraseLive();
    const QList<UpdateScheduler::Unit> units =
            m_scheduler ? m_scheduler->units() : QList<UpdateScheduler::Unit>();
    int counts[UpdateScheduler::Interrupted + 1] = {};
    for (const UpdateScheduler::Unit &unit : units)
        ++counts[unit.result];

    if (m_mode == Json) {
        QJsonArray array;
        for (const UpdateScheduler::Unit &unit : units)
            array.append(unitJson(unit));
        writeJson({ { QStringLiteral("event"), QStringLiteral("summary") },
                    { QStringLiteral("exitStatus"), exitStatus },
                    { QStringLiteral("succeeded"), counts[UpdateScheduler::Succeeded] },
                    { QStringLiteral("failed"), counts[UpdateScheduler::Failed] },
                    { QStringLiteral("lost"), counts[UpdateScheduler::Lost] },
                    { QStringLiteral("notFound"), counts[UpdateScheduler::NotFound] },
                    { QStringLiteral("notStarted"), counts[UpdateScheduler::NotStarted] },
                    { QStringLiteral("skipped"), counts[UpdateScheduler::Skipped] },
                    { QStringLiteral("notVerified"), counts[UpdateScheduler::NotVerified] },
                    { QStringLiteral("interrupted"), counts[UpdateScheduler::Interrupted] },
                    { QStringLiteral("units"), array } });
        return;
    }

    if (units.isEmpty()) {
        writeText(QStringLiteral("\nSummary: no units found, nothing updated\n"));
        return;
    }
    QList<QStringList> rows;
    for (const UpdateScheduler::Unit &unit : units) {
        const UnitInfo info = m_directory ? m_directory->lastKnown(unit.address) : UnitInfo();
        rows << QStringList{ unit.address,
                             info.model,
                             info.nickname,
                             info.version,
                             UpdateScheduler::resultName(unit.result),
                             TextFormat::duration(unit.durationMs()),
                             unit.message };
    }
    QString text =
            QStringLiteral(
                    "\nSummary: %1 succeeded, %2 failed, %3 lost, %4 not found, %5 not started\n")
                    .arg(counts[UpdateScheduler::Succeeded])
                    .arg(counts[UpdateScheduler::Failed])
                    .arg(counts[UpdateScheduler::Lost])
                    .arg(counts[UpdateScheduler::NotFound])
                    .arg(counts[UpdateScheduler::NotStarted]);
    // Named only when they happened, so that a plain run reads as before.
    if (counts[UpdateScheduler::NotVerified] > 0)
        text.insert(text.size() - 1,
                    QStringLiteral(", %1 not verified").arg(counts[UpdateScheduler::NotVerified]));
    if (counts[UpdateScheduler::Interrupted] > 0)
        text.insert(text.size() - 1,
                    QStringLiteral(", %1 interrupted").arg(counts[UpdateScheduler::Interrupted]));
    if (counts[UpdateScheduler::Skipped] > 0)
        text.insert(text.size() - 1,
                    QStringLiteral(", %1 skipped").arg(counts[UpdateScheduler::Skipped]));
    text += TextFormat::table({ QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),
                                QStringLiteral("NICKNAME"), QStringLiteral("VERSION"),
                                QStringLiteral("RESULT"), QStringLiteral("DURATION"),
                                QStringLiteral("MESSAGE") },
                              rows);
    writeText(text);
}
