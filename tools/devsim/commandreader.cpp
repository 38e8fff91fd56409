#include "commandreader.h"

#include <QRegularExpression>

namespace {
const QByteArray kDataPrefix = QByteArrayLiteral("SET UPDATE/SYSTEM:BIN ");
}

QString describeBytes(const QByteArray &bytes, int limit)
{
    QString out;
    for (const char c : bytes) {
        if (out.size() >= limit) {
            out += QStringLiteral("...");
            break;
        }
        const uchar u = uchar(c);
        switch (u) {
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        default:
            if (u >= 0x20 && u < 0x7f)
                out += QLatin1Char(c);
            else
                out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        }
    }
    return QLatin1Char('"') + out + QLatin1Char('"');
}

bool parseHexField(const QByteArray &digits, quint32 *value)
{
    if (digits.isEmpty() || digits.size() > 16)
        return false;
    quint64 v = 0;
    for (const char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * 16 + d;
        if (v > 0xffffffffu)
            return false;
    }
    *value = quint32(v);
    return true;
}

bool CommandReader::next(DeviceFrame *frame)
{
    if (m_buffer.isEmpty())
        return false;
    if (m_mode == Commands) {
        bool isData = false;
        if (nextData(frame, &isData))
            return true;
        if (isData)
            return false; // a data command that is not complete yet
    }
    return nextLine(frame);
}

bool CommandReader::nextLine(DeviceFrame *frame)
{
    const int lf = m_buffer.indexOf('\n');
    if (lf < 0)
        return false;
    *frame = DeviceFrame();
    frame->kind = DeviceFrame::Line;
    frame->text = m_buffer.left(lf);
    if (frame->text.endsWith('\r'))
        frame->text.chop(1);
    else
        frame->violations
                << QStringLiteral("line %1 ends in LF without CR").arg(describeBytes(frame->text));
    m_buffer.remove(0, lf + 1);
    return true;
}

// Decides whether the buffer opens with a data command and, once all of it has
// arrived, takes it off. *isData tells the caller not to fall back to a line.
bool CommandReader::nextData(DeviceFrame *frame, bool *isData)
{
    *isData = false;
    const int prefixCheck = qMin(m_buffer.size(), kDataPrefix.size());
    if (m_buffer.left(prefixCheck) != kDataPrefix.left(prefixCheck))
        return false;
    *isData = true;
    if (m_buffer.size() < kDataPrefix.size())
        return false;

    // A header never holds a line end; one before "bin:" means a broken line.
    const int bin = m_buffer.indexOf("bin:", kDataPrefix.size());
    const int lf = m_buffer.indexOf('\n');
    if (bin < 0 || (lf >= 0 && lf < bin) || bin + 4 > kMaxHeader) {
        if (bin < 0 && lf < 0 && m_buffer.size() < kMaxHeader)
            return false; // the rest of the header is still on its way
        *isData = false; // no header to frame by: it can only be read as a line
        return false;
    }
    const QByteArray header = m_buffer.left(bin + 4);

    // Tolerant on purpose: a header with odd blanks or capitals can still be
    // framed, and the unit records how it differs from the exact form.
    static const QRegularExpression pattern(
            QStringLiteral("^SET UPDATE/SYSTEM:BIN +SIZE: *([0-9A-Za-z]+) +offset: *([0-9A-Za-z]+) "
                           "*bin:$"),
            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(header));
    quint32 size = 0;
    quint32 offset = 0;
    if (!match.hasMatch() || !parseHexField(match.captured(1).toLatin1(), &size)
        || !parseHexField(match.captured(2).toLatin1(), &offset) || size > kMaxFramedSize) {
        *isData = false;
        return false;
    }

    const int end = header.size() + int(size);
    if (m_buffer.size() < end + 2)
        return false;

    *frame = DeviceFrame();
    frame->kind = DeviceFrame::Data;
    frame->text = header;
    frame->payload = m_buffer.mid(header.size(), int(size));
    frame->size = size;
    frame->offset = offset;
    const QByteArray trailer = m_buffer.mid(end, 2);
    if (trailer == "\r\n") {
        m_buffer.remove(0, end + 2);
    } else {
        // Leave the bytes behind the data where they are: if the client merely
        // forgot the line end, the next command is still read correctly.
        frame->violations << QStringLiteral(
                                     "data command at offset %1 is followed by %2 instead of CR LF")
                                     .arg(QString::number(offset, 16), describeBytes(trailer));
        m_buffer.remove(0, end);
    }
    return true;
}
