#pragma once

// A deliberately plain client of the unit's line protocol, written from the wire
// format alone (no updater classes): the simulator is checked against it, and
// the benchmark times it.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QVector>

class RawClient
{
public:
    static constexpr quint16 kPort = 54726;
    static constexpr int kBlock = 512;

    bool connectTo(const QString &address, int timeoutMs = 5000)
    {
        m_socket.connectToHost(QHostAddress(address), kPort);
        if (!m_socket.waitForConnected(timeoutMs))
            return fail(QStringLiteral("connect: ") + m_socket.errorString());
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }

    QAbstractSocket::SocketError connectError(const QString &address, int timeoutMs = 5000)
    {
        m_socket.connectToHost(QHostAddress(address), kPort);
        m_socket.waitForConnected(timeoutMs);
        return m_socket.error();
    }

    void write(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }

    // Reads until the buffer holds `count` bytes (or the time is up); takes them.
    QByteArray readBytes(int count, int timeoutMs = 5000)
    {
        fill([&] { return m_buffer.size() >= count; }, timeoutMs);
        const QByteArray out = m_buffer.left(count);
        m_buffer.remove(0, out.size());
        return out;
    }

    // Reads one line up to and including LF; empty when none came in time.
    QByteArray readLine(int timeoutMs = 5000)
    {
        fill([&] { return m_buffer.contains('\n'); }, timeoutMs);
        const int lf = m_buffer.indexOf('\n');
        if (lf < 0)
            return QByteArray();
        const QByteArray line = m_buffer.left(lf + 1);
        m_buffer.remove(0, lf + 1);
        return line;
    }

    // Everything that arrives within the time (for checking that nothing does).
    QByteArray readFor(int ms)
    {
        fill([] { return false; }, ms);
        const QByteArray out = m_buffer;
        m_buffer.clear();
        return out;
    }

    // True once the unit has closed the connection (within the time).
    bool waitClosed(int timeoutMs = 5000)
    {
        fill([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    }

    // Wake-up, prompt, password; true on "Login Successful".
    bool login(const QByteArray &password)
    {
        write("\r\n");
        const QByteArray prompt = readBytes(15);
        if (prompt != "Enter Password:")
            return fail(QStringLiteral("prompt: ") + QString::fromLatin1(prompt));
        write(password + "\r\n");
        const QByteArray answer = readLine();
        if (answer != "Login Successful\r\n")
            return fail(QStringLiteral("login: ") + QString::fromLatin1(answer));
        return true;
    }

    static QByteArray dataCommand(const QByteArray &image, int offset)
    {
        const int n = qMin(kBlock, image.size() - offset);
        return "SET UPDATE/SYSTEM:BIN SIZE:" + QByteArray::number(n, 16) + " offset:"
                + QByteArray::number(offset, 16) + " bin:" + image.mid(offset, n) + "\r\n";
    }

    // Start, every data command stop-and-wait, end; true when each was answered
    // "OK SET". Resends a block answered NG, as the updater does.
    bool transfer(const QByteArray &image, int timeoutMs = 10000)
    {
        write("SET UPDATE/SYSTEM:STA SIZE:" + QByteArray::number(image.size(), 16) + "\r\n");
        QByteArray reply = readLine(timeoutMs);
        if (reply != "OK SET\r\n")
            return fail(QStringLiteral("start: ") + QString::fromLatin1(reply));
        for (int offset = 0; offset < image.size();) {
            write(dataCommand(image, offset));
            reply = readLine(timeoutMs);
            if (reply == "NG\r\n") {
                ++m_resends;
                continue;
            }
            if (reply != "OK SET\r\n")
                return fail(QStringLiteral("data at %1: %2")
                                    .arg(offset)
                                    .arg(QString::fromLatin1(reply)));
            offset += kBlock;
        }
        write("SET UPDATE/SYSTEM:END\r\n");
        reply = readLine(timeoutMs);
        if (reply != "OK SET\r\n")
            return fail(QStringLiteral("end: ") + QString::fromLatin1(reply));
        return true;
    }

    QTcpSocket &socket() { return m_socket; }
    // Sizes of the reads that brought data, in order (how replies were cut).
    const QVector<int> &reads() const { return m_reads; }
    int resends() const { return m_resends; }
    QString error() const { return m_error; }

private:
    template<typename Done>
    void fill(Done done, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            const int left = timeoutMs - int(clock.elapsed());
            if (left <= 0)
                break;
            if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(left))
                break;
            const QByteArray chunk = m_socket.readAll();
            if (!chunk.isEmpty()) {
                m_reads << chunk.size();
                m_buffer += chunk;
            }
        }
    }

    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QVector<int> m_reads;
    QString m_error;
    int m_resends = 0;
};
