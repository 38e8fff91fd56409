#include "rawsocket.h"

#include <thread>

#include <winsock2.h>

namespace {

SOCKET g_listener = INVALID_SOCKET;
std::thread g_responder;

double seconds(const FILETIME &time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return double(value.QuadPart) / 1e7; // 100 ns units
}

bool started()
{
    static const bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

} // namespace

RawSocket::Handle RawSocket::connectTo(const Endpoint &to)
{
    if (!started())
        return kInvalid;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(to.ipv4);
    address.sin_port = htons(to.port);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return kInvalid;
    if (::connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::closesocket(s);
        return kInvalid;
    }
    return Handle(s);
}

long RawSocket::readSome(Handle socket, char *buffer, std::size_t size)
{
    return ::recv(SOCKET(socket), buffer, int(size), 0);
}

long RawSocket::writeSome(Handle socket, const char *data, std::size_t size)
{
    return ::send(SOCKET(socket), data, int(size), 0);
}

void RawSocket::close(Handle socket)
{
    ::closesocket(SOCKET(socket));
}

double RawSocket::wallSeconds()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) / double(frequency.QuadPart);
}

double RawSocket::cpuSeconds()
{
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user))
        return 0;
    return seconds(kernel) + seconds(user);
}

quint16 RawSocket::startResponder(void (*serve)(Handle connection))
{
    if (!started())
        return 0;
    g_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (g_listener == INVALID_SOCKET
        || ::bind(g_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(g_listener, 4) != 0
        || ::getsockname(g_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    // No fork on Windows: a thread, whose processor time cpuSeconds() leaves out.
    g_responder = std::thread([serve] {
        for (;;) {
            const SOCKET s = ::accept(g_listener, nullptr, nullptr);
            if (s == INVALID_SOCKET)
                return; // the listener was closed
            serve(Handle(s));
        }
    });
    return ntohs(address.sin_port);
}

void RawSocket::stopResponder()
{
    if (g_listener == INVALID_SOCKET)
        return;
    ::closesocket(g_listener);
    g_listener = INVALID_SOCKET;
    if (g_responder.joinable())
        g_responder.join();
}
