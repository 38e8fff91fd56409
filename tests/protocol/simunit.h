#pragma once

#include "common/virtualclock.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <random>

// A unit and the network between it and one client, on a virtual clock:
// every way of logging in, judging a password, ending lines and cutting the
// unit's bytes into reads that the unit and the client are to cope with.
namespace Sim {

enum class Login { AfterWakeUp, OnConnectFailed, OnConnectPrompt };
enum class Refusal { None, FailedAndPrompt, NewPrompt, Silence, HangUp };
enum class Cuts { Whole, Bytes, Random, Bunched };

struct Behaviour
{
    Login login = Login::AfterWakeUp;
    int verdictMs = 0;
    QByteArray lineEnd = "\r\n";
    bool ackWords = false;
    Cuts cuts = Cuts::Whole;
    Refusal refusal = Refusal::None; // None: the client has the right password
    // When it refuses a login, the unit flushes what it has not read yet (a
    // password that crossed the refusal is lost).
    bool dropsInput = false;
    quint32 seed = 1;
    // With Cuts::Random: the lengths of the pieces, in turn, instead of the
    // seed's (a fuzzer's input; 0 counts as 1).
    QByteArray cutLengths;
};

// What a client gets from the network.
class ClientEnd
{
public:
    virtual ~ClientEnd() = default;
    virtual void connected() = 0;
    virtual void received(const QByteArray &bytes) = 0;
    virtual void closedByUnit() = 0;
};

class Unit
{
public:
    static constexpr const char *kPassword = "s3cret";

    Unit(VirtualClock &clock, const Behaviour &behaviour);
    void attach(ClientEnd *client) { m_client = client; }

    // The client's side of the connection.
    void connect();
    void clientWrite(const QByteArray &bytes);
    void clientClose() { m_open = false; }
    bool isOpen() const { return m_open; }

    QByteArrayList commands; // every command after the login, data without its bytes
    QByteArray image; // the bytes the data commands carried, by offset
    bool endAcknowledged = false;
    int unaskedPasswords = 0; // lines in the login no prompt asked for, passwords after it
    int bytesFromClient = 0;

private:
    void take();
    bool takeCommand();
    void password(const QByteArray &line);
    void reply(const QByteArray &text);
    void deliver(const QByteArray &bytes);
    void hangUp();
    void later(int ms, std::function<void()> what);

    VirtualClock &m_clock;
    Behaviour m_b;
    ClientEnd *m_client = nullptr;
    std::mt19937 m_random;
    QByteArray m_input;
    QByteArray m_bunch;
    bool m_open = false;
    bool m_busy = false; // judging a password: what follows waits
    bool m_awake = false;
    bool m_loggedIn = false;
    int m_prompts = 0; // prompts not yet answered
    int m_nextCut = 0;
};

} // namespace Sim
