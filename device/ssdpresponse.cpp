#include "device/ssdpresponse.h"

#include <QUrl>
#include <QVarLengthArray>

constexpr const char SsdpResponse::kMakerDomain[];
constexpr const char SsdpResponse::kBrandWord[];

namespace {

// Most lines of a response have a handful of tokens; longer ones spill to the heap.
using TokenList = QVarLengthArray<QStringView, 32>;

// Cutting at the double quotes first and then at ":|,|=" yields the same
// pieces as cutting at all four characters at once, which needs one pass.
inline bool isSeparator(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'"' || u == u':' || u == u',' || u == u'=';
}

void tokenize(QStringView line, TokenList &out)
{
    out.clear();
    const qsizetype n = line.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i <= n; ++i) {
        if (i == n || isSeparator(line[i])) {
            if (i > start)
                out.append(line.mid(start, i - start).trimmed());
            start = i + 1;
        }
    }
}

inline bool equals(QStringView token, QLatin1String word)
{
    return token.compare(word) == 0;
}

inline bool equalsIgnoringCase(QStringView text, QLatin1String word)
{
    return text.compare(word, Qt::CaseInsensitive) == 0;
}

// The text between the colon at `from` (exclusive) and the next colon or the end.
QStringView fieldAfter(QStringView line, qsizetype colon)
{
    const qsizetype next = line.indexOf(QLatin1Char(':'), colon + 1);
    return next < 0 ? line.mid(colon + 1) : line.mid(colon + 1, next - colon - 1);
}

// The first blank-separated word of a SERVER value, trimmed; empty if none.
QStringView firstWord(QStringView value)
{
    qsizetype start = 0;
    while (start < value.size() && value[start] == QLatin1Char(' '))
        ++start;
    qsizetype end = start;
    while (end < value.size() && value[end] != QLatin1Char(' '))
        ++end;
    return value.mid(start, end - start).trimmed();
}

template<typename Fn>
void forEachLine(QStringView text, Fn &&fn)
{
    qsizetype pos = 0;
    for (;;) {
        const qsizetype nl = text.indexOf(QLatin1Char('\n'), pos);
        if (nl < 0) {
            fn(text.mid(pos));
            return;
        }
        fn(text.mid(pos, nl - pos));
        pos = nl + 1;
    }
}

} // namespace

QStringList SsdpResponse::tokens(QStringView line)
{
    TokenList list;
    tokenize(line, list);
    QStringList result;
    result.reserve(int(list.size()));
    for (QStringView token : list)
        result << token.toString();
    return result;
}

QString SsdpResponse::decodeName(const QString &value)
{
    return QUrl(value, QUrl::TolerantMode).path(QUrl::FullyDecoded);
}

bool SsdpResponse::isSupportedModel(QStringView modelname)
{
    static const QLatin1String models[] = {
        QLatin1String("RT-6C"), QLatin1String("VK-3F"), QLatin1String("VK-5F"),
        QLatin1String("VL-3F"), QLatin1String("ZP-9E"),
    };
    for (QLatin1String model : models) {
        if (modelname.startsWith(model))
            return true;
    }
    return false;
}

SsdpResponse SsdpResponse::parse(const QByteArray &datagram, const QHostAddress &sender)
{
    SsdpResponse r;

    // Everything behind the first NUL is ignored; invalid UTF-8 becomes U+FFFD.
    const int length = int(qstrnlen(datagram.constData(), uint(datagram.size())));
    const QString decoded = QString::fromUtf8(datagram.constData(), length);
    const QStringView text(decoded);
    if (text.indexOf(QLatin1Char('\n')) < 0)
        return r;

    r.parsed = true;
    r.ipaddr = sender.toString();

    // Token pass. Values are kept as views into the text and copied once at
    // the end: only the last of them counts, and a datagram full of "name"
    // pairs must not cost one URL parse each.
    const QLatin1String maker(kMakerDomain);
    bool valid = false;
    QStringView uuid, model, version, name;
    bool haveUuid = false, haveModel = false, haveVersion = false, haveName = false;
    TokenList tokens;
    forEachLine(text, [&](QStringView line) {
        tokenize(line, tokens);
        if (tokens.isEmpty())
            return;
        for (int i = 0; i + 1 < tokens.size(); ++i) {
            if (equals(tokens[i], QLatin1String("uuid"))) {
                uuid = tokens[i + 1];
                haveUuid = true;
                break;
            }
        }
        if (!tokens[0].startsWith(maker))
            return;
        valid = true;
        for (int i = 1; i < tokens.size(); ++i) {
            const QStringView key = tokens[i - 1];
            if (equals(key, QLatin1String("model"))) {
                model = tokens[i];
                haveModel = true;
            } else if (equals(key, QLatin1String("version"))) {
                version = tokens[i];
                haveVersion = true;
            } else if (equals(key, QLatin1String("name"))) {
                name = tokens[i];
                haveName = true;
            }
        }
    });
    if (haveUuid)
        r.uuid = uuid.toString();
    if (haveModel)
        r.modelname = model.toString();
    if (haveVersion)
        r.version = version.toString();
    if (haveName)
        r.nickname = decodeName(name.toString());

    // A description line decides alone: an unknown model is not rescued by a
    // SERVER header in the same response.
    if (valid) {
        r.accepted = isSupportedModel(r.modelname);
        return r;
    }

    // Header pass, for units that answer with the plain UPnP headers only.
    // Further key/value words of the SERVER value are not taken over.
    forEachLine(text, [&](QStringView line) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            return;
        const QStringView header = line.left(colon).trimmed();
        if (equalsIgnoringCase(header, QLatin1String("SERVER"))) {
            if (equalsIgnoringCase(firstWord(fieldAfter(line, colon)), QLatin1String(kBrandWord)))
                valid = true;
        } else if (equalsIgnoringCase(header, QLatin1String("USN"))) {
            const qsizetype second = line.indexOf(QLatin1Char(':'), colon + 1);
            if (second >= 0)
                r.uuid = fieldAfter(line, second).trimmed().toString();
        }
    });
    r.accepted = valid;
    return r;
}
