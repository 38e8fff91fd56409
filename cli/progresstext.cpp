#include "cli/progresstext.h"

namespace ProgressText {

Kind classify(const QString &text)
{
    if (text == QLatin1String("Firmware update completed."))
        return Succeeded;
    if (text.startsWith(QLatin1String("ERROR")))
        return Failed;
    return Working;
}

int percent(const QString &text)
{
    const int sign = text.lastIndexOf(QLatin1Char('%'));
    if (sign <= 0)
        return -1;
    int start = sign;
    while (start > 0 && text.at(start - 1).isDigit() && text.at(start - 1).unicode() < 128)
        --start;
    // At most three digits: a percentage, not some other number before a "%".
    if (start == sign || sign - start > 3)
        return -1;
    const int value = text.midRef(start, sign - start).toInt();
    return value <= 100 ? value : -1;
}

bool isTransferText(const QString &text)
{
    return text == QLatin1String("Starting...") || text.startsWith(QLatin1String("Send"))
            || text.startsWith(QLatin1String("Retry: ")) || text.startsWith(QLatin1String("Writ"));
}

} // namespace ProgressText
