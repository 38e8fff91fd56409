#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// What a unit gets wrong on purpose. Every field has the value of a healthy unit
// by default.
struct UnitFaults
{
    bool wrongPassword = false; // reject every password
    int ngDataIndex = -1; // data command (0-based block number) answered NG ...
    int ngDataTimes = 0; // ... this many times before it is taken
    bool ngStart = false;
    bool ngEnd = false;
    bool ngQuery = false;
    qint64 closeAtOffset = -1; // close the connection when the data command for this offset arrives
    bool silentAfterLogin = false;
    qint64 silentAtOffset = -1; // stop answering when the data command for this offset arrives
    bool refuse = false; // no listening socket: connections are refused
    int splitReplies = 0; // write every reply as this many TCP segments (0 or 1: one write)
    int splitPauseMs = 20; // pause between those segments
    bool coalesceNotify = false; // put a NOTIFY line in the same segment behind every "OK SET"
    int slowFinalAckMs = 0; // extra delay of the reply to the end command
    int faultConnections = -1; // faults apply to the first n connections only (-1: all)
    bool bootFails = false; // after an update the unit restarts into its old firmware
};

// How a healthy unit speaks where the protocol leaves room: units in the field
// differ in these, and the updater must take every one of them.
struct UnitBehaviour
{
    enum LineEnd { CrLf, Cr, None, Nul, CrLfNul };
    // How a wrong password is refused: "Password Failed" (then a new prompt
    // with repromptAfterFailure or promptOnConnect), a new prompt alone,
    // nothing at all, or "Password Failed" and the connection closed.
    enum Refusal { Failed, PromptOnly, Silence, HangUp };

    // Prompt as soon as the connection opens; the client's wake-up CR LF is
    // then taken for an (empty) password: "Password Failed" and a new prompt.
    bool promptOnConnect = false;
    // After "Password Failed", prompt again (a unit that prompts on connect
    // always does).
    bool repromptAfterFailure = false;
    // How reply lines end ("Login Successful", "Password Failed", OK, NG,
    // NOTIFY); with None each reply is still its own TCP segment. Nul and
    // CrLfNul (C strings sent whole) end the prompts with their NUL too.
    LineEnd lineEnd = CrLf;
    Refusal refusal = Failed;
    // Time the unit takes to answer each command after the login.
    int replyDelayMs = 0;
    // Acknowledge the start and data commands with "OK SET" and the command's
    // key ("OK SET UPDATE/SYSTEM:STA", "OK SET UPDATE/SYSTEM:BIN"); the end
    // command still gets "OK SET" alone.
    bool ackWords = false;
    // Time the unit takes to acknowledge the start command (erasing its flash).
    int startDelayMs = 0;
    // Time the unit takes to judge a password ("Login Successful" or
    // "Password Failed"): a slow hash on a small processor.
    int verdictDelayMs = 0;
    // Flush the input when refusing a login (the wake-up taken for a
    // password too): what the client wrote before the refusal has gone out,
    // a password that crossed it included, is never read.
    bool dropInputOnFailure = false;
};

// "crlf", "cr", "none", "nul", "crlfnul"; false for anything else.
bool parseLineEnd(const QString &text, UnitBehaviour::LineEnd *lineEnd);

struct UnitConfig
{
    QHostAddress address;
    QString model = QStringLiteral("ZP-9E");
    QString nickname;
    // What the unit runs: announced over SSDP and answered to
    // "GET DEVICE/VER/SYSTEM". An acknowledged update changes both at the
    // unit's restart (to the header of the image it received).
    QString version = QStringLiteral("1.02");
    QString build = QStringLiteral("0100");
    QString uuid;
    QString password = QStringLiteral("admin");
    int writeDelayMs =
            0; // time the unit takes to write the image before it acknowledges the end command
    double silentAfterSeconds = -1; // stop answering searches after this time (the unit goes away)
    double renameAfterSeconds = -1; // answer with newNickname from this time on
    // After acknowledging the end command the unit restarts: it closes its
    // connections, refuses new ones and answers no search for this long, then
    // runs the image it received. Negative: it does not restart.
    double rebootSeconds = 8;
    QString newNickname;
    UnitBehaviour behaviour;
    UnitFaults faults;
};

struct SimConfig
{
    bool foreign = false; // also answer each search with responses of other makers' devices
    QHostAddress foreignAddress; // where those come from; the first unit's address by default
    int flood = 0; // foreign datagrams per second sent to every host that searched
    QString interface; // interface to join the SSDP group on; found from the units' addresses by
                       // default
    QVector<UnitConfig> units;
    // The maker's UPnP domain that opens the units' description lines.
    QString makerDomain = QStringLiteral(KVX_MAKER_DOMAIN);
};

// The five models of the family, in the order the simulator hands them out.
const QStringList &knownModels();

// A unit with defaults for everything but its address: a model (the five in
// turn), nickname and UUID derived from the address and its position, so that
// runs are repeatable. Units from a configuration file default to "ZP-9E".
UnitConfig defaultUnit(const QHostAddress &address, int index);

// Reads a configuration document; on failure returns false and says why.
bool parseSimConfig(const QByteArray &json, SimConfig *config, QString *error);
