#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What kvx-update says about the firmware image it carries.
struct ImageInfo
{
    QString model; // the NUL-padded name at the start of the image
    QString versionText; // as the window shows it: 1.04
    QString buildText; // 0119
    qint64 size = 0;
    QString sha256; // lower-case hexadecimal

    static ImageInfo fromImage(const QByteArray &image);
    // The embedded image itself, read from the resources without building
    // the device table (which would start searching the network).
    static QByteArray embeddedImage();

    QJsonObject toJson() const;
    // One line: "VK-3F 1.04 (build0119), 579616 bytes, SHA-256 ...".
    QString summary() const;
};
