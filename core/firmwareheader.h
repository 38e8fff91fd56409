#pragma once

#include <QByteArray>
#include <QString>

// What the window shows of the embedded image, decoded from its first twelve
// bytes: an 8-byte NUL-padded model name, then version and build as 16-bit
// little-endian numbers. A pure function of the bytes, so every odd image
// (empty, truncated, foreign model) can be checked without resources.
struct FirmwareHeader
{
    bool isZp9e = false;
    bool isVk3f = false;
    QString model; // the name up to its first NUL: "VK-3F"
    quint16 version = 0;
    quint16 build = 0;
    QString versionText; // 104 -> "1.04", 12 -> ".12", 5 -> "5"
    QString buildText; // 119 -> "0119", 65535 -> "65535"

    static FirmwareHeader fromImage(const QByteArray &image);
    static QString formatVersion(quint16 version);
    static QString formatBuild(quint16 build);
};
