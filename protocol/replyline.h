#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The line rules of a unit's command protocol, as pure functions: what the
// client writes for a queued command, how it recognises the login prompts, and
// how it judges one reply line. MixerProtocol applies them to the socket; tests
// and the fuzzer drive them without one.
namespace ReplyLine {

// "GET"/"SET" line for a command text: exactly one blank between verb and text
// (added when missing, never doubled), one trailing blank removed, then CR LF.
// An empty text gives the verb alone.
QString commandLine(const QString &verb, const QString &text);

// The login prompts carry no line end, so they are looked for at the start of
// the data that has not been judged yet, case-sensitively.
enum class Prompt { None, Password, LoginSuccessful, PasswordFailed };
Prompt loginPrompt(const char *data, int size);
inline Prompt loginPrompt(const QByteArray &data)
{
    return loginPrompt(data.constData(), data.size());
}

struct Reply
{
    enum Kind {
        Ignored, // empty, or a first word other than OK, NOTIFY, NG
        Acknowledged, // OK GET / OK SET and nothing else: the command is done
        Values, // OK GET / OK SET followed by value words
        OtherOk, // OK with any other (or no) second word
        Notify, // NOTIFY followed by words
        NotGood // NG
    };
    Kind kind = Ignored;
    QStringList words; // Values and Notify: the words to pass on, in order
};

// Judges one line (the bytes before its LF). CRs are removed wherever they
// are; the text ends at a NUL; words are split at blanks, empty ones dropped;
// the first and second word compare case-insensitively.
Reply judgeLine(const char *data, int size);
inline Reply judgeLine(const QByteArray &line)
{
    return judgeLine(line.constData(), line.size());
}

// "10 s", "5 min", "250 ms": durations in the texts that report a time-out.
QString formatDuration(int ms);

} // namespace ReplyLine
