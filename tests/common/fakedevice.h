#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVector>

// A unit on 127.0.0.1 (port chosen by the system) that plays a short script:
// bytes the client must write next, bytes the unit answers, pauses, and the
// unit closing the connection. Every test ends with
//     QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
// which fails when a step was not reached, the client wrote something else,
// or it wrote more than the script expects, or it wrote before the unit's
// next message (what a stop-and-wait client must never do).
//
// The script plays the client's connections in the order they were opened,
// moving on to the next one once the current one is closed, so one script can
// span several runs. Nothing here needs moc: the server is the context object of
// every connection.
class FakeDevice
{
public:
    FakeDevice()
    {
        m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    }
    FakeDevice(const FakeDevice &) = delete;
    FakeDevice &operator=(const FakeDevice &) = delete;
    ~FakeDevice()
    {
        m_server.disconnect();
        for (QTcpSocket *socket : qAsConst(m_connections))
            if (socket)
                socket->disconnect();
    }

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString hostText() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

    // The client must write exactly these bytes next.
    FakeDevice &expect(const QByteArray &bytes) { return add(Expect, bytes); }
    // The unit writes these bytes (flushed at once, so a pause after them
    // makes the client read them apart from what follows).
    FakeDevice &send(const QByteArray &bytes) { return add(Send, bytes); }
    FakeDevice &pause(int ms) { return add(Pause, QByteArray(), ms); }
    // The unit closes the connection.
    FakeDevice &closeConnection() { return add(Close, QByteArray()); }
    // The client closes (or aborts) the connection.
    FakeDevice &expectClosed() { return add(ExpectClosed, QByteArray()); }

    bool scriptDone() const
    {
        return m_failure.isEmpty() && m_step == m_steps.size() && m_inbox.isEmpty();
    }
    QString report() const
    {
        QString text = QStringLiteral("script at step %1 of %2").arg(m_step).arg(m_steps.size());
        if (m_step < m_steps.size())
            text += QStringLiteral(" (%1)").arg(describe(m_steps.at(m_step)));
        if (!m_failure.isEmpty())
            text += QStringLiteral("; ") + m_failure;
        if (!m_inbox.isEmpty())
            text += QStringLiteral("; unexpected bytes from the client: ") + printable(m_inbox);
        return text;
    }

    int connectionCount() const { return m_connections.size(); }
    // Everything the client wrote, over all connections.
    QByteArray received() const { return m_received; }
    // The connection the script runs on has been closed.
    bool clientClosed() const { return m_clientClosed; }

    static QString printable(const QByteArray &bytes, int limit = 200)
    {
        QString text;
        for (int i = 0; i < bytes.size() && i < limit; ++i) {
            const uchar c = uchar(bytes.at(i));
            if (c == '\r')
                text += QStringLiteral("\\r");
            else if (c == '\n')
                text += QStringLiteral("\\n");
            else if (c < 0x20 || c >= 0x7f)
                text += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
            else
                text += QLatin1Char(char(c));
        }
        if (bytes.size() > limit)
            text += QStringLiteral("... (%1 bytes)").arg(bytes.size());
        return QLatin1Char('"') + text + QLatin1Char('"');
    }

private:
    enum Kind { Expect, Send, Pause, Close, ExpectClosed };
    struct Step
    {
        Kind kind;
        QByteArray bytes;
        int ms;
    };

    FakeDevice &add(Kind kind, const QByteArray &bytes, int ms = 0)
    {
        m_steps.append(Step{ kind, bytes, ms });
        // A script extended while idle continues from the event loop.
        if (!m_advanceScheduled) {
            m_advanceScheduled = true;
            QTimer::singleShot(0, &m_server, [this] {
                m_advanceScheduled = false;
                advance();
            });
        }
        return *this;
    }

    static QString describe(const Step &step)
    {
        switch (step.kind) {
        case Expect:
            return QStringLiteral("expect ") + printable(step.bytes);
        case Send:
            return QStringLiteral("send ") + printable(step.bytes);
        case Pause:
            return QStringLiteral("pause %1 ms").arg(step.ms);
        case Close:
            return QStringLiteral("close");
        case ExpectClosed:
            return QStringLiteral("expect the client to close");
        }
        return QString();
    }

    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            const int index = m_connections.size();
            m_connections.append(socket);
            m_early.append(QByteArray());
            m_closed.append(false);
            QObject::connect(socket, &QTcpSocket::readyRead, &m_server, [this, socket, index] {
                const QByteArray bytes = socket->readAll();
                m_received += bytes;
                if (index == m_current)
                    m_inbox += bytes;
                else
                    m_early[index] += bytes;
                advance();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, &m_server, [this, index] {
                m_closed[index] = true;
                if (index == m_current)
                    m_clientClosed = true;
                advance();
            });
        }
        advance();
    }

    // The script moves on to the next connection once the current one has
    // been closed by the client (a later run of the same client).
    void nextConnectionIfClosed()
    {
        if ((m_current < 0 || m_clientClosed) && m_current + 1 < m_connections.size()) {
            ++m_current;
            m_inbox += m_early[m_current];
            m_early[m_current].clear();
            m_clientClosed = m_closed[m_current];
        }
    }

    QTcpSocket *socket() const
    {
        return m_current >= 0 ? m_connections.at(m_current).data() : nullptr;
    }

    void advance()
    {
        // Writing or closing can report back synchronously; the outer call
        // then goes on.
        if (m_advancing) {
            m_advanceAgain = true;
            return;
        }
        m_advancing = true;
        do {
            m_advanceAgain = false;
            playSteps();
        } while (m_advanceAgain);
        m_advancing = false;
    }

    void playSteps()
    {
        while (m_failure.isEmpty() && !m_paused && m_step < m_steps.size()) {
            const Step &step = m_steps.at(m_step);
            if (step.kind != ExpectClosed)
                nextConnectionIfClosed();
            switch (step.kind) {
            case Expect: {
                const int n = qMin(m_inbox.size(), step.bytes.size());
                if (m_inbox.left(n) != step.bytes.left(n)) {
                    m_failure = QStringLiteral("the client wrote ") + printable(m_inbox)
                            + QStringLiteral(" instead of ") + printable(step.bytes);
                    return;
                }
                if (n < step.bytes.size())
                    return;
                m_inbox.remove(0, n);
                break;
            }
            case Send:
                if (!clientWaited())
                    return;
                if (!socket() || socket()->state() != QAbstractSocket::ConnectedState)
                    return;
                socket()->write(step.bytes);
                socket()->flush();
                break;
            case Pause:
                m_paused = true;
                ++m_step;
                QTimer::singleShot(step.ms, &m_server, [this] {
                    m_paused = false;
                    advance();
                });
                return;
            case Close:
                if (!clientWaited())
                    return;
                if (!socket())
                    return;
                socket()->disconnectFromHost();
                break;
            case ExpectClosed:
                if (m_current < 0 || !m_clientClosed)
                    return;
                break;
            }
            ++m_step;
        }
    }

    // Before the unit speaks, the client must have written nothing beyond what
    // the script expected so far: a stop-and-wait client never runs ahead.
    bool clientWaited()
    {
        if (m_inbox.isEmpty())
            return true;
        m_failure = QStringLiteral("the client wrote ") + printable(m_inbox)
                + QStringLiteral(" before the unit's next message");
        return false;
    }

    QTcpServer m_server;
    QVector<QPointer<QTcpSocket>> m_connections;
    QVector<QByteArray> m_early; // bytes of connections the script has not reached
    QVector<bool> m_closed;
    int m_current = -1;
    bool m_advancing = false;
    bool m_advanceAgain = false;
    QVector<Step> m_steps;
    int m_step = 0;
    bool m_paused = false;
    bool m_advanceScheduled = false;
    bool m_clientClosed = false;
    QByteArray m_inbox;
    QByteArray m_received;
    QString m_failure;
};
