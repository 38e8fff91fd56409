#include "cli/historycommand.h"

#include "cli/textformat.h"
#include "core/runhistory.h"
#include "core/runreport.h"

#include <QDir>
#include <QIODevice>
#include <QStringList>

namespace HistoryCommand {

QList<QList<UnitRunRecord>> runs(const QList<UnitRunRecord> &records, int lastRuns)
{
    // Lines of one run are usually together, but two programs may have
    // written runs at the same time: group by the run's time, not by place.
    QList<QList<UnitRunRecord>> grouped;
    QStringList keys;
    for (const UnitRunRecord &record : records) {
        const QString key =
                UnitRunRecord::timeText(record.run) + QLatin1Char('\n') + record.program;
        int at = keys.indexOf(key);
        if (at < 0) {
            keys << key;
            grouped << QList<UnitRunRecord>();
            at = grouped.size() - 1;
        }
        grouped[at] << record;
    }
    if (lastRuns > 0 && grouped.size() > lastRuns)
        grouped = grouped.mid(grouped.size() - lastRuns);
    return grouped;
}

QString runText(const QList<UnitRunRecord> &run)
{
    if (run.isEmpty())
        return QString();
    const UnitRunRecord &first = run.first();
    // Results in their usual order, then any a later program may write.
    QStringList order{ UnitRunRecord::kSucceeded,  UnitRunRecord::kFailed,
                       UnitRunRecord::kLost,       UnitRunRecord::kNotUpdated,
                       UnitRunRecord::kNotFound,   UnitRunRecord::kNotStarted,
                       UnitRunRecord::kInterrupted };
    for (const UnitRunRecord &record : run) {
        if (!order.contains(record.result))
            order << record.result;
    }
    QStringList counts;
    for (const QString &result : order) {
        int n = 0;
        for (const UnitRunRecord &record : run)
            n += record.result == result ? 1 : 0;
        if (n > 0)
            counts << QStringLiteral("%1 %2").arg(n).arg(result);
    }
    const QString when = first.run.isValid()
            ? first.run.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            : QStringLiteral("(time unknown)");
    const QString heading =
            QStringLiteral("Run of %1 by %2, image %3 %4 (build%5): %6")
                    .arg(when, first.program.isEmpty() ? QStringLiteral("?") : first.program,
                         first.image.model, first.image.version, first.image.build,
                         counts.join(QStringLiteral(", ")));
    QList<QStringList> rows;
    for (const UnitRunRecord &record : run) {
        rows << QStringList{ record.address,
                             record.model,
                             record.nickname,
                             record.versionBefore,
                             record.versionAfter,
                             record.result,
                             record.ended.isValid() ? record.ended.toLocalTime().toString(
                                     QStringLiteral("HH:mm:ss"))
                                                    : QString(),
                             record.lastText };
    }
    return TextFormat::printable(heading) + QLatin1Char('\n')
            + TextFormat::table({ QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),
                                  QStringLiteral("NICKNAME"), QStringLiteral("BEFORE"),
                                  QStringLiteral("AFTER"), QStringLiteral("RESULT"),
                                  QStringLiteral("ENDED"), QStringLiteral("LAST TEXT") },
                                rows);
}

QString text(const QList<QList<UnitRunRecord>> &runs)
{
    if (runs.isEmpty())
        return QStringLiteral("No runs recorded yet.\n");
    QStringList parts;
    for (const QList<UnitRunRecord> &run : runs)
        parts << runText(run);
    return parts.join(QLatin1Char('\n'));
}

int run(const QString &path, int lastRuns, bool json, QIODevice *out, QIODevice *err)
{
    const RunHistory::Contents contents = RunHistory(path).read();
    if (!contents.error.isEmpty()) {
        err->write(QStringLiteral("kvx-update: %1\n").arg(contents.error).toUtf8());
        return 2;
    }
    for (const QString &warning : contents.warnings)
        err->write(QStringLiteral("kvx-update: warning: %1\n").arg(warning).toUtf8());
    const QList<QList<UnitRunRecord>> selected = runs(contents.records, lastRuns);
    if (contents.missing && !json) {
        out->write(QStringLiteral("No runs recorded yet (%1).\n")
                           .arg(QDir::toNativeSeparators(path))
                           .toUtf8());
        return 0;
    }
    if (json) {
        QList<UnitRunRecord> records;
        for (const QList<UnitRunRecord> &r : selected)
            records += r;
        out->write(RunReport::toJson(records));
        return 0;
    }
    out->write(text(selected).toUtf8());
    return 0;
}

} // namespace HistoryCommand
