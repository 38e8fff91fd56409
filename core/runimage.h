#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The firmware image as both programs name it: the model in its header,
// version and build as the window shows them, its size, and the SHA-256 of
// every byte (so that a report or a script can check it against a vendor's
// file). kvx-update prints it, and a run's record keeps it.
struct RunImage
{
    QString model; // the NUL-padded name at the start of the image
    QString version; // "1.04"
    QString build; // "0119"
    qint64 size = 0;
    QString sha256; // lower-case hexadecimal

    static RunImage fromImage(const QByteArray &image);
    // The embedded image itself, read from the resources without building
    // the device table (which would start searching the network).
    static QByteArray embeddedImage();

    QJsonObject toJson() const;
    // One line: "VK-3F 1.04 (build0119), 579616 bytes, SHA-256 ...".
    QString summary() const;
};
