#include "core/versioncompare.h"

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// One part of a version: its digits without leading zeros, so that two parts
// compare by length first and then digit by digit, whatever their size.
QStringView significant(QStringView digits)
{
    int start = 0;
    while (start < digits.size() && digits.at(start) == QLatin1Char('0'))
        ++start;
    return digits.mid(start);
}

VersionCompare::Order compareNumbers(QStringView a, QStringView b)
{
    a = significant(a);
    b = significant(b);
    if (a.size() != b.size())
        return a.size() < b.size() ? VersionCompare::Older : VersionCompare::Newer;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i) != b.at(i))
            return a.at(i) < b.at(i) ? VersionCompare::Older : VersionCompare::Newer;
    }
    return VersionCompare::Same;
}

// Walks the parts of a version text one at a time.
class Parts
{
public:
    explicit Parts(QStringView text) : m_text(text.trimmed()) { }

    bool atEnd() const { return m_pos > m_text.size(); }

    // The next part; after the last one, "0" for ever, so that "1.04" and
    // "1.04.0" are the same version.
    QStringView next()
    {
        if (atEnd())
            return QStringView(u"0");
        int end = m_pos;
        while (end < m_text.size() && m_text.at(end) != QLatin1Char('.'))
            ++end;
        const QStringView part = m_text.mid(m_pos, end - m_pos);
        m_pos = end + 1;
        return part;
    }

private:
    QStringView m_text;
    int m_pos = 0;
};

} // namespace

bool VersionCompare::isVersion(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    int partStart = 0;
    for (int i = 0; i <= trimmed.size(); ++i) {
        if (i < trimmed.size() && isDigit(trimmed.at(i)))
            continue;
        if (i < trimmed.size() && trimmed.at(i) != QLatin1Char('.'))
            return false;
        const bool emptyPart = i == partStart;
        const bool leadingBeforeMore = partStart == 0 && i < trimmed.size();
        if (emptyPart && !leadingBeforeMore)
            return false;
        partStart = i + 1;
    }
    return true;
}

VersionCompare::Order VersionCompare::compare(QStringView version, QStringView reference)
{
    if (!isVersion(version) || !isVersion(reference))
        return Invalid;
    Parts a(version);
    Parts b(reference);
    while (!a.atEnd() || !b.atEnd()) {
        const Order order = compareNumbers(a.next(), b.next());
        if (order != Same)
            return order;
    }
    return Same;
}

QString VersionCompare::buildNumber(QStringView text)
{
    QStringView rest = text.trimmed();
    if (rest.startsWith(QLatin1String("(build")) && rest.endsWith(QLatin1Char(')')))
        rest = rest.mid(6, rest.size() - 7).trimmed();
    if (rest.isEmpty())
        return QString();
    for (const QChar c : rest) {
        if (!isDigit(c))
            return QString();
    }
    const QStringView number = significant(rest);
    return number.isEmpty() ? QStringLiteral("0") : number.toString();
}

VersionCompare::Order VersionCompare::compareBuilds(QStringView build, QStringView reference)
{
    if (build.isEmpty() || reference.isEmpty())
        return Invalid;
    return compareNumbers(build, reference);
}
