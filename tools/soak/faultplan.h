#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What the soak injects into one round of simulated units, and what each unit
// must show for it at the end of the round.
//
// A round's plan is a pure function of the seed and the round number, so any
// round of a long soak can be replayed on its own. About one unit in five gets
// a fault; the kinds are dealt from a deck that holds every kind once and is
// reshuffled (from the seed) when it runs out, so that every kind turns up
// once in every faultKinds().size() faults, across rounds.
namespace FaultPlan {

enum class Kind {
    None,
    WrongPassword, // the unit rejects every password
    NgDataRecovered, // one data command answered NG a few times, then taken
    NgDataEndless, // one data command answered NG more often than the client resends
    NgStart, // NG to the start command
    NgEnd, // NG to the end command
    NgQuery, // NG to the name query
    CloseAtOffset, // the unit closes the connection in the middle of the image
    SilentAfterLogin, // the unit reads and ignores everything after the login
    SilentAtOffset, // the same from a block in the middle of the image on
    Refuse, // nothing listens: the connection is refused
    SplitReplies, // every reply in several TCP segments with pauses
    CoalesceNotify, // a NOTIFY line in the same segment behind every OK SET
    SlowFinalAck, // the unit takes seconds to write its flash
    Rename, // the unit's nickname changes during the round
    Vanish, // the unit stops answering searches during the round
};

enum class Outcome {
    Succeeds, // "Firmware update completed." and nothing else
    Fails, // exactly one error text
    SucceedsOrLost, // completed, or its card went away before it was started
};

struct Unit
{
    QString address;
    Kind kind = Kind::None;
    QJsonObject config; // the unit's entry in the simulator's configuration
    QString detail; // the fault's parameters, for the log
};

// Every kind but None, in declaration order.
QList<Kind> faultKinds();
QString kindName(Kind kind);
Outcome expectedOutcome(Kind kind);

// The units of round `round` (1-based) at `addresses` for an image of
// `imageSize` bytes.
QList<Unit> round(quint64 seed, int round, const QStringList &addresses, int imageSize);

// The simulator's configuration for those units; flood > 0 adds an SSDP flood
// of that many foreign datagrams a second.
QJsonObject simulatorConfig(const QList<Unit> &units, int flood);

} // namespace FaultPlan
