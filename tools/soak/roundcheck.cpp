#include "roundcheck.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRegularExpression>

namespace RoundCheck {

namespace {

const QLatin1String kCompleted("Firmware update completed.");

QJsonObject findUnit(const QJsonObject &results, const QString &address)
{
    const QJsonArray units = results.value(QLatin1String("units")).toArray();
    for (const QJsonValue &u : units) {
        if (u.toObject().value(QLatin1String("address")).toString() == address)
            return u.toObject();
    }
    return QJsonObject();
}

int errorTexts(const QStringList &texts)
{
    int n = 0;
    for (const QString &t : texts)
        n += t.startsWith(QLatin1String("ERROR")) ? 1 : 0;
    return n;
}

} // namespace

Outcome outcomeOf(const QStringList &texts)
{
    const bool completed = texts.contains(kCompleted);
    const bool failed = errorTexts(texts) > 0;
    if (completed && failed)
        return Outcome::Both;
    if (completed)
        return Outcome::Succeeded;
    return failed ? Outcome::Failed : Outcome::Lost;
}

QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Succeeded:
        return QStringLiteral("succeeded");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Lost:
        return QStringLiteral("lost");
    case Outcome::Both:
        return QStringLiteral("succeeded and failed");
    }
    return QString();
}

QString imageProblem(const QJsonObject &unit, const QByteArray &image)
{
    if (unit.isEmpty())
        return QStringLiteral("no results for the unit");
    const int announced = unit.value(QLatin1String("announcedSize")).toInt();
    if (announced != image.size())
        return QStringLiteral("announced %1 bytes").arg(announced);
    const int received = unit.value(QLatin1String("bytesReceived")).toInt();
    if (received != image.size())
        return QStringLiteral("received %1 bytes").arg(received);
    const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    if (unit.value(QLatin1String("sha256")).toString() != sha)
        return QStringLiteral("SHA-256 %1 differs from the image's")
                .arg(unit.value(QLatin1String("sha256")).toString());
    if (!unit.value(QLatin1String("endAcknowledged")).toBool())
        return QStringLiteral("the end command was not acknowledged");
    return QString();
}

Verdict check(const Facts &facts)
{
    Verdict v;
    const int units = facts.units.size();

    // The overlay: "N suceeded", "M failed" or "M failed and Klost".
    static const QRegularExpression okLine(QStringLiteral("^(\\d+) suceeded$"));
    static const QRegularExpression ngLine(QStringLiteral("^(\\d+) failed(?: and (\\d+)lost)?$"));
    const QRegularExpressionMatch ok = okLine.match(facts.successLine);
    const QRegularExpressionMatch ng = ngLine.match(facts.failureLine);
    if (!ok.hasMatch() || !ng.hasMatch()) {
        v.problems << QStringLiteral("overlay lines unreadable: \"%1\" / \"%2\"")
                              .arg(facts.successLine, facts.failureLine);
    } else {
        v.succeeded = ok.captured(1).toInt();
        v.failed = ng.captured(1).toInt();
        v.lost = ng.captured(2).isEmpty() ? 0 : ng.captured(2).toInt();
        if (v.succeeded + v.failed + v.lost != units)
            v.problems << QStringLiteral("overlay counts %1 + %2 + %3 do not add up to %4 units")
                                  .arg(v.succeeded)
                                  .arg(v.failed)
                                  .arg(v.lost)
                                  .arg(units);
    }

    int completedUnits = 0;
    int errorCount = 0;
    for (const FaultPlan::Unit &unit : facts.units) {
        const QStringList texts = facts.texts.value(unit.address);
        const Outcome outcome = outcomeOf(texts);
        v.outcomes.insert(unit.address, outcome);
        const QString who = unit.address + QLatin1String(" (") + FaultPlan::kindName(unit.kind)
                + QLatin1String(")");
        const int errors = errorTexts(texts);
        errorCount += errors;
        if (texts.count(kCompleted) > 1)
            v.problems << who + QStringLiteral(": completed %1 times").arg(texts.count(kCompleted));
        if (errors > 1)
            v.problems << who
                            + QStringLiteral(": %1 error texts: %2")
                                      .arg(errors)
                                      .arg(texts.filter(QStringLiteral("ERROR"))
                                                   .join(QLatin1String(" | ")));

        if (outcome == Outcome::Succeeded || outcome == Outcome::Both) {
            ++completedUnits;
            const QString problem =
                    imageProblem(findUnit(facts.results, unit.address), facts.image);
            if (!problem.isEmpty()) {
                ++v.lostImages;
                v.problems << who + QStringLiteral(": counted as succeeded but ") + problem;
            }
        }

        // A card that is still there shows how its unit's run ended.
        if (facts.cardTexts.contains(unit.address)) {
            const QString card = facts.cardTexts.value(unit.address);
            if (outcome == Outcome::Lost)
                v.problems << who
                                + QStringLiteral(": the run never ended (the card shows \"%1\")")
                                          .arg(card);
            else if (card != texts.last())
                v.problems << who
                                + QStringLiteral(
                                          ": the card shows \"%1\", the last text was \"%2\"")
                                          .arg(card, texts.last());
        }

        bool expected = false;
        switch (FaultPlan::expectedOutcome(unit.kind)) {
        case FaultPlan::Outcome::Succeeds:
            expected = outcome == Outcome::Succeeded;
            break;
        case FaultPlan::Outcome::Fails:
            expected = outcome == Outcome::Failed;
            break;
        case FaultPlan::Outcome::SucceedsOrLost:
            expected = outcome == Outcome::Succeeded || outcome == Outcome::Lost;
            break;
        }
        if (!expected) {
            if (unit.kind == FaultPlan::Kind::None)
                ++v.healthyFailures;
            v.problems << who
                            + QStringLiteral(": %1 (last text \"%2\")")
                                      .arg(outcomeName(outcome), texts.value(texts.size() - 1));
        }

        const QJsonObject sim = findUnit(facts.results, unit.address);
        const QJsonArray violations = sim.value(QLatin1String("violations")).toArray();
        for (const QJsonValue &violation : violations)
            v.problems << who + QStringLiteral(": the unit saw ") + violation.toString();
        const int connections = sim.value(QLatin1String("connections")).toInt();
        if (connections > 1)
            v.problems << who + QStringLiteral(": %1 connections").arg(connections);
    }

    if (v.succeeded >= 0 && v.succeeded != completedUnits)
        v.problems << QStringLiteral("overlay counts %1 succeeded, the units' texts %2")
                              .arg(v.succeeded)
                              .arg(completedUnits);
    if (v.failed >= 0 && v.failed != errorCount)
        v.problems << QStringLiteral("overlay counts %1 failed, the units' texts %2 errors")
                              .arg(v.failed)
                              .arg(errorCount);

    for (const QString &address : facts.busyRecords)
        v.problems << address + QStringLiteral(": record stuck outside Idle");

    const QJsonArray searchViolations =
            facts.results.value(QLatin1String("msearchViolations")).toArray();
    for (const QJsonValue &violation : searchViolations)
        v.problems << QStringLiteral("search: ") + violation.toString();
    const int peak = facts.results.value(QLatin1String("peakConnections")).toInt();
    if (peak > 5)
        v.problems << QStringLiteral("%1 connections open at once").arg(peak);
    const int open = facts.results.value(QLatin1String("openConnections")).toInt();
    if (open != 0)
        v.problems << QStringLiteral("%1 connections still open").arg(open);
    return v;
}

} // namespace RoundCheck
