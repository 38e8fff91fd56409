#pragma once

#include <QList>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

// A port on 127.0.0.1 where a connect stays pending, like a unit that does not
// answer: a listening socket that never accepts, its accept queue filled by a
// few connects of its own, so that the system drops further SYNs. The Winsock
// and the BSD socket calls differ only in types and names.
class PendingPort
{
public:
    PendingPort()
    {
#ifdef Q_OS_WIN
        WSADATA data;
        m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
#endif
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        if (m_listener == kNone)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Length length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_listener, 0) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        for (int i = 0; i < 3; ++i) {
            const Socket filler = ::socket(AF_INET, SOCK_STREAM, 0);
            setNonBlocking(filler);
            ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);
            m_fillers << filler;
        }
        m_port = ntohs(address.sin_port);
    }
    PendingPort(const PendingPort &) = delete;
    PendingPort &operator=(const PendingPort &) = delete;
    ~PendingPort()
    {
        for (Socket s : qAsConst(m_fillers))
            closeSocket(s);
        if (m_listener != kNone)
            closeSocket(m_listener);
#ifdef Q_OS_WIN
        if (m_started)
            WSACleanup();
#endif
    }

    // 0 when the socket could not be set up.
    quint16 port() const
    {
        return m_port;
    }

private:
#ifdef Q_OS_WIN
    using Socket = SOCKET;
    using Length = int;
    static constexpr Socket kNone = INVALID_SOCKET;
    static void setNonBlocking(Socket s)
    {
        u_long on = 1;
        ioctlsocket(s, FIONBIO, &on);
    }
    static void closeSocket(Socket s)
    {
        ::closesocket(s);
    }
    bool m_started = false;
#else
    using Socket = int;
    using Length = socklen_t;
    static constexpr Socket kNone = -1;
    static void setNonBlocking(Socket s)
    {
        ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    }
    static void closeSocket(Socket s)
    {
        ::close(s);
    }
#endif

    Socket m_listener = kNone;
    QList<Socket> m_fillers;
    quint16 m_port = 0;
};
