#pragma once

#include "faultplan.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The judgement of one soak round from what the window and the simulator
// show at its end. Pure: the soak gathers the facts, this decides.
namespace RoundCheck {

struct Facts
{
    QList<FaultPlan::Unit> units;
    // The overlay's lines once it says "Finished.".
    QString successLine;
    QString failureLine;
    // Every progress text the core sent in the round, by unit address.
    QHash<QString, QStringList> texts;
    // The progress text on each unit's card at the end; no entry for a
    // unit whose card has gone.
    QHash<QString, QString> cardTexts;
    // Records whose update control is not Idle at the end.
    QStringList busyRecords;
    // The simulator's results at the end of the round.
    QJsonObject results;
    QByteArray image;
};

enum class Outcome { Succeeded, Failed, Lost, Both };

struct Verdict
{
    // The overlay's counts (-1 where its line could not be read).
    int succeeded = -1;
    int failed = -1;
    int lost = -1;
    // Units counted as succeeded that do not hold exactly the image.
    int lostImages = 0;
    // Units without a fault that did not succeed.
    int healthyFailures = 0;
    QHash<QString, Outcome> outcomes;
    QStringList problems;
};

// What one unit's texts say about it.
Outcome outcomeOf(const QStringList &texts);
QString outcomeName(Outcome outcome);

// "" when the simulated unit holds exactly `image` and acknowledged the end
// command; otherwise what is wrong with it.
QString imageProblem(const QJsonObject &unit, const QByteArray &image);

Verdict check(const Facts &facts);

} // namespace RoundCheck
