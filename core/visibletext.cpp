#include "core/visibletext.h"

namespace VisibleText {

bool isHidden(uint c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x061c || (c >= 0x200b && c <= 0x200f)
            || (c >= 0x2028 && c <= 0x202e) || (c >= 0x2060 && c <= 0x2064)
            || (c >= 0x2066 && c <= 0x2069) || c == 0xfeff;
}

QString escaped(const QString &text)
{
    // Every hidden character is in the Basic Multilingual Plane: a surrogate
    // pair never is one, and is copied as it stands.
    int i = 0;
    while (i < text.size() && !isHidden(text.at(i).unicode()))
        ++i;
    if (i == text.size())
        return text;
    QString result = text.left(i);
    result.reserve(text.size() + 16);
    for (; i < text.size(); ++i) {
        const ushort c = text.at(i).unicode();
        if (isHidden(c))
            result += QStringLiteral("<U+%1>").arg(c, 4, 16, QLatin1Char('0')).toUpper();
        else
            result += text.at(i);
    }
    return result;
}

} // namespace VisibleText
