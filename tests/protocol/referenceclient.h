#pragma once

#include "simunit.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The plainest client a unit can meet, as a test oracle: every read is one
// block, cut at its first NUL and judged by itself; a block that begins with
// a prompt is answered with the password, however often it comes; a block
// that begins with "Login Successful" starts the two queries; every other
// block is split into lines and judged by its first word. The transfer on top
// takes any text as the acknowledgement of a data command and the empty text
// of a two-word OK as that of the end command. It never times out: a unit
// that stops answering leaves it waiting.
class ReferenceClient : public Sim::ClientEnd
{
public:
    ReferenceClient(Sim::Unit &unit, const QByteArray &image, const QByteArray &password);

    void start() { m_unit.connect(); }

    void connected() override;
    void received(const QByteArray &bytes) override;
    void closedByUnit() override;

    bool completed = false;
    QStringList errors; // "ERROR: " texts
    int passwordsWritten = 0;

private:
    void write(const QByteArray &bytes);
    void queue(const QByteArray &line, bool deferred);
    void sendNextQueued();
    void text(const QString &word); // what the transfer gets
    void retry(int count);
    void sendData();

    Sim::Unit &m_unit;
    QByteArray m_image;
    QByteArray m_password;
    QByteArrayList m_queue;
    bool m_awaitingReply = false;
    QByteArray m_lastRaw;
    int m_replyCount = 0;
    int m_runState = 0;
    int m_sent = 0;
};
