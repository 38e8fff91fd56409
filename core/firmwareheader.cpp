#include "core/firmwareheader.h"

namespace {

// Bytes beyond the end of a short image count as zero.
quint8 byteAt(const QByteArray &image, int offset)
{
    return offset < image.size() ? static_cast<quint8>(image.at(offset)) : 0;
}

} // namespace

FirmwareHeader FirmwareHeader::fromImage(const QByteArray &image)
{
    FirmwareHeader header;
    if (image.startsWith("ZP-9E"))
        header.isZp9e = true;
    else if (image.startsWith("VK-3F"))
        header.isVk3f = true;

    // The name is ASCII; Latin-1 keeps any other byte a character of its own.
    const QByteArray field = image.left(8);
    const int nul = field.indexOf('\0');
    header.model = QString::fromLatin1(nul >= 0 ? field.left(nul) : field);

    header.version = static_cast<quint16>(byteAt(image, 9) * 256 + byteAt(image, 8));
    header.build = static_cast<quint16>(byteAt(image, 11) * 256 + byteAt(image, 10));
    header.versionText = formatVersion(header.version);
    header.buildText = formatBuild(header.build);
    return header;
}

QString FirmwareHeader::formatVersion(quint16 version)
{
    QString text = QString::number(version);
    if (text.size() >= 2)
        text.insert(text.size() - 2, QLatin1Char('.'));
    return text;
}

QString FirmwareHeader::formatBuild(quint16 build)
{
    return QStringLiteral("%1").arg(build, 4, 10, QLatin1Char('0'));
}
