#pragma once

#include "common/fakedevice.h"

#include <QByteArray>

// Script pieces for a FakeDevice that plays a unit being updated. The bytes
// are spelled out here, independently of the client's own builders, so that
// a test compares the client's wire output with what the unit expects.
namespace UnitScript {

inline QByteArray hex(qint64 value)
{
    return QByteArray::number(value, 16);
}

// Wake-up, password prompt (no line end) and the password written.
inline FakeDevice &password(FakeDevice &fake, const QByteArray &password = "s3cret")
{
    return fake.expect("\r\n").send("Enter Password:").expect(password + "\r\n");
}

// The verdict on the password, then the name and version queries; the unit
// ends each of its lines with `end`.
inline FakeDevice &queries(FakeDevice &fake, const QByteArray &name = "\"KVX-Stage\"",
                           const QByteArray &version = "V1.04B0119", const QByteArray &end = "\r\n")
{
    return fake.send("Login Successful" + end)
            .expect("GET DEVICE/NAME\r\n")
            .send("OK GET DEVICE/NAME:" + name + end)
            .expect("GET DEVICE/VER/SYSTEM\r\n")
            .send("OK GET DEVICE/VER/SYSTEM:" + version + end);
}

// Wake-up, password prompt (no line end), login, name and version queries.
inline FakeDevice &login(FakeDevice &fake, const QByteArray &pw = "s3cret",
                         const QByteArray &name = "\"KVX-Stage\"",
                         const QByteArray &version = "V1.04B0119", const QByteArray &end = "\r\n")
{
    return queries(password(fake, pw), name, version, end);
}

inline QByteArray startCommand(qint64 size)
{
    return "SET UPDATE/SYSTEM:STA SIZE:" + hex(size) + "\r\n";
}

inline QByteArray dataCommand(const QByteArray &image, int offset, int size)
{
    return "SET UPDATE/SYSTEM:BIN SIZE:" + hex(size) + " offset:" + hex(offset)
            + " bin:" + image.mid(offset, size) + "\r\n";
}

inline QByteArray endCommand()
{
    return "SET UPDATE/SYSTEM:END\r\n";
}

// Start, every data command acknowledged with OK SET, end command; the final
// acknowledgement is left to the caller.
inline FakeDevice &transfer(FakeDevice &fake, const QByteArray &image)
{
    fake.expect(startCommand(image.size())).send("OK SET\r\n");
    for (int offset = 0; offset < image.size(); offset += 512) {
        fake.expect(dataCommand(image, offset, qMin(512, image.size() - offset)));
        fake.send("OK SET\r\n");
    }
    return fake.expect(endCommand());
}

// Deterministic bytes in which CR, LF and NUL occur often.
inline QByteArray testImage(int size, quint32 seed = 1)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        const quint32 r = x >> 24;
        bytes[i] = r < 16 ? '\r' : r < 32 ? '\n' : r < 48 ? '\0' : char(r);
    }
    return bytes;
}

} // namespace UnitScript
