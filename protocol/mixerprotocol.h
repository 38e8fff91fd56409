#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QTcpSocket>

#include "protocol/deadline.h"

class LineTransport;
class QTextCodec;

// Client side of a unit's TCP line-command protocol: connect, log in, read the
// unit's name and version, send queued GET/SET lines one at a time and raw data
// blocks, judge every reply line, resend a raw block on NG.
//
// Everything it cannot get from the unit ends in errorSig, once per
// connection: socket errors with the socket's own description, and the
// client's own verdicts (rejected password, endless NG, time-outs) with a text
// that says what went wrong. After its own verdict the client has already
// aborted the connection.
//
// What it takes from a unit is wider than what it sends: reply lines may end
// in LF, CR LF, a lone CR, a NUL or not at all (an acknowledgement is judged as
// soon as it is complete, a query's value after a quiet moment), and a unit
// may take the wake-up for a password before it takes the real one. It writes
// the password only where a prompt asks for it: never after "Login
// Successful", never for a prompt the wake-up or the password has already
// answered. It writes it a second time only to a unit that prompted again
// and then gave no verdict for much longer than it took to refuse the
// wake-up (it dropped the password that crossed its refusal).
class MixerProtocol : public QObject
{
    Q_OBJECT

public:
    explicit MixerProtocol(QObject *parent = nullptr);
    ~MixerProtocol() override;

    void connectToDevice(const QString &host, const QString &password);
    void closeDevice();
    void queueGet(const QString &command, bool deferred = false);
    void queueSet(const QString &command);
    void sendRaw(const QByteArray &block);
    // The same, for a block whose first nameLength bytes are text that names
    // it in a failure text, e.g. "SET UPDATE/SYSTEM:BIN SIZE:200 offset:400".
    // (The name is only spelled out when a failure needs it.)
    void sendRaw(const QByteArray &block, int nameLength);
    QTextCodec *textCodec() const;

    // The reply to the next queued command may take up to ms instead of
    // m_replyTimeoutMs (the unit writes its flash before it answers).
    void setNextReplyTimeout(int ms);

    // Between a transfer's start and end command a unit may acknowledge with
    // "OK SET" followed by words (an echo of the command, say); each such line
    // then acknowledges the command in flight once. Off for every new
    // connection.
    void setAcknowledgeSetWithWords(bool on) { m_setWithWordsAcknowledges = on; }

    // The receive path: getData() feeds it everything the socket holds; tests
    // and the fuzzer feed it bytes directly.
    void handleReceived(const QByteArray &bytes);

    QAbstractSocket::SocketState socketState() const;

    // Bytes go to this transport instead of the socket (not owned; nullptr:
    // the socket again). For tests that simulate the unit and the network.
    void setTransport(LineTransport *transport) { m_transport = transport; }
    // Queued commands not yet written: an acknowledgement cannot answer them.
    bool hasUnsentCommands() const { return !m_commandQueue.isEmpty(); }

    // Resends of the same raw block in a row before the client gives up.
    static constexpr int kMaxResends = 8;
    // An unfinished line longer than this is dropped up to its line end.
    static constexpr int kMaxPendingBytes = 64 * 1024;

    // Time-outs, single-shot and restarted at every write that expects an
    // answer. Members so that tests can shorten them.
    int m_connectTimeoutMs = 10000;
    int m_replyTimeoutMs = 15000;
    // An unfinished line that could still grow into something else (a query's
    // value) and that no byte has followed for this long is judged as it
    // stands (a unit that never ends its lines). Paid twice per update by such
    // a unit, for the name and the version.
    int m_quietTimeMs = 200;
    // A refusal of sorts after the password ("Password Failed", a new prompt)
    // may instead be the unit's answer to the wake-up, when it prompted as
    // soon as the connection opened: the verdict on the password then follows
    // within this time, or the password counts as rejected. Longer than the
    // slowest verdict seen (a slow hash on a small processor takes 3 s).
    //
    // A unit that flushes its input when it refuses a login has dropped that
    // password instead and waits at its new prompt: once the unit has been
    // silent for twice the time it took to refuse the wake-up, plus
    // kVerdictMarginMs, and at least kMinReanswerMs (all within this
    // grace), the new prompt is answered once more. Its refusal is final.
    int m_passwordGraceMs = 5000;
    static constexpr int kMinReanswerMs = 1000;
    static constexpr int kVerdictMarginMs = 250;
    // The socket mode. Qt documents only buffered TCP sockets, but its
    // unbuffered path writes straight to the system: on Linux bench_transfer
    // measures about a fifth less wall time and a quarter less CPU per update
    // on loopback (the buffered path wakes the event loop twice more per round
    // trip to switch its write notifier on and off). On Windows (measured
    // under Wine) it saved under 5 %, not worth leaving the documented mode
    // there. Both modes are tested on both systems.
#ifdef Q_OS_WIN
    bool m_unbufferedSocket = false;
#else
    bool m_unbufferedSocket = true;
#endif

signals:
    void readyRead(QString);
    void errorSig(QAbstractSocket::SocketError, QString errMessage);
    void sig_retry_times(int retry_times);

public slots:
    void loginToServer();
    void getData();
    void closeConnection();
    void slot_error(QAbstractSocket::SocketError socketError);

private slots:
    void slot_timeout();
    void slot_quietTime();

private:
    enum class Awaiting {
        Nothing,
        Connection,
        Prompt,
        Reply,
        Verdict, // the password has been written
        SecondVerdict // a refusal that may have answered the wake-up instead
    };
    enum class Login {
        Waking, // the wake-up is written, no password yet
        Answered, // the password is written; its verdict is awaited
        Doubtful, // a refusal came that may have answered the wake-up
        LoggedIn
    };

    void sendNextQueued();
    void receive(const char *bytes, int length);
    // Returns false when the rest of the received data is to be ignored.
    bool handlePrompt(int prompt);
    void answerPrompt();
    // A refusal after the password: the verdict, or the wake-up's answer.
    // byPrompt: the refusal is a new prompt, not "Password Failed".
    void passwordRefused(bool byPrompt);
    // Answers the prompt that followed a doubtful refusal, once.
    void reanswerPrompt();
    // How long a doubtful refusal waits for the password's verdict before
    // its prompt is answered again, from the unit's own refusal time.
    int reanswerWaitMs(qint64 refusalMs) const;
    void rejectPassword();
    // The unfinished line is an acknowledgement or NG that more bytes cannot
    // change for the command in flight.
    bool pendingCompleteAsItStands() const;
    // Returns false when handling of the received data must stop.
    bool handleLine(const char *data, int size, quint32 session);
    // Judges the line that no line end completed (quiet time, or the unit
    // closed the connection after it).
    void judgeUnendedLine();
    void finishBlock();
    void writeRaw(const QByteArray &block, int nameLength);
    static QString rawSubject(const QByteArray &block, int nameLength);
    QString awaitedSubject() const;
    void write(const QByteArray &bytes, const char *logAs = nullptr);
    void expect(Awaiting what, const QString &subject, int ms);
    void expectRawReply(const QByteArray &block, int nameLength, int ms);
    void fail(QAbstractSocket::SocketError code, const QString &message);
    void endSession();

    QTcpSocket m_socket;
    QString m_password;
    QStringList m_commandQueue;
    bool m_awaitingReply = false;
    QTextCodec *m_codec = nullptr;
    bool m_closed = false;
    QByteArray m_lastRaw;
    qint32 m_replyCount = 0;

    // Bytes after the last line end, judged together with the next read, or
    // alone after m_quietTimeMs.
    QByteArray m_pending;
    bool m_skippingLine = false;
    bool m_afterCr = false; // the last read ended in CR: an LF first in the next one belongs to it
    Deadline m_quietTimer;
    bool m_setWithWordsAcknowledges = false;
    // A command or raw block has been written and no acknowledgement has
    // answered it yet.
    bool m_commandInFlight = false;
    bool m_queryInFlight = false; // the command in flight is a GET
    QString m_queryKey; // its key, which its value begins with
    Login m_login = Login::Waking;
    // The prompt the password answered came before any "Password Failed": it
    // may have been sent on connect, and then the wake-up answered it.
    bool m_answeredFirstPrompt = false;
    // The last login text was "Password Failed": a prompt right after it is
    // part of the same answer.
    bool m_afterFailure = false;
    bool m_afterPromptText = false;
    qint64 m_wakeUpAt = 0; // Deadline::now() when the wake-up was written
    // Doubtful: the unit has prompted since its refusal, and whether the wait
    // for the password's verdict is over (the next prompt is answered).
    bool m_promptSinceRefusal = false;
    bool m_reanswerDue = false;
    int m_graceLeftMs = 0; // of m_passwordGraceMs after the wait to re-answer
    bool m_sawLineEnd = false; // the unit has ended a text in this connection
    LineTransport *m_transport = nullptr;
    // Raw blocks given while a queued command awaited its reply.
    QList<QPair<QByteArray, int>> m_heldRaw;
    int m_lastRawNameLength = 0;
    int m_resendsInRow = 0;
    // Counts connections: a handler that sees it change while it emits knows
    // that the connection it was working for has been closed.
    quint32 m_session = 0;
    bool m_inConnect = false;
    bool m_errorReported = false;
    static constexpr int kReadChunk = 16 * 1024;

    Deadline m_timer;
    Awaiting m_awaiting = Awaiting::Nothing;
    QString m_awaitedSubject;
    bool m_awaitedRaw = false; // a raw block awaits its reply; it names itself
    QByteArray m_awaitedBlock;
    int m_awaitedNameLength = 0;
    bool m_replySeen = false;
    int m_nextReplyTimeoutMs = 0;
};
