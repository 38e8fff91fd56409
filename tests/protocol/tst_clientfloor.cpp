#include "protocol/communication.h"
#include "protocol/linetransport.h"

#include "common/unitscripts.h"
#include "common/virtualclock.h"
#include "referenceclient.h"
#include "ourclient.h"
#include "simunit.h"

#include <QRegularExpression>
#include <QTest>

using namespace Sim;

namespace {

// Long enough for every time-out of the updater (5 min for a flash operation).
constexpr qint64 kLimitMs = 40 * 60 * 1000;
constexpr int kMaxEvents = 200000;

struct Tally
{
    int cases = 0, referenceCompleted = 0, referenceFailed = 0, referenceStuck = 0,
        oursCompleted = 0, oursOnly = 0, rejected = 0, referenceUnasked = 0;
};
Tally s_tally;

} // namespace

Q_DECLARE_METATYPE(Sim::Behaviour)

class TestClientFloor : public QObject
{
    Q_OBJECT

private slots:
    void againstReference_data();
    void againstReference();
    void cleanupTestCase();
};

// The whole space: each login style, verdict delay, keeping or flushing the
// input at a refusal, line end, acknowledgement form, cutting of the unit's
// bytes, and the right password or a wrong one refused in each way.
void TestClientFloor::againstReference_data()
{
    QTest::addColumn<Behaviour>("behaviour");
    const QList<QPair<const char *, Login>> logins{
        { "after wake-up", Login::AfterWakeUp },
        { "on connect, failed", Login::OnConnectFailed },
        { "on connect, prompt", Login::OnConnectPrompt }
    };
    const QList<QPair<const char *, QByteArray>> ends{ { "CR LF", "\r\n" },
                                                       { "LF", "\n" },
                                                       { "CR", "\r" },
                                                       { "none", "" },
                                                       { "NUL", QByteArray(1, '\0') },
                                                       { "CR LF NUL", QByteArray("\r\n\0", 3) } };
    const QList<QPair<const char *, Cuts>> cuts{ { "whole", Cuts::Whole },
                                                 { "bytes", Cuts::Bytes },
                                                 { "random", Cuts::Random },
                                                 { "bunched", Cuts::Bunched } };
    const QList<QPair<const char *, Refusal>> passwords{ { "right", Refusal::None },
                                                         { "failed+prompt",
                                                           Refusal::FailedAndPrompt },
                                                         { "new prompt", Refusal::NewPrompt },
                                                         { "silence", Refusal::Silence },
                                                         { "hang-up", Refusal::HangUp } };
    // Each verdict delay by a unit that keeps its input and by one that
    // flushes it at a refusal.
    QList<QPair<int, bool>> verdicts;
    for (int verdictMs : { 0, 1500, 3000 })
        for (bool drops : { false, true })
            verdicts.append({ verdictMs, drops });
    quint32 seed = 0;
    for (const auto &login : logins)
        for (const auto &verdict : verdicts)
            for (const auto &end : ends)
                for (bool words : { false, true })
                    for (const auto &cut : cuts)
                        for (const auto &password : passwords) {
                            Behaviour b;
                            b.login = login.second;
                            b.verdictMs = verdict.first;
                            b.dropsInput = verdict.second;
                            b.lineEnd = end.second;
                            b.ackWords = words;
                            b.cuts = cut.second;
                            b.refusal = password.second;
                            b.seed = ++seed;
                            QTest::addRow("%s/%d ms/%s/%s/%s/%s/%s", login.first, verdict.first,
                                          verdict.second ? "drops" : "keeps", end.first,
                                          words ? "words" : "plain", cut.first, password.first)
                                    << b;
                        }
}

void TestClientFloor::againstReference()
{
    QFETCH(Behaviour, behaviour);
    const QByteArray image = UnitScript::testImage(1300, behaviour.seed);
    const QByteArray password =
            behaviour.refusal == Refusal::None ? QByteArray(Unit::kPassword) : "wrong";
    ++s_tally.cases;

    VirtualClock refClock;
    Unit refUnit(refClock, behaviour);
    ReferenceClient reference(refUnit, image, password);
    reference.start();
    refClock.run(kLimitMs, kMaxEvents);
    const bool refDone = reference.completed && reference.errors.isEmpty();
    s_tally.referenceUnasked += refUnit.unaskedPasswords > 0 ? 1 : 0;

    VirtualClock clock;
    Unit unit(clock, behaviour);
    OurClient ours(unit, image, password);
    clock.run(kLimitMs, kMaxEvents);
    // Nothing is left running: the run has ended and said so.
    QVERIFY2(clock.idle(), "the updater's run never ended");

    const QStringList errors = ours.errors();
    // A unit that prompted on connect, refused the wake-up with a new prompt
    // and then keeps silent looks on the wire exactly like one that dropped
    // the password at that refusal and waits at its prompt: the prompt is
    // answered once more. Where the unit had read the password after all and
    // refuses it by silence, that one is a password it did not ask for (the
    // reference, where it sees the prompt, writes it too).
    const bool silentAfterPrompt =
            behaviour.login != Login::AfterWakeUp && behaviour.refusal == Refusal::Silence;
    QVERIFY2(unit.unaskedPasswords <= (silentAfterPrompt ? 1 : 0),
             "the unit got a password it did not ask for");
    // Exactly one verdict: completed, or one error text.
    QCOMPARE(ours.completions() + errors.size(), 1);

    if (refDone) {
        ++s_tally.referenceCompleted;
        QVERIFY2(ours.completed(), qPrintable(errors.join(QLatin1Char(' '))));
        // Less the passwords the reference wrote where no prompt asked.
        QByteArrayList expected = refUnit.commands;
        expected.removeAll(password + "\r\n");
        QCOMPARE(unit.commands, expected);
        QCOMPARE(refUnit.image, image);
    } else if (reference.errors.isEmpty()) {
        ++s_tally.referenceStuck;
    } else {
        ++s_tally.referenceFailed;
    }
    if (ours.completed()) {
        ++s_tally.oursCompleted;
        s_tally.oursOnly += refDone ? 0 : 1;
        QCOMPARE(unit.image, image);
        QVERIFY(unit.endAcknowledged);
    }
    if (behaviour.refusal != Refusal::None) {
        ++s_tally.rejected;
        QCOMPARE(errors, QStringList{ QStringLiteral("ERROR: The unit rejected the password.") });
        QVERIFY(!unit.commands.contains(password + "\r\n"));
    } else if (!behaviour.lineEnd.isEmpty() || !behaviour.ackWords || behaviour.cuts == Cuts::Whole
               || behaviour.cuts == Cuts::Bunched) {
        // Every unit that takes the password is updated, also where the
        // reference is not; but for one that never ends its texts, follows
        // "OK SET" with words and has its replies cut: where the words end
        // and the next reply begins cannot be told.
        QVERIFY2(ours.completed(), qPrintable(errors.join(QLatin1Char(' '))));
    }
}

void TestClientFloor::cleanupTestCase()
{
    qInfo("%d cases: the reference completed %d, failed %d, got stuck %d; the updater completed "
          "%d (%d the reference did not), rejected %d wrong passwords; the reference wrote a "
          "password no prompt asked for in %d",
          s_tally.cases, s_tally.referenceCompleted, s_tally.referenceFailed,
          s_tally.referenceStuck, s_tally.oursCompleted, s_tally.oursOnly, s_tally.rejected,
          s_tally.referenceUnasked);
}

QTEST_GUILESS_MAIN(TestClientFloor)
#include "tst_clientfloor.moc"
