// The updater's client beside a plain reference client, both against the same
// simulated unit, with the network cutting the unit's replies where the input
// says. tst_clientfloor walks the whole table of unit behaviours with one
// pseudo-random cut per case; this harness searches the cuts themselves. It
// checks what the test checks: the run ends with exactly one verdict, the
// unit never gets a password it did not ask for, a wrong password ends in the
// rejection text, and wherever the reference updates the unit, the updater
// does too with the same commands and image bytes.
//
// Input layout: one byte for the login style (bits 0-1), refusal (bits 2-4),
// acknowledgement words (bit 5) and flushing the input at a refusal (bit 6);
// one byte for the line end (low nibble)
// and the verdict delay (high nibble, 200 ms steps); the rest are the lengths
// of the pieces the unit's replies are cut into, in turn (none: whole replies).
// No sockets: the simulated network runs on a virtual clock.

#include "fuzzcheck.h"
#include "protocol/communication.h"
#include "protocol/linetransport.h"
#include "protocol/referenceclient.h"
#include "protocol/ourclient.h"
#include "protocol/simunit.h"

#include <QCoreApplication>

#include <cstdint>

namespace {

using namespace Sim;

constexpr qint64 kLimitMs = 40 * 60 * 1000;
constexpr int kMaxEvents = 200000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_clientfloor";
    static char *argv[] = { name, nullptr };
    static QCoreApplication *app = [] {
        kvxFuzzQuietQt();
        return new QCoreApplication(argc, argv);
    }();
    Q_UNUSED(app);
    if (size < 2)
        return 0;

    static const QByteArray ends[] = {
        "\r\n", "\n", "\r", "", QByteArray(1, '\0'), QByteArray("\r\n\0", 3)
    };
    Behaviour b;
    b.login = Login(data[0] % 3);
    b.refusal = Refusal((data[0] >> 2) % 5);
    b.ackWords = data[0] & 0x20;
    b.dropsInput = data[0] & 0x40;
    b.lineEnd = ends[(data[1] & 0x0f) % 6];
    b.verdictMs = (data[1] >> 4) * 200;
    b.cutLengths = QByteArray(reinterpret_cast<const char *>(data + 2), int(size - 2));
    b.cuts = b.cutLengths.isEmpty() ? Cuts::Whole : Cuts::Random;
    const QByteArray image(1100, 'x');
    const QByteArray password = b.refusal == Refusal::None ? QByteArray(Unit::kPassword) : "wrong";

    VirtualClock refClock;
    Unit refUnit(refClock, b);
    ReferenceClient reference(refUnit, image, password);
    reference.start();
    refClock.run(kLimitMs, kMaxEvents);
    const bool refDone = reference.completed && reference.errors.isEmpty();
    QByteArrayList refCommands = refUnit.commands;
    refCommands.removeAll(password + "\r\n");

    VirtualClock clock;
    Unit unit(clock, b);
    {
        OurClient ours(unit, image, password);
        clock.run(kLimitMs, kMaxEvents);
        KVX_FUZZ_CHECK(clock.idle());
        // As in tst_clientfloor: a silent refusal after a prompt on connect
        // cannot be told from a unit that dropped the password.
        const bool silentAfterPrompt =
                b.login != Login::AfterWakeUp && b.refusal == Refusal::Silence;
        KVX_FUZZ_CHECK(unit.unaskedPasswords <= (silentAfterPrompt ? 1 : 0));
        KVX_FUZZ_CHECK(ours.completions() + ours.errors().size() == 1);
        if (refDone) {
            KVX_FUZZ_CHECK(ours.completions() == 1);
            KVX_FUZZ_CHECK(unit.commands == refCommands);
        }
        if (ours.completions() == 1)
            KVX_FUZZ_CHECK(unit.image == image && unit.endAcknowledged);
        if (b.refusal != Refusal::None)
            KVX_FUZZ_CHECK(ours.errors().value(0)
                           == QLatin1String("ERROR: The unit rejected the password."));
    }
    return 0;
}
