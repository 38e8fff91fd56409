#include "core/unitrunrecord.h"

const QString UnitRunRecord::kSucceeded = QStringLiteral("succeeded");
const QString UnitRunRecord::kFailed = QStringLiteral("failed");
const QString UnitRunRecord::kLost = QStringLiteral("lost");
const QString UnitRunRecord::kNotUpdated = QStringLiteral("not updated");
const QString UnitRunRecord::kNotFound = QStringLiteral("not found");
const QString UnitRunRecord::kNotStarted = QStringLiteral("not started");
const QString UnitRunRecord::kInterrupted = QStringLiteral("interrupted");

QString UnitRunRecord::timeText(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    QDateTime local = time.toLocalTime();
    local.setOffsetFromUtc(local.offsetFromUtc());
    return local.toString(Qt::ISODateWithMs);
}

QDateTime UnitRunRecord::timeFromText(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

const QStringList &UnitRunRecord::fieldNames()
{
    static const QStringList names{ QStringLiteral("run"),           QStringLiteral("started"),
                                    QStringLiteral("ended"),         QStringLiteral("address"),
                                    QStringLiteral("model"),         QStringLiteral("nickname"),
                                    QStringLiteral("versionBefore"), QStringLiteral("versionAfter"),
                                    QStringLiteral("result"),        QStringLiteral("lastText"),
                                    QStringLiteral("imageModel"),    QStringLiteral("imageVersion"),
                                    QStringLiteral("imageBuild"),    QStringLiteral("imageSha256"),
                                    QStringLiteral("program") };
    return names;
}

QStringList UnitRunRecord::fieldTexts() const
{
    return { timeText(run), timeText(started), timeText(ended), address,      model,
             nickname,      versionBefore,     versionAfter,    result,       lastText,
             image.model,   image.version,     image.build,     image.sha256, program };
}

QJsonObject UnitRunRecord::toJson() const
{
    const QStringList names = fieldNames();
    const QStringList texts = fieldTexts();
    QJsonObject object;
    for (int i = 0; i < names.size(); ++i)
        object.insert(names.at(i), texts.at(i));
    return object;
}

bool UnitRunRecord::fromJson(const QJsonObject &object, UnitRunRecord *record)
{
    auto text = [&object](const char *key) { return object.value(QLatin1String(key)).toString(); };
    if (text("address").isEmpty() || text("result").isEmpty())
        return false;
    UnitRunRecord r;
    r.run = timeFromText(text("run"));
    r.started = timeFromText(text("started"));
    r.ended = timeFromText(text("ended"));
    r.address = text("address");
    r.model = text("model");
    r.nickname = text("nickname");
    r.versionBefore = text("versionBefore");
    r.versionAfter = text("versionAfter");
    r.result = text("result");
    r.lastText = text("lastText");
    r.image.model = text("imageModel");
    r.image.version = text("imageVersion");
    r.image.build = text("imageBuild");
    r.image.sha256 = text("imageSha256");
    r.program = text("program");
    *record = r;
    return true;
}
