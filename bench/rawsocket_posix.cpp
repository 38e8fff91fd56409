#include "rawsocket.h"

#include <arpa/inet.h>
#include <csignal>
#include <ctime>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t g_responder = 0;

double now(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

RawSocket::Handle RawSocket::connectTo(const Endpoint &to)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(to.ipv4);
    address.sin_port = htons(to.port);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return kInvalid;
    }
    return fd;
}

long RawSocket::readSome(Handle socket, char *buffer, std::size_t size)
{
    return long(::read(int(socket), buffer, size));
}

long RawSocket::writeSome(Handle socket, const char *data, std::size_t size)
{
    return long(::write(int(socket), data, size));
}

void RawSocket::close(Handle socket)
{
    ::close(int(socket));
}

double RawSocket::wallSeconds()
{
    return now(CLOCK_MONOTONIC);
}

double RawSocket::cpuSeconds()
{
    return now(CLOCK_PROCESS_CPUTIME_ID);
}

quint16 RawSocket::startResponder(void (*serve)(Handle connection))
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(listener, 4) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    g_responder = ::fork();
    if (g_responder == 0) {
        // The child: its CPU time never counts as the client's.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        for (;;) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd >= 0)
                serve(fd);
        }
    }
    ::close(listener);
    return ntohs(address.sin_port);
}

void RawSocket::stopResponder()
{
    if (g_responder <= 0)
        return;
    ::kill(g_responder, SIGTERM);
    ::waitpid(g_responder, nullptr, 0);
    g_responder = 0;
}
