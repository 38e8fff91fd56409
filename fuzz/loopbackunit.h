#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QtGlobal>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// The unit's end of a real TCP connection on 127.0.0.1, in plain sockets so
// that it needs no event loop: the harness reads from it exactly what the
// client under test wrote. The harnesses run in a network namespace of their
// own (fuzz/run.sh), and nothing here ever leaves loopback.
//
// Each input gets a fresh connection, and the harness resets it (RST instead
// of FIN) before the client goes, so that no TIME_WAIT state piles up over
// millions of inputs.
class LoopbackUnit
{
public:
    ~LoopbackUnit()
    {
        reset();
        if (m_listener >= 0)
            ::close(m_listener);
    }

    bool listen()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listener < 0)
            return false;
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listener, 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return false;
        m_port = ntohs(address.sin_port);
        return true;
    }

    quint16 port() const { return m_port; }

    // The client's connection, which the kernel has completed by the time the
    // client's socket reports itself connected.
    bool accept()
    {
        pollfd p = { m_listener, POLLIN, 0 };
        if (::poll(&p, 1, 5000) != 1)
            return false;
        m_peer = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        return m_peer >= 0;
    }

    // Everything the client has written since the last call. Qt writes from
    // the event loop, so the harness lets it run first.
    QByteArray drain()
    {
        QByteArray out;
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
            char buffer[65536];
            for (;;) {
                const ssize_t n = m_peer < 0 ? -1 : ::recv(m_peer, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                out.append(buffer, int(n));
            }
        }
        return out;
    }

    void reset()
    {
        if (m_peer < 0)
            return;
        const linger abortive = { 1, 0 };
        ::setsockopt(m_peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(m_peer);
        m_peer = -1;
    }

private:
    int m_listener = -1;
    int m_peer = -1;
    quint16 m_port = 0;
};
