// The fault soak's plan and its end-of-round judgement (tools/soak), without
// the lab: a plan must be replayable, inject what it says in a form the
// simulator takes, and expect what the updater must show; the judgement must
// catch each kind of wrong round.
#include "faultplan.h"
#include "roundcheck.h"
#include "simconfig.h"

#include "protocol/mixerprotocol.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <functional>

using FaultPlan::Kind;
using Mutation = std::function<void(RoundCheck::Facts &)>;
Q_DECLARE_METATYPE(Mutation)
Q_DECLARE_METATYPE(FaultPlan::Kind)
using UnitCheck = std::function<bool(const UnitConfig &)>;
Q_DECLARE_METATYPE(UnitCheck)

namespace {

constexpr int kImageSize = 579616;

QStringList addresses(int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << QStringLiteral("10.77.0.%1").arg(10 + i);
    return out;
}

// The first unit of the given kind in a soak with this seed.
FaultPlan::Unit firstOfKind(quint64 seed, Kind kind)
{
    for (int round = 1; round < 100; ++round) {
        for (const FaultPlan::Unit &unit :
             FaultPlan::round(seed, round, addresses(48), kImageSize)) {
            if (unit.kind == kind)
                return unit;
        }
    }
    return FaultPlan::Unit();
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QJsonObject simUnit(const QString &address, const QByteArray &image, bool whole)
{
    const QByteArray got = whole ? image : image.left(image.size() / 2);
    return { { "address", address },          { "announcedSize", image.size() },
             { "bytesReceived", got.size() }, { "sha256", sha256(got) },
             { "endAcknowledged", whole },    { "connections", 1 },
             { "violations", QJsonArray() } };
}

void setSimUnit(RoundCheck::Facts &f, int index, const QString &key, const QJsonValue &value)
{
    QJsonArray units = f.results.value("units").toArray();
    QJsonObject unit = units.at(index).toObject();
    unit.insert(key, value);
    units.replace(index, unit);
    f.results.insert("units", units);
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void replayable();
    void everyKindOncePerDeck();
    void aboutOneUnitInFive();
    void simulatorTakesEveryFault_data();
    void simulatorTakesEveryFault();
    void ngDataAroundTheClientsLimit();
    void floodOnlyWhereAsked();
    void judgement_data();
    void judgement();

private:
    RoundCheck::Facts cleanRound() const;
};

void TestSoak::replayable()
{
    const QStringList a = addresses(48);
    const auto config = [&](quint64 seed, int round) {
        return FaultPlan::simulatorConfig(FaultPlan::round(seed, round, a, kImageSize), 0);
    };
    // Round 7 alone gives what round 7 of a long soak gives.
    for (int round = 1; round <= 7; ++round)
        config(42, round);
    QCOMPARE(config(42, 7), config(42, 7));
    QVERIFY(config(42, 7) != config(42, 8));
    QVERIFY(config(42, 7) != config(43, 7));
}

void TestSoak::everyKindOncePerDeck()
{
    const QList<Kind> kinds = FaultPlan::faultKinds();
    QList<Kind> dealt;
    for (int round = 1; dealt.size() < 3 * kinds.size(); ++round) {
        for (const FaultPlan::Unit &unit : FaultPlan::round(7, round, addresses(48), kImageSize)) {
            if (unit.kind != Kind::None)
                dealt << unit.kind;
        }
    }
    for (int deck = 0; deck < 3; ++deck) {
        QList<Kind> one = dealt.mid(deck * kinds.size(), kinds.size());
        for (Kind kind : kinds)
            QVERIFY2(one.removeOne(kind), qPrintable(FaultPlan::kindName(kind)));
        QVERIFY(one.isEmpty());
    }
    QVERIFY(!kinds.contains(Kind::None));
}

void TestSoak::aboutOneUnitInFive()
{
    int faulty = 0;
    const int rounds = 200;
    for (int round = 1; round <= rounds; ++round) {
        for (const FaultPlan::Unit &unit : FaultPlan::round(3, round, addresses(48), kImageSize))
            faulty += unit.kind != Kind::None ? 1 : 0;
    }
    const double share = double(faulty) / (rounds * 48);
    QVERIFY2(share > 0.17 && share < 0.23, qPrintable(QString::number(share)));
}

void TestSoak::simulatorTakesEveryFault_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<UnitCheck>("injected");
    const auto faults = [](std::function<bool(const UnitFaults &)> f) {
        return UnitCheck([f](const UnitConfig &u) { return f(u.faults); });
    };
    QTest::newRow("none") << Kind::None << UnitCheck([](const UnitConfig &u) {
        return u.faults.ngDataIndex < 0 && !u.faults.refuse && u.silentAfterSeconds < 0
                && u.renameAfterSeconds < 0;
    });
    QTest::newRow("wrongPassword")
            << Kind::WrongPassword << faults([](const UnitFaults &f) { return f.wrongPassword; });
    QTest::newRow("ngData recovered") << Kind::NgDataRecovered << faults([](const UnitFaults &f) {
        return f.ngDataIndex >= 0 && f.ngDataIndex < (kImageSize + 511) / 512 && f.ngDataTimes >= 1;
    });
    QTest::newRow("ngData endless") << Kind::NgDataEndless << faults([](const UnitFaults &f) {
        return f.ngDataIndex >= 0 && f.ngDataIndex < (kImageSize + 511) / 512 && f.ngDataTimes >= 1;
    });
    QTest::newRow("ngStart") << Kind::NgStart
                             << faults([](const UnitFaults &f) { return f.ngStart; });
    QTest::newRow("ngEnd") << Kind::NgEnd << faults([](const UnitFaults &f) { return f.ngEnd; });
    QTest::newRow("ngQuery") << Kind::NgQuery
                             << faults([](const UnitFaults &f) { return f.ngQuery; });
    QTest::newRow("closeAtOffset") << Kind::CloseAtOffset << faults([](const UnitFaults &f) {
        return f.closeAtOffset >= 0 && f.closeAtOffset < kImageSize;
    });
    QTest::newRow("silentAfterLogin")
            << Kind::SilentAfterLogin
            << faults([](const UnitFaults &f) { return f.silentAfterLogin; });
    QTest::newRow("silentAtOffset") << Kind::SilentAtOffset << faults([](const UnitFaults &f) {
        return f.silentAtOffset >= 0 && f.silentAtOffset < kImageSize;
    });
    QTest::newRow("refuse") << Kind::Refuse << faults([](const UnitFaults &f) { return f.refuse; });
    QTest::newRow("splitReplies") << Kind::SplitReplies << faults([](const UnitFaults &f) {
        return f.splitReplies >= 2 && f.splitPauseMs >= 0 && f.splitPauseMs <= 2;
    });
    QTest::newRow("coalesceNotify")
            << Kind::CoalesceNotify << faults([](const UnitFaults &f) { return f.coalesceNotify; });
    QTest::newRow("slowFinalAck") << Kind::SlowFinalAck << faults([](const UnitFaults &f) {
        return f.slowFinalAckMs >= 1000;
    });
    QTest::newRow("rename") << Kind::Rename << UnitCheck([](const UnitConfig &u) {
        return u.renameAfterSeconds >= 2 && !u.newNickname.isEmpty() && u.newNickname != u.nickname;
    });
    // Never before the cards are all there (the simulator's first seconds).
    QTest::newRow("vanish") << Kind::Vanish << UnitCheck([](const UnitConfig &u) {
        return u.silentAfterSeconds >= 3;
    });
}

void TestSoak::simulatorTakesEveryFault()
{
    QFETCH(Kind, kind);
    QFETCH(UnitCheck, injected);
    const FaultPlan::Unit unit = firstOfKind(11, kind);
    QCOMPARE(unit.kind, kind);
    // The simulator refuses unknown keys, so a misspelt fault cannot pass
    // for a healthy unit.
    const QByteArray json = QJsonDocument(FaultPlan::simulatorConfig({ unit }, 0)).toJson();
    SimConfig config;
    QString error;
    QVERIFY2(parseSimConfig(json, &config, &error), qPrintable(error));
    QCOMPARE(config.units.size(), 1);
    QCOMPARE(config.units.at(0).address.toString(), unit.address);
    QVERIFY(knownModels().contains(config.units.at(0).model));
    QVERIFY2(injected(config.units.at(0)), json.constData());
}

void TestSoak::ngDataAroundTheClientsLimit()
{
    // The plan's idea of a recoverable NG must match the client's resends.
    int recovered = 0, endless = 0;
    for (int round = 1; round <= 60; ++round) {
        for (const FaultPlan::Unit &unit : FaultPlan::round(5, round, addresses(48), kImageSize)) {
            const int times = unit.config.value("faults")
                                      .toObject()
                                      .value("ngData")
                                      .toObject()
                                      .value("times")
                                      .toInt();
            if (unit.kind == Kind::NgDataRecovered) {
                ++recovered;
                QVERIFY2(times >= 1 && times <= MixerProtocol::kMaxResends,
                         qPrintable(unit.detail));
            } else if (unit.kind == Kind::NgDataEndless) {
                ++endless;
                QVERIFY2(times > MixerProtocol::kMaxResends, qPrintable(unit.detail));
            }
        }
    }
    QVERIFY(recovered > 5 && endless > 5);
    QCOMPARE(FaultPlan::expectedOutcome(Kind::NgDataRecovered), FaultPlan::Outcome::Succeeds);
    QCOMPARE(FaultPlan::expectedOutcome(Kind::NgDataEndless), FaultPlan::Outcome::Fails);
}

void TestSoak::floodOnlyWhereAsked()
{
    const QList<FaultPlan::Unit> units = FaultPlan::round(1, 1, addresses(48), kImageSize);
    QVERIFY(!FaultPlan::simulatorConfig(units, 0).contains("flood"));
    const QJsonObject flooded = FaultPlan::simulatorConfig(units, 30000);
    SimConfig config;
    QString error;
    QVERIFY2(parseSimConfig(QJsonDocument(flooded).toJson(), &config, &error), qPrintable(error));
    QCOMPARE(config.flood, 30000);
    QCOMPARE(config.units.size(), 48);
}

// Three units: healthy (succeeds), refused (fails), vanished while waiting
// (lost), and an overlay that agrees.
RoundCheck::Facts TestSoak::cleanRound() const
{
    RoundCheck::Facts f;
    f.image = QByteArray(1500, 'x') + QByteArray("\r\n\0tail", 7);
    const QStringList a = addresses(3);
    const Kind kinds[] = { Kind::None, Kind::Refuse, Kind::Vanish };
    for (int i = 0; i < 3; ++i) {
        FaultPlan::Unit unit;
        unit.address = a.at(i);
        unit.kind = kinds[i];
        f.units << unit;
    }
    f.texts.insert(a.at(0),
                   { "connecting...", "Starting...", "Sending... 0%", "Writing",
                     "Firmware update completed." });
    f.texts.insert(a.at(1), { "connecting...", "ERROR: Connection refused" });
    f.cardTexts.insert(a.at(0), "Firmware update completed.");
    f.cardTexts.insert(a.at(1), "ERROR: Connection refused");
    f.successLine = "1 suceeded";
    f.failureLine = "1 failed and 1lost";
    QJsonObject refused = simUnit(a.at(1), f.image, false);
    refused.insert("connections", 0);
    f.results = { { "units",
                    QJsonArray{ simUnit(a.at(0), f.image, true), refused,
                                simUnit(a.at(2), f.image, false) } },
                  { "peakConnections", 1 },
                  { "openConnections", 0 },
                  { "msearchViolations", QJsonArray() } };
    return f;
}

void TestSoak::judgement_data()
{
    QTest::addColumn<Mutation>("mutate");
    QTest::addColumn<int>("lostImages");
    QTest::addColumn<int>("healthyFailures");
    QTest::addColumn<QString>("problem"); // part of the first problem; empty: none

    const QString healthy = addresses(3).at(0);
    const QString refused = addresses(3).at(1);
    const QString vanished = addresses(3).at(2);

    QTest::newRow("clean") << Mutation([](RoundCheck::Facts &) {}) << 0 << 0 << QString();
    QTest::newRow("vanished unit completed") << Mutation([=](RoundCheck::Facts &f) {
        f.texts[vanished] = QStringList{ "connecting...", "Firmware update completed." };
        f.successLine = "2 suceeded";
        f.failureLine = "1 failed";
        setSimUnit(f, 2, "sha256", sha256(f.image));
        setSimUnit(f, 2, "bytesReceived", f.image.size());
        setSimUnit(f, 2, "endAcknowledged", true);
    }) << 0 << 0 << QString();
    QTest::newRow("success with a wrong image") << Mutation([](RoundCheck::Facts &f) {
        setSimUnit(f, 0, "sha256", sha256("something else"));
    }) << 1 << 0 << "counted as succeeded but SHA-256";
    QTest::newRow("success with half the image")
            << Mutation([](RoundCheck::Facts &f) { setSimUnit(f, 0, "bytesReceived", 700); }) << 1
            << 0 << "received 700 bytes";
    QTest::newRow("success without the final acknowledgement")
            << Mutation([](RoundCheck::Facts &f) { setSimUnit(f, 0, "endAcknowledged", false); })
            << 1 << 0 << "not acknowledged";
    QTest::newRow("failure reported as success") << Mutation([=](RoundCheck::Facts &f) {
        f.texts[refused] = QStringList{ "connecting...", "Firmware update completed." };
        f.cardTexts[refused] = "Firmware update completed.";
        f.successLine = "2 suceeded";
        f.failureLine = "0 failed and 1lost";
    }) << 1 << 0 << "received";
    QTest::newRow("healthy unit failed") << Mutation([=](RoundCheck::Facts &f) {
        f.texts[healthy] =
                QStringList{ "connecting...", "ERROR: The remote host closed the connection" };
        f.cardTexts[healthy] = f.texts[healthy].last();
        f.successLine = "0 suceeded";
        f.failureLine = "2 failed and 1lost";
    }) << 0 << 1 << "(none): failed";
    QTest::newRow("healthy unit's card gone") << Mutation([=](RoundCheck::Facts &f) {
        f.texts.remove(healthy);
        f.cardTexts.remove(healthy);
        f.successLine = "0 suceeded";
        f.failureLine = "1 failed and 2lost";
    }) << 0 << 1 << "(none): lost";
    QTest::newRow("run never ended") << Mutation([=](RoundCheck::Facts &f) {
        f.texts[healthy] = QStringList{ "connecting...", "Starting..." };
        f.cardTexts[healthy] = "Starting...";
        f.successLine = "0 suceeded";
        f.failureLine = "1 failed and 2lost";
    }) << 0 << 1 << "the run never ended (the card shows \"Starting...\")";
    QTest::newRow("card disagrees with the last text")
            << Mutation([=](RoundCheck::Facts &f) { f.cardTexts[healthy] = "Writing"; }) << 0 << 0
            << "the card shows \"Writing\", the last text was \"Firmware update completed.\"";
    QTest::newRow("vanished unit failed") << Mutation([=](RoundCheck::Facts &f) {
        f.texts[vanished] = QStringList{ "connecting...", "ERROR: Connection refused" };
        f.cardTexts[vanished] = f.texts[vanished].last();
        f.failureLine = "2 failed";
    }) << 0 << 0 << "(vanish): failed";
    QTest::newRow("two errors for one unit") << Mutation([=](RoundCheck::Facts &f) {
        f.texts[refused] << "ERROR: Connection refused";
        f.cardTexts[refused] = "ERROR: Connection refused";
        f.failureLine = "2 failed"; // and the lost unit hides behind the clamp
    }) << 0 << 0 << "2 error texts";
    QTest::newRow("counts do not add up")
            << Mutation([](RoundCheck::Facts &f) { f.failureLine = "1 failed"; }) << 0 << 0
            << "do not add up to 3 units";
    QTest::newRow("overlay miscounts successes") << Mutation([](RoundCheck::Facts &f) {
        f.successLine = "2 suceeded";
        f.failureLine = "1 failed";
    }) << 0 << 0 << "counts 2 succeeded, the units' texts 1";
    QTest::newRow("overlay unreadable")
            << Mutation([](RoundCheck::Facts &f) { f.successLine = "Updating.."; }) << 0 << 0
            << "unreadable";
    QTest::newRow("record stuck") << Mutation([](RoundCheck::Facts &f) {
        f.busyRecords << "10.77.0.11 Transferring";
    }) << 0 << 0 << "stuck outside Idle";
    QTest::newRow("protocol violation") << Mutation([](RoundCheck::Facts &f) {
        setSimUnit(f, 0, "violations", QJsonArray{ "offset 200 after offset 0 twice" });
    }) << 0 << 0 << "the unit saw offset 200";
    QTest::newRow("unit connected twice")
            << Mutation([](RoundCheck::Facts &f) { setSimUnit(f, 0, "connections", 2); }) << 0 << 0
            << "2 connections";
    QTest::newRow("six at once") << Mutation([](RoundCheck::Facts &f) {
        f.results.insert("peakConnections", 6);
    }) << 0 << 0 << "6 connections open at once";
    QTest::newRow("connection left open")
            << Mutation([](RoundCheck::Facts &f) { f.results.insert("openConnections", 1); }) << 0
            << 0 << "still open";
    QTest::newRow("bad search") << Mutation([](RoundCheck::Facts &f) {
        f.results.insert("msearchViolations", QJsonArray{ "96 bytes from 10.77.0.1" });
    }) << 0 << 0 << "search: 96 bytes";
}

void TestSoak::judgement()
{
    QFETCH(Mutation, mutate);
    QFETCH(int, lostImages);
    QFETCH(int, healthyFailures);
    QFETCH(QString, problem);

    RoundCheck::Facts facts = cleanRound();
    mutate(facts);
    const RoundCheck::Verdict v = RoundCheck::check(facts);
    QCOMPARE(v.lostImages, lostImages);
    QCOMPARE(v.healthyFailures, healthyFailures);
    if (problem.isEmpty()) {
        QVERIFY2(v.problems.isEmpty(), qPrintable(v.problems.join('\n')));
    } else {
        QVERIFY(!v.problems.isEmpty());
        QVERIFY2(v.problems.first().contains(problem), qPrintable(v.problems.join('\n')));
    }
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
