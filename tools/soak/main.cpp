// kvx-soak: rounds of simulated units with injected faults, updated through
// the real window by one updater process. Run it through tools/soak.sh, which
// builds it and puts it in the network lab.
#include "common/offscreen.h"
#include "objectcount.h"
#include "soakrunner.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Before the first QObject, so that every one is counted.
    ObjectCount::install();
    preferOffscreenSoftware();
    QGuiApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Fault soak of the updater against kvx-devsim in the network lab."));
    parser.addHelpOption();
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("Rounds to run."),
                                    QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption seed(
            QStringLiteral("seed"),
            QStringLiteral("Seed of the fault plan (default: from the clock)."),
            QStringLiteral("s"));
    const QCommandLineOption first(QStringLiteral("first-round"),
                                   QStringLiteral("Number of the first round (to replay one)."),
                                   QStringLiteral("r"), QStringLiteral("1"));
    const QCommandLineOption flood(
            QStringLiteral("flood-round"),
            QStringLiteral("Round with the SSDP flood (default: the last; 0: none)."),
            QStringLiteral("r"));
    const QCommandLineOption rate(QStringLiteral("flood-rate"),
                                  QStringLiteral("Foreign datagrams a second in the flood "
                                                 "(default: as fast as kvx-devsim can send)."),
                                  QStringLiteral("n"), QStringLiteral("1000000"));
    const QCommandLineOption reply(
            QStringLiteral("reply-timeout-ms"),
            QStringLiteral("Shorten the records' reply time-outs (internal; default: keep them)."),
            QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({ rounds, seed, first, flood, rate, reply });
    parser.process(app);

    SoakRunner::Options options;
    bool ok = true;
    auto number = [&](const QCommandLineOption &option, int min) {
        bool good = false;
        const int n = parser.value(option).toInt(&good);
        if (!good || n < min)
            ok = false;
        return n;
    };
    options.rounds = number(rounds, 1);
    options.firstRound = number(first, 1);
    options.floodRate = number(rate, 1);
    options.replyTimeoutMs = number(reply, 0);
    options.floodRound =
            parser.isSet(flood) ? number(flood, 0) : options.firstRound + options.rounds - 1;
    if (parser.isSet(seed))
        options.seed = parser.value(seed).toULongLong(&ok);
    else
        options.seed = quint64(QDateTime::currentMSecsSinceEpoch()) % 1000000;
    if (!ok) {
        std::fprintf(stderr, "kvx-soak: bad option value (see --help)\n");
        return 2;
    }
    return SoakRunner(options).run();
}
