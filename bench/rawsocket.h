#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// What bench_transfer needs of the system beneath Qt: blocking TCP sockets,
// the clocks, and a responder that runs apart from the client it answers. One
// implementation per platform (rawsocket_posix.cpp, rawsocket_win.cpp).
namespace RawSocket {

using Handle = std::intptr_t; // a file descriptor, or a Winsock SOCKET
constexpr Handle kInvalid = -1;

struct Endpoint
{
    quint32 ipv4 = 0; // host byte order
    quint16 port = 0;
};

// A blocking connection; kInvalid when it fails.
Handle connectTo(const Endpoint &to);
// Bytes read (0 at the end, negative on an error), as read(2).
long readSome(Handle socket, char *buffer, std::size_t size);
long writeSome(Handle socket, const char *data, std::size_t size);
void close(Handle socket);

// Wall time, and the processor time of the client: on POSIX the process's
// (the responder is a process of its own), on Windows the calling thread's
// (the responder is another thread).
double wallSeconds();
double cpuSeconds();

// A unit on 127.0.0.1 that answers every connection with `serve`, one after
// the other, until the program ends. Started before Qt, so that on POSIX it is
// a plain forked process. Returns the port, 0 when it could not listen.
quint16 startResponder(void (*serve)(Handle connection));
void stopResponder();

} // namespace RawSocket
