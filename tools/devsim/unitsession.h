#pragma once

#include "commandcheck.h"
#include "commandreader.h"
#include "simconfig.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class QTcpSocket;
class UnitServer;

// One TCP connection to a simulated unit: wake-up, password prompt, login, the
// two queries and the firmware transfer, with the unit's faults applied.
class UnitSession : public QObject
{
    Q_OBJECT

public:
    // Takes over the socket. `faulty` is false for connections that the unit's
    // faults are configured to spare.
    UnitSession(QTcpSocket *socket, UnitServer *unit, bool faulty);

    // The client has closed its end, whether or not this session has read
    // that yet: the kernel is asked directly.
    bool peerClosed() const;
    // Closes the connection (FIN) without answering anything more.
    void closeNow();
    // Closes it once the replies already queued have been written.
    void closeWhenWritten();

private:
    enum State { AwaitWake, AwaitPassword, LoggedIn, Silent, Closing };

    struct Pending
    {
        QByteArray bytes;
        int delayMs = 0;
        std::function<void()> written;
    };

    void slot_readyRead();
    void slot_disconnected();

    void handleLogin(const DeviceFrame &frame);
    void handleCommand(const DeviceFrame &frame);
    void handleStart(const DeviceCommand &command);
    void handleData(const DeviceCommand &command, const DeviceFrame &frame);
    void handleEnd();

    void reply(const QByteArray &bytes, int delayMs = 0, std::function<void()> written = {});
    // A reply line with the unit's line end.
    void replyLine(const QByteArray &text, int delayMs = 0, std::function<void()> written = {});
    QByteArray lineEnd() const;
    // "Enter Password:", with the unit's NUL where its texts end in one.
    void prompt(int delayMs = 0);
    // "OK SET", or with ackWords "OK SET " + words, for the start and data
    // commands.
    void replyOkSet(int delayMs = 0, std::function<void()> written = {},
                    const QByteArray &words = QByteArray());
    void replyNg();
    // Drops the client's input until the replies queued so far (and delayMs
    // more) have been written.
    void dropInputUntilWritten(int delayMs);
    void pump();
    void violation(const QString &text);

    QTcpSocket *m_socket;
    UnitServer *m_unit;
    const UnitConfig &m_config;
    const UnitBehaviour &m_behaviour;
    const UnitFaults m_faults;
    CommandReader m_reader;
    State m_state = AwaitWake;

    QList<Pending> m_out;
    QTimer m_outTimer;
    bool m_closeWhenWritten = false;
    bool m_droppingInput = false;

    int m_replyDelayMs = 0; // still to be added to the reply to the current command
    int m_ngDataCount = 0; // NG answers given so far to the faulty block
    qint64 m_ngOffset = -1; // offset of the data command last answered NG, -1 if none
    QByteArray m_ngBlock; // that command's header and payload, to check the resend
};
