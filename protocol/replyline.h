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

// The length of a prompt's text.
int promptLength(Prompt prompt);

// The start of a prompt cut by the network: the data is shorter than one of
// the prompt texts and begins it. Such a line waits for its rest however long
// the unit is quiet.
bool couldBecomePrompt(const char *data, int size);
inline bool couldBecomePrompt(const QByteArray &data)
{
    return couldBecomePrompt(data.constData(), data.size());
}

// Whether an unfinished line may still become a reply: its first word is, or
// can still grow into, OK, NG or NOTIFY (in any letter case). Any other line
// is ignored whatever follows, so it need not wait for its end.
bool couldBecomeReply(const char *data, int size);
inline bool couldBecomeReply(const QByteArray &data)
{
    return couldBecomeReply(data.constData(), data.size());
}

// Units end their lines with LF, CR LF, a lone CR or a NUL (a C string sent
// whole): the position of the first CR, LF or NUL, or -1 when the line has not
// ended yet.
int lineEnd(const char *data, int size);

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
    bool set = false; // Acknowledged and Values: the second word is SET
};

// Whether a judged line acknowledges the command in flight. Only OK GET / OK
// SET alone does, unless setWithWords is given (a transfer is between its start
// and its end command): then OK SET followed by any words does too, once. Query
// replies (OK GET with words) and notifications never do.
bool acknowledges(const Reply &reply, bool setWithWords);

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
