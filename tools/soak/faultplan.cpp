#include "faultplan.h"

#include "simconfig.h"

#include <QJsonArray>

#include <algorithm>

namespace FaultPlan {

namespace {

// The client resends one data command this often in a row before it gives
// up; a unit that answers NG more often must fail, one that gives in sooner
// must succeed.
constexpr int kClientResends = 8;
constexpr int kFaultOneIn = 5;

// splitmix64: a good spread of bits from consecutive inputs, so that seeds and
// round numbers next to each other give unrelated plans.
quint64 mix(quint64 x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) { }
    quint64 next() { return mix(m_state++); }
    // 0 .. n-1 (the bias of a modulo is far below what a soak can notice).
    int below(int n) { return n > 0 ? int(next() % quint64(n)) : 0; }

private:
    quint64 m_state;
};

Random roundRandom(quint64 seed, int round)
{
    return Random(mix(seed ^ mix(quint64(round))));
}

// Which of `units` units of a round carry a fault: the first draws of the
// round's generator, so the count is known without the addresses.
QList<bool> faultyUnits(quint64 seed, int round, int units, Random *random)
{
    Random local = roundRandom(seed, round);
    Random &r = random ? *random : local;
    QList<bool> faulty;
    for (int i = 0; i < units; ++i)
        faulty << (r.below(kFaultOneIn) == 0);
    return faulty;
}

// The kind of the k-th fault of the whole soak (0-based).
Kind dealtKind(quint64 seed, qint64 k)
{
    QList<Kind> deck = faultKinds();
    const qint64 size = deck.size();
    Random random(mix(seed ^ 0xdeccdeccULL) + quint64(k / size));
    // Fisher-Yates.
    for (int i = deck.size() - 1; i > 0; --i)
        std::swap(deck[i], deck[random.below(i + 1)]);
    return deck.at(int(k % size));
}

QJsonObject faults(std::initializer_list<QPair<QString, QJsonValue>> values)
{
    QJsonObject object;
    for (const auto &v : values)
        object.insert(v.first, v.second);
    return object;
}

void inject(Unit *unit, Random *random, int round, int index, int imageSize)
{
    const int blocks = (imageSize + 511) / 512;
    QJsonObject &c = unit->config;
    switch (unit->kind) {
    case Kind::None:
        break;
    case Kind::WrongPassword:
        c.insert(QStringLiteral("faults"), faults({ { QStringLiteral("wrongPassword"), true } }));
        break;
    case Kind::NgDataRecovered:
    case Kind::NgDataEndless: {
        const int block = random->below(blocks);
        const int times = unit->kind == Kind::NgDataRecovered
                ? 1 + random->below(kClientResends)
                : kClientResends + 1 + random->below(4);
        c.insert(QStringLiteral("faults"),
                 faults({ { QStringLiteral("ngData"),
                            QJsonObject{ { QStringLiteral("index"), block },
                                         { QStringLiteral("times"), times } } } }));
        unit->detail = QStringLiteral("block %1, %2 times").arg(block).arg(times);
        break;
    }
    case Kind::NgStart:
        c.insert(QStringLiteral("faults"), faults({ { QStringLiteral("ngStart"), true } }));
        break;
    case Kind::NgEnd:
        c.insert(QStringLiteral("faults"), faults({ { QStringLiteral("ngEnd"), true } }));
        break;
    case Kind::NgQuery:
        c.insert(QStringLiteral("faults"), faults({ { QStringLiteral("ngQuery"), true } }));
        break;
    case Kind::CloseAtOffset:
    case Kind::SilentAtOffset: {
        const int offset = random->below(imageSize);
        c.insert(QStringLiteral("faults"),
                 faults({ { unit->kind == Kind::CloseAtOffset ? QStringLiteral("closeAtOffset")
                                                              : QStringLiteral("silentAtOffset"),
                            offset } }));
        unit->detail = QStringLiteral("offset %1").arg(offset);
        break;
    }
    case Kind::SilentAfterLogin:
        c.insert(QStringLiteral("faults"),
                 faults({ { QStringLiteral("silentAfterLogin"), true } }));
        break;
    case Kind::Refuse:
        c.insert(QStringLiteral("faults"), faults({ { QStringLiteral("refuse"), true } }));
        break;
    case Kind::SplitReplies: {
        // Short pauses: every one of the 1,100-odd replies is split.
        const int pieces = 2 + random->below(3);
        const int pause = random->below(3);
        c.insert(QStringLiteral("faults"),
                 faults({ { QStringLiteral("splitReplies"), pieces },
                          { QStringLiteral("splitPauseMs"), pause } }));
        unit->detail = QStringLiteral("%1 pieces, %2 ms apart").arg(pieces).arg(pause);
        break;
    }
    case Kind::CoalesceNotify:
        c.insert(QStringLiteral("faults"), faults({ { QStringLiteral("coalesceNotify"), true } }));
        break;
    case Kind::SlowFinalAck: {
        const int ms = 1000 + random->below(7001);
        c.insert(QStringLiteral("faults"), faults({ { QStringLiteral("slowFinalAckMs"), ms } }));
        unit->detail = QStringLiteral("%1 ms").arg(ms);
        break;
    }
    case Kind::Rename: {
        const int seconds = 2 + random->below(39);
        c.insert(QStringLiteral("renameAfterSeconds"), seconds);
        c.insert(QStringLiteral("newNickname"),
                 QStringLiteral("Renamed %1.%2").arg(round).arg(index + 1));
        unit->detail = QStringLiteral("after %1 s").arg(seconds);
        break;
    }
    case Kind::Vanish: {
        // From a few seconds after the simulator starts (the round's cards
        // are all there by then, and a card outlives its unit's last answer
        // by some 12 s) to well into the round: some of these units go while
        // they wait, others after their update.
        const int seconds = 3 + random->below(30);
        c.insert(QStringLiteral("silentAfterSeconds"), seconds);
        unit->detail = QStringLiteral("after %1 s").arg(seconds);
        break;
    }
    }
}

} // namespace

QList<Kind> faultKinds()
{
    return {
        Kind::WrongPassword,  Kind::NgDataRecovered, Kind::NgDataEndless, Kind::NgStart,
        Kind::NgEnd,          Kind::NgQuery,         Kind::CloseAtOffset, Kind::SilentAfterLogin,
        Kind::SilentAtOffset, Kind::Refuse,          Kind::SplitReplies,  Kind::CoalesceNotify,
        Kind::SlowFinalAck,   Kind::Rename,          Kind::Vanish
    };
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::None:
        return QStringLiteral("none");
    case Kind::WrongPassword:
        return QStringLiteral("wrongPassword");
    case Kind::NgDataRecovered:
        return QStringLiteral("ngData(recovered)");
    case Kind::NgDataEndless:
        return QStringLiteral("ngData(endless)");
    case Kind::NgStart:
        return QStringLiteral("ngStart");
    case Kind::NgEnd:
        return QStringLiteral("ngEnd");
    case Kind::NgQuery:
        return QStringLiteral("ngQuery");
    case Kind::CloseAtOffset:
        return QStringLiteral("closeAtOffset");
    case Kind::SilentAfterLogin:
        return QStringLiteral("silentAfterLogin");
    case Kind::SilentAtOffset:
        return QStringLiteral("silentAtOffset");
    case Kind::Refuse:
        return QStringLiteral("refuse");
    case Kind::SplitReplies:
        return QStringLiteral("splitReplies");
    case Kind::CoalesceNotify:
        return QStringLiteral("coalesceNotify");
    case Kind::SlowFinalAck:
        return QStringLiteral("slowFinalAck");
    case Kind::Rename:
        return QStringLiteral("rename");
    case Kind::Vanish:
        return QStringLiteral("vanish");
    }
    return QString();
}

Outcome expectedOutcome(Kind kind)
{
    switch (kind) {
    case Kind::None:
    case Kind::NgDataRecovered:
    case Kind::SplitReplies:
    case Kind::CoalesceNotify:
    case Kind::SlowFinalAck:
    case Kind::Rename:
        return Outcome::Succeeds;
    case Kind::Vanish:
        return Outcome::SucceedsOrLost;
    case Kind::WrongPassword:
    case Kind::NgDataEndless:
    case Kind::NgStart:
    case Kind::NgEnd:
    case Kind::NgQuery:
    case Kind::CloseAtOffset:
    case Kind::SilentAfterLogin:
    case Kind::SilentAtOffset:
    case Kind::Refuse:
        return Outcome::Fails;
    }
    return Outcome::Fails;
}

QList<Unit> round(quint64 seed, int round, const QStringList &addresses, int imageSize)
{
    const int n = addresses.size();
    // Faults dealt in the earlier rounds (all rounds have as many units).
    qint64 dealt = 0;
    for (int r = 1; r < round; ++r)
        dealt += faultyUnits(seed, r, n, nullptr).count(true);

    Random random = roundRandom(seed, round);
    const QList<bool> faulty = faultyUnits(seed, round, n, &random);
    QList<Unit> units;
    for (int i = 0; i < n; ++i) {
        Unit unit;
        unit.address = addresses.at(i);
        unit.config.insert(QStringLiteral("address"), unit.address);
        unit.config.insert(QStringLiteral("model"), knownModels().at(i % knownModels().size()));
        unit.config.insert(QStringLiteral("nickname"),
                           QStringLiteral("Soak %1.%2").arg(round).arg(i + 1));
        if (faulty.at(i)) {
            unit.kind = dealtKind(seed, dealt++);
            inject(&unit, &random, round, i, imageSize);
        }
        units << unit;
    }
    return units;
}

QJsonObject simulatorConfig(const QList<Unit> &units, int flood)
{
    QJsonArray array;
    for (const Unit &unit : units)
        array.append(unit.config);
    QJsonObject config{ { QStringLiteral("units"), array } };
    if (flood > 0)
        config.insert(QStringLiteral("flood"), flood);
    return config;
}

} // namespace FaultPlan
