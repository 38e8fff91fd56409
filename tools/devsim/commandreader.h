#pragma once

#include <QByteArray>
#include <QStringList>

// One complete piece of client input, cut from the byte stream by length rather
// than by looking for line ends: a data command carries raw image bytes, CR, LF
// and NUL included.
struct DeviceFrame
{
    enum Kind {
        Line, // text up to LF; `text` holds it without CR LF
        Data, // a data command: `text` is its header up to and including "bin:", `payload` the
              // bytes
    };
    Kind kind = Line;
    QByteArray text;
    QByteArray payload;
    quint32 size = 0; // data commands: the size field as read (any case, leading zeros allowed)
    quint32 offset = 0; // data commands: the offset field as read
    QStringList violations; // framing faults: missing CR, missing CR LF behind the data
};

// Buffers what the client writes and hands out complete frames. Before login the
// unit reads plain lines (wake-up, password); after login a line that opens with
// the data command's verb and key is framed by the size it announces.
class CommandReader
{
public:
    enum Mode { Lines, Commands };

    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }
    void append(const QByteArray &bytes) { m_buffer += bytes; }
    int buffered() const { return m_buffer.size(); }
    void clear() { m_buffer.clear(); }

    // Takes the next complete frame off the buffer; false while one is incomplete.
    bool next(DeviceFrame *frame);

    // Longest header the reader waits for before it gives up on a data command.
    static constexpr int kMaxHeader = 96;
    // Largest size field it frames by; a larger one is treated as a broken line.
    static constexpr quint32 kMaxFramedSize = 0x100000;

private:
    bool nextLine(DeviceFrame *frame);
    bool nextData(DeviceFrame *frame, bool *isData);

    QByteArray m_buffer;
    Mode m_mode = Lines;
};

// Renders client bytes for a violation text: printable ASCII as is, the rest as
// C escapes, cut at `limit` characters.
QString describeBytes(const QByteArray &bytes, int limit = 80);

// Reads hexadecimal digits in either case; false for an empty text, any other
// character, or a value beyond 32 bits.
bool parseHexField(const QByteArray &digits, quint32 *value);
