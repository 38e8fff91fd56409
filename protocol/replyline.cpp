#include "protocol/replyline.h"

#include <cstring>

namespace ReplyLine {

QString commandLine(const QString &verb, const QString &text)
{
    QString body = text;
    if (body.isEmpty() || body.at(0) != QLatin1Char(' '))
        body.prepend(QLatin1Char(' '));
    // An empty text became " " above and loses that blank again here.
    if (body.endsWith(QLatin1Char(' ')))
        body.chop(1);
    return verb + body + QLatin1String("\r\n");
}

static bool startsWith(const char *data, int size, const char *prefix)
{
    const int n = int(std::strlen(prefix));
    return size >= n && std::memcmp(data, prefix, size_t(n)) == 0;
}

Prompt loginPrompt(const char *data, int size)
{
    if (startsWith(data, size, "Entry Password") || startsWith(data, size, "Enter Password"))
        return Prompt::Password;
    if (startsWith(data, size, "Login Successful"))
        return Prompt::LoginSuccessful;
    if (startsWith(data, size, "Password Failed"))
        return Prompt::PasswordFailed;
    return Prompt::None;
}

static const char *const kPrompts[] = { "Entry Password", "Enter Password", "Login Successful",
                                        "Password Failed" };

int promptLength(Prompt prompt)
{
    switch (prompt) {
    case Prompt::None:
        return 0;
    case Prompt::Password:
        return 14; // "Enter Password", "Entry Password"
    case Prompt::LoginSuccessful:
        return 16;
    case Prompt::PasswordFailed:
        return 15;
    }
    return 0;
}

bool couldBecomePrompt(const char *data, int size)
{
    if (size <= 0)
        return false;
    for (const char *prompt : kPrompts) {
        const int n = int(std::strlen(prompt));
        if (size < n && std::memcmp(data, prompt, size_t(size)) == 0)
            return true;
    }
    return false;
}

bool couldBecomeReply(const char *data, int size)
{
    int start = 0;
    while (start < size && data[start] == ' ')
        ++start;
    int end = start;
    while (end < size && data[end] != ' ')
        ++end;
    const int length = end - start;
    if (length == 0)
        return true;
    for (int i = start; i < end; ++i) {
        if (uchar(data[i]) >= 0x80)
            return true; // letters beyond ASCII may fold to those of the words
    }
    const bool whole = end < size; // a blank follows the word
    for (const char *word : { "OK", "NG", "NOTIFY" }) {
        const int n = int(std::strlen(word));
        if ((whole ? length == n : length <= n) && qstrnicmp(data + start, word, uint(length)) == 0)
            return true;
    }
    return false;
}

int lineEnd(const char *data, int size)
{
    for (int i = 0; i < size; ++i) {
        if (data[i] == '\n' || data[i] == '\r' || data[i] == '\0')
            return i;
    }
    return -1;
}

bool acknowledges(const Reply &reply, bool setWithWords)
{
    return reply.kind == Reply::Acknowledged
            || (setWithWords && reply.kind == Reply::Values && reply.set);
}

static bool isWord(const QString &word, QLatin1String expected)
{
    return word.compare(expected, Qt::CaseInsensitive) == 0;
}

static bool isAsciiWord(const char *word, int length, const char *expected)
{
    return int(std::strlen(expected)) == length && qstrnicmp(word, expected, uint(length)) == 0;
}

// The common case, a plain ASCII line with at most trailing CRs, judged
// without building strings for anything but the words passed on. Gives the
// same verdict as the general path below (ASCII letters fold only to ASCII).
static bool judgeAscii(const char *data, int size, Reply &reply)
{
    while (size > 0 && data[size - 1] == '\r')
        --size;
    for (int i = 0; i < size; ++i) {
        if (data[i] == '\r' || uchar(data[i]) >= 0x80)
            return false;
    }
    struct Span
    {
        int start;
        int length;
    };
    Span spans[3];
    int count = 0;
    int i = 0;
    while (i < size && count < 3) {
        while (i < size && data[i] == ' ')
            ++i;
        if (i == size)
            break;
        const int start = i;
        while (i < size && data[i] != ' ')
            ++i;
        spans[count++] = Span{ start, i - start };
    }
    if (count == 0)
        return true;

    auto wordsFrom = [&](int index) {
        QStringList words;
        int at = spans[index].start;
        while (at < size) {
            while (at < size && data[at] == ' ')
                ++at;
            if (at == size)
                break;
            const int start = at;
            while (at < size && data[at] != ' ')
                ++at;
            words << QString::fromLatin1(data + start, at - start);
        }
        return words;
    };

    const char *first = data + spans[0].start;
    if (isAsciiWord(first, spans[0].length, "OK")) {
        const bool set = count >= 2 && isAsciiWord(data + spans[1].start, spans[1].length, "SET");
        const bool command =
                set || (count >= 2 && isAsciiWord(data + spans[1].start, spans[1].length, "GET"));
        reply.set = set;
        if (!command) {
            reply.kind = Reply::OtherOk;
        } else if (count == 2) {
            reply.kind = Reply::Acknowledged;
        } else {
            reply.kind = Reply::Values;
            reply.words = wordsFrom(2);
        }
    } else if (isAsciiWord(first, spans[0].length, "NOTIFY")) {
        if (count >= 2) {
            reply.kind = Reply::Notify;
            reply.words = wordsFrom(1);
        }
    } else if (isAsciiWord(first, spans[0].length, "NG")) {
        reply.kind = Reply::NotGood;
    }
    return true;
}

Reply judgeLine(const char *data, int size)
{
    Reply reply;
    const char *nul = static_cast<const char *>(std::memchr(data, '\0', size_t(size)));
    if (nul)
        size = int(nul - data);
    if (judgeAscii(data, size, reply))
        return reply;

    QByteArray bytes;
    bytes.reserve(size);
    for (int i = 0; i < size; ++i) {
        if (data[i] != '\r')
            bytes.append(data[i]);
    }
    if (bytes.isEmpty())
        return reply;

    const QStringList words = QString::fromUtf8(bytes).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return reply;

    const QString &first = words.at(0);
    if (isWord(first, QLatin1String("OK"))) {
        const bool set = words.size() >= 2 && isWord(words.at(1), QLatin1String("SET"));
        const bool command =
                set || (words.size() >= 2 && isWord(words.at(1), QLatin1String("GET")));
        reply.set = set;
        if (!command) {
            reply.kind = Reply::OtherOk;
        } else if (words.size() == 2) {
            reply.kind = Reply::Acknowledged;
        } else {
            reply.kind = Reply::Values;
            reply.words = words.mid(2);
        }
    } else if (isWord(first, QLatin1String("NOTIFY"))) {
        if (words.size() >= 2) {
            reply.kind = Reply::Notify;
            reply.words = words.mid(1);
        }
    } else if (isWord(first, QLatin1String("NG"))) {
        reply.kind = Reply::NotGood;
    }
    return reply;
}

QString formatDuration(int ms)
{
    if (ms >= 60000 && ms % 60000 == 0)
        return QString::number(ms / 60000) + QLatin1String(" min");
    if (ms >= 1000 && ms % 1000 == 0)
        return QString::number(ms / 1000) + QLatin1String(" s");
    return QString::number(ms) + QLatin1String(" ms");
}

} // namespace ReplyLine
