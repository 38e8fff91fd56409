#pragma once

#include <QString>
#include <QStringList>

// What kvx-update was asked to do. Parsing is a pure function of the argument
// list, so every accepted and every rejected command line can be checked
// without a network or a terminal.
struct CliArguments
{
    enum Command { Help, Info, List, Update, History, Invalid };

    Command command = Invalid;
    QString helpTopic; // Help: "", "info", "list", "update" or "history"
    double waitSeconds = 5.0; // list, update: how long to search
    int parallel = 5; // update: units written at the same time
    bool json = false;
    bool all = false; // update: every unit found
    bool outdated = false; // update: every unit found whose firmware is older than the image
    bool direct = false; // update: no search, straight to the named addresses
    QStringList addresses; // update: the named units, each once, in the order given
    QString reportPath; // update: where the run's report goes (.csv or .json); "" for none
    int lastRuns = 0; // history: how many of the latest runs; 0 for all
    // update: units that are skipped unless these are given
    bool reinstall = false; // already current
    bool allowOlder = false; // newer than the image
    bool anyModel = false; // of another model than the image's
    // update: how long to wait for each updated unit to come back with the
    // image's version; verification off with --no-verify
    bool verify = true;
    double verifySeconds = 120.0;
    QString error; // Invalid: what is wrong, one line

    static constexpr int kMaxParallel = 5;
    static constexpr double kMaxWaitSeconds = 3600.0;
    static constexpr double kMaxVerifySeconds = 3600.0;

    // Arguments without the program name.
    static CliArguments parse(const QStringList &arguments);

    // The help text of one command ("" for the overview).
    static QString helpText(const QString &topic);
};
