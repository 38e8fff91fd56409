#pragma once

#include "faultplan.h"
#include "roundcheck.h"

#include "common/lab.h"
#include "common/updaterwindow.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <memory>

class TickWatch;

// Rounds of simulated units updated through the real window, one updater
// process for all of them, with faults injected and the end of every round
// checked (see README.md next to this file).
class SoakRunner
{
public:
    struct Options
    {
        int rounds = 1;
        int firstRound = 1;
        quint64 seed = 1;
        int floodRound = 0; // 0: no flood
        int floodRate = 1000000; // foreign datagrams a second (more than kvx-devsim can send)
        int replyTimeoutMs = 0; // 0: the records' own time-outs
        int units = 48;
    };

    explicit SoakRunner(const Options &options);
    ~SoakRunner();

    // Runs every round and prints the summary; the process's exit code.
    int run();

private:
    struct RoundFigures
    {
        int round = 0;
        bool flood = false;
        int units = 0;
        int faults = 0;
        RoundCheck::Verdict verdict;
        double seconds = 0;
        qint64 rssKiB = -1; // at "Finished."
        qint64 peakKiB = -1; // highest during the round
        qint64 rssEmptyKiB = -1; // once the round's cards have aged out
        long long liveObjects = -1; // QObjects alive then
        qint64 worstLatenessMs = -1;
        int ticks = 0;
        int floodSent = 0;
        qint64 udpReceived = -1;
        qint64 udpDropped = -1;
    };

    bool runRound(int round, RoundFigures *figures);
    bool waitForEmptyList(int timeoutMs);
    void checkMemory();
    void printSummary() const;
    void problem(const QString &text);

    Options m_options;
    LabDevSim m_sim;
    UpdaterWindow m_updater;
    std::unique_ptr<TickWatch> m_ticks;
    QList<RoundFigures> m_figures;
    QMap<QString, int> m_faultsByKind;
    QSet<QObject *> m_objectsAfterRound2;
    int m_problems = 0;
};
