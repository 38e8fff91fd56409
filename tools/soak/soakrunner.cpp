#include "soakrunner.h"

#include "objectcount.h"
#include "tickwatch.h"

#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QQuickWindow>

#include <cstdio>

namespace {

const QString kPassword = QStringLiteral("admin"); // kvx-devsim's default
// Growth of the resident memory from round 2 to the last that still counts as
// the allocator's noise.
constexpr qint64 kRssGrowthLimitKiB = 4096;
constexpr long long kObjectGrowthLimit = 8;

void say(const QString &line)
{
    std::fputs(qPrintable(line), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The UDP counters of this network namespace (/proc/net/snmp is per
// namespace): datagrams delivered, and those dropped for a full receive
// buffer. -1 where they cannot be read.
void udpCounters(qint64 *received, qint64 *dropped)
{
    *received = *dropped = -1;
    QFile file(QStringLiteral("/proc/net/snmp"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> names;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.startsWith("Udp: "))
            continue;
        const QList<QByteArray> fields = line.mid(5).split(' ');
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        *received = fields.value(names.indexOf("InDatagrams")).toLongLong();
        *dropped = fields.value(names.indexOf("RcvbufErrors")).toLongLong();
        return;
    }
}

QStringList busyRecords(const UdpMachineList *table)
{
    QStringList busy;
    for (const UdpMachineNode *node : table->nodes()) {
        if (node->m_fwup_state != UdpMachineNode::Idle)
            busy << node->m_ipaddr + QLatin1Char(' ')
                            + QVariant::fromValue(node->m_fwup_state).toString();
    }
    return busy;
}

} // namespace

SoakRunner::SoakRunner(const Options &options) : m_options(options) { }

SoakRunner::~SoakRunner()
{
    m_ticks.reset();
    m_updater.stop();
    m_sim.stop();
}

void SoakRunner::problem(const QString &text)
{
    ++m_problems;
    say(QStringLiteral("  PROBLEM ") + text);
}

bool SoakRunner::waitForEmptyList(int timeoutMs)
{
    return labWaitUntil([this] { return m_updater.cardCount() == 0; }, timeoutMs);
}

int SoakRunner::run()
{
    QString why;
    if (!labAvailable()) {
        say(QStringLiteral("kvx-soak: needs the network lab (run it through tools/soak.sh)"));
        return 77;
    }
    if (labDeviceAddresses().size() < m_options.units) {
        say(QStringLiteral("kvx-soak: the lab has %1 device addresses, a round needs %2")
                    .arg(labDeviceAddresses().size())
                    .arg(m_options.units));
        return 2;
    }
    if (!ObjectCount::install())
        say(QStringLiteral("soak: Qt offers no object hooks; QObjects are not counted"));
    if (!m_updater.start(&why)) {
        say(QStringLiteral("kvx-soak: cannot start the updater: ") + why);
        return 1;
    }
    m_ticks.reset(new TickWatch(
            m_updater.window()->findChild<QObject *>(QStringLiteral("id_timer")), 1000));
    if (!m_ticks->isValid()) {
        say(QStringLiteral("kvx-soak: the device list's timer is missing"));
        return 1;
    }

    const int last = m_options.firstRound + m_options.rounds - 1;
    say(QStringLiteral(
                "soak: rounds %1..%2, %3 units each, seed %4, flood in round %5 at %6 datagrams/s")
                .arg(m_options.firstRound)
                .arg(last)
                .arg(m_options.units)
                .arg(m_options.seed)
                .arg(m_options.floodRound ? QString::number(m_options.floodRound)
                                          : QStringLiteral("none"))
                .arg(m_options.floodRate));
    say(m_options.replyTimeoutMs > 0
                ? QStringLiteral("soak: reply time-outs shortened internally to %1 ms")
                          .arg(m_options.replyTimeoutMs)
                : QStringLiteral("soak: the records' own protocol time-outs"));
    say(QStringLiteral("soak: image %1 bytes; RSS at start %2 KiB")
                .arg(m_updater.table()->binfile().size())
                .arg(residentKiB()));

    for (int round = m_options.firstRound; round <= last; ++round) {
        RoundFigures figures;
        const bool carryOn = runRound(round, &figures);
        m_figures << figures;
        if (!carryOn)
            break;
    }
    checkMemory();
    printSummary();
    return m_problems == 0 ? 0 : 1;
}

bool SoakRunner::runRound(int round, RoundFigures *figures)
{
    figures->round = round;
    figures->flood = round == m_options.floodRound;
    const QByteArray &image = m_updater.table()->binfile();

    // Each round on its own block of lab addresses, in turn.
    const QStringList all = labDeviceAddresses();
    const int blocks = all.size() / m_options.units;
    const QStringList addresses =
            all.mid(((round - 1) % blocks) * m_options.units, m_options.units);
    const QList<FaultPlan::Unit> units =
            FaultPlan::round(m_options.seed, round, addresses, image.size());
    figures->units = units.size();

    say(QString());
    say(QStringLiteral(
                "round %1%2: units %3 .. %4; replay: tools/soak.sh 1 --seed %5 --first-round %1%6")
                .arg(round)
                .arg(figures->flood ? QStringLiteral(" (flood)") : QString())
                .arg(addresses.first(), addresses.last())
                .arg(m_options.seed)
                .arg(figures->flood ? QStringLiteral(" --flood-round %1 --flood-rate %2")
                                              .arg(round)
                                              .arg(m_options.floodRate)
                                    : QStringLiteral(" --flood-round 0")));
    for (const FaultPlan::Unit &unit : units) {
        if (unit.kind == FaultPlan::Kind::None)
            continue;
        ++figures->faults;
        ++m_faultsByKind[FaultPlan::kindName(unit.kind)];
        say(QStringLiteral("  fault %1: %2%3")
                    .arg(unit.address, FaultPlan::kindName(unit.kind),
                         unit.detail.isEmpty()
                                 ? QString()
                                 : QStringLiteral(" (") + unit.detail + QLatin1Char(')')));
    }

    // The cards of the previous round must have gone: a card that says
    // "Firmware update completed." cannot be ticked again, and a failed one
    // would be ticked with the new ones.
    if (!waitForEmptyList(1000)) {
        problem(QStringLiteral("%1 cards of the previous round are still there")
                        .arg(m_updater.cardCount()));
        return false;
    }
    if (!m_sim.start(FaultPlan::simulatorConfig(units, figures->flood ? m_options.floodRate : 0))) {
        problem(QStringLiteral("kvx-devsim: ") + m_sim.errorString());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    m_ticks->reset();
    qint64 udpIn0, udpDrop0;
    udpCounters(&udpIn0, &udpDrop0);

    if (!m_updater.waitForCards(addresses, 30000) || m_updater.cardCount() != units.size()) {
        problem(QStringLiteral("%1 of %2 cards appeared")
                        .arg(m_updater.cardCount())
                        .arg(units.size()));
        return false;
    }
    if (m_options.replyTimeoutMs > 0) {
        for (UdpMachineNode *node : m_updater.table()->nodes())
            node->m_comm.m_protocol.m_replyTimeoutMs = m_options.replyTimeoutMs;
    }

    m_updater.clearLogs();
    if (!m_updater.clickButton(QStringLiteral("Select all"))
        || !m_updater.updateSelected(kPassword)) {
        problem(QStringLiteral("the window did not take the selection and the password"));
        return false;
    }
    if (!m_updater.waitForFinished(15 * 60 * 1000)) {
        problem(QStringLiteral("the run did not finish: \"%1\"").arg(m_updater.statusLine()));
        return false;
    }
    figures->seconds = clock.elapsed() / 1000.0;
    figures->rssKiB = residentKiB();
    figures->peakKiB = peakResidentKiB();
    resetPeakResident();
    figures->worstLatenessMs = m_ticks->worstLatenessMs();
    figures->ticks = m_ticks->ticks();
    qint64 udpIn1, udpDrop1;
    udpCounters(&udpIn1, &udpDrop1);
    if (udpIn0 >= 0 && udpIn1 >= 0) {
        figures->udpReceived = udpIn1 - udpIn0;
        figures->udpDropped = udpDrop1 - udpDrop0;
    }

    // The units close their side a moment after the updater closes its own.
    QJsonObject results;
    labWaitUntil(
            [&] {
                results = m_sim.results();
                return !results.isEmpty()
                        && results.value(QStringLiteral("openConnections")).toInt() == 0;
            },
            3000);
    figures->floodSent = results.value(QStringLiteral("floodSent")).toInt();

    RoundCheck::Facts facts;
    facts.units = units;
    facts.successLine = m_updater.successLine();
    facts.failureLine = m_updater.failureLine();
    for (const UpdaterWindow::TextEvent &e : m_updater.coreTexts())
        facts.texts[e.address] << e.text;
    facts.busyRecords = busyRecords(m_updater.table());
    for (const FaultPlan::Unit &unit : units) {
        if (m_updater.hasCard(unit.address))
            facts.cardTexts.insert(unit.address, m_updater.cardText(unit.address));
    }
    facts.results = results;
    facts.image = image;
    figures->verdict = RoundCheck::check(facts);
    for (const QString &p : qAsConst(figures->verdict.problems))
        problem(p);

    if (!m_updater.closeOverlay())
        problem(QStringLiteral("the overlay did not close"));
    m_sim.stop();
    if (!m_sim.errorString().isEmpty())
        problem(QStringLiteral("kvx-devsim: ") + m_sim.errorString());

    // With its units gone the table drops their records after eleven silent
    // ticks and the list their cards: the updater is back where it started,
    // which is where memory and objects are compared from round to round.
    QElapsedTimer ageing;
    ageing.start();
    if (!waitForEmptyList(60000)) {
        problem(QStringLiteral("%1 cards still there a minute after the units went")
                        .arg(m_updater.cardCount()));
        return false;
    }
    if (!m_updater.table()->nodes().isEmpty())
        problem(QStringLiteral("%1 records left with an empty list")
                        .arg(m_updater.table()->nodes().size()));
    // Let deferred deletions run before counting.
    labWaitUntil([] { return false; }, 200);
    figures->rssEmptyKiB = residentKiB();
    figures->liveObjects = ObjectCount::live();
    if (round == m_options.firstRound + 1)
        m_objectsAfterRound2 = ObjectCount::snapshot();

    const RoundCheck::Verdict &v = figures->verdict;
    QString line =
            QStringLiteral("round %1: %2 units, %3 faults; %4 succeeded, %5 failed, %6 lost; "
                           "lost images %7, healthy failures %8; %9 s; RSS %10 KiB (peak %11 KiB), "
                           "%12 KiB with the list empty again after %13 s, %14 live QObjects; "
                           "timer: %15 ticks, worst lateness %16 ms")
                    .arg(round)
                    .arg(figures->units)
                    .arg(figures->faults)
                    .arg(v.succeeded)
                    .arg(v.failed)
                    .arg(v.lost)
                    .arg(v.lostImages)
                    .arg(v.healthyFailures)
                    .arg(figures->seconds, 0, 'f', 1)
                    .arg(figures->rssKiB)
                    .arg(figures->peakKiB)
                    .arg(figures->rssEmptyKiB)
                    .arg(ageing.elapsed() / 1000.0, 0, 'f', 1)
                    .arg(figures->liveObjects)
                    .arg(figures->ticks)
                    .arg(figures->worstLatenessMs);
    if (figures->flood)
        line += QStringLiteral("; flood: %1 datagrams sent (%2/s)")
                        .arg(figures->floodSent)
                        .arg(qRound(figures->floodSent / qMax(0.001, figures->seconds)));
    if (figures->udpReceived >= 0)
        line += QStringLiteral("; UDP in %1, dropped %2")
                        .arg(figures->udpReceived)
                        .arg(figures->udpDropped);
    say(line);
    return true;
}

// The first round warms up (QML components, caches, the allocator's arenas);
// growth is judged from the end of the second round on, at the same point of
// every round: the list empty again.
void SoakRunner::checkMemory()
{
    if (m_figures.size() < 3)
        return;
    const RoundFigures &base = m_figures.at(1);
    const RoundFigures &end = m_figures.last();
    if (base.rssEmptyKiB < 0 || end.rssEmptyKiB < 0)
        return;
    const qint64 growth = end.rssEmptyKiB - base.rssEmptyKiB;
    say(QStringLiteral("soak: RSS from round 2 to round %1: %2%3 KiB; live QObjects %4%5")
                .arg(end.round)
                .arg(growth >= 0 ? QStringLiteral("+") : QString())
                .arg(growth)
                .arg(end.liveObjects - base.liveObjects >= 0 ? QStringLiteral("+") : QString())
                .arg(end.liveObjects - base.liveObjects));
    if (growth > kRssGrowthLimitKiB)
        problem(QStringLiteral("resident memory grew by %1 KiB from round 2 to round %2")
                        .arg(growth)
                        .arg(end.round));
    // The list's own objects (dots, dialogs, the JavaScript engine's) come
    // and go by a handful; a leak per unit would add dozens a round.
    // (The cards' QML contexts of the last round wait for the JavaScript
    // engine's collector, so the listing below always holds a few dozen.)
    if (end.liveObjects - base.liveObjects > kObjectGrowthLimit) {
        problem(QStringLiteral("%1 more QObjects alive after round %2 than after round 2")
                        .arg(end.liveObjects - base.liveObjects)
                        .arg(end.round));
        const QMap<QString, int> stayed = ObjectCount::newSince(m_objectsAfterRound2);
        for (auto it = stayed.constBegin(); it != stayed.constEnd(); ++it)
            say(QStringLiteral("    made since round 2 and still alive: %1 x %2")
                        .arg(it.value())
                        .arg(it.key()));
    }
}

void SoakRunner::printSummary() const
{
    say(QString());
    say(QStringLiteral("summary"));
    int units = 0, faults = 0, ok = 0, ng = 0, lost = 0, lostImages = 0, healthy = 0;
    qint64 worstQuiet = -1, worstFlood = -1;
    QStringList rss, rssEmpty, objects;
    for (const RoundFigures &f : m_figures) {
        units += f.units;
        faults += f.faults;
        ok += qMax(0, f.verdict.succeeded);
        ng += qMax(0, f.verdict.failed);
        lost += qMax(0, f.verdict.lost);
        lostImages += f.verdict.lostImages;
        healthy += f.verdict.healthyFailures;
        if (f.flood)
            worstFlood = qMax(worstFlood, f.worstLatenessMs);
        else
            worstQuiet = qMax(worstQuiet, f.worstLatenessMs);
        rss << QString::number(f.rssKiB);
        rssEmpty << QString::number(f.rssEmptyKiB);
        objects << QString::number(f.liveObjects);
    }
    say(QStringLiteral("  rounds %1, units %2, injected faults %3")
                .arg(m_figures.size())
                .arg(units)
                .arg(faults));
    QStringList kinds;
    for (auto it = m_faultsByKind.constBegin(); it != m_faultsByKind.constEnd(); ++it)
        kinds << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    say(QStringLiteral("  faults by kind: ") + kinds.join(QLatin1String(", ")));
    say(QStringLiteral("  outcomes: %1 succeeded, %2 failed, %3 lost").arg(ok).arg(ng).arg(lost));
    say(QStringLiteral("  lost images: %1; failures of healthy units: %2")
                .arg(lostImages)
                .arg(healthy));
    say(QStringLiteral("  RSS at the end of each round (KiB): ") + rss.join(QLatin1Char(' ')));
    say(QStringLiteral("  RSS with the list empty after each round (KiB): ")
        + rssEmpty.join(QLatin1Char(' ')));
    say(QStringLiteral("  live QObjects with the list empty after each round: ")
        + objects.join(QLatin1Char(' ')));
    say(QStringLiteral("  timer's worst lateness: %1 ms without flood, %2 ms under flood")
                .arg(worstQuiet)
                .arg(worstFlood));
    say(QStringLiteral("  problems: %1").arg(m_problems));
}
