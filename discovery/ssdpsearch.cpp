#include "discovery/ssdpsearch.h"

namespace SsdpSearch {

QByteArray mSearchRequest()
{
    return QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\n"
                             "Host:239.255.255.250:1900\r\n"
                             "ST:upnp:rootdevice\r\n"
                             "Man:\"ssdp:discover\"\r\n"
                             "MX:3\r\n"
                             "\r\n");
}

QByteArray testResponse()
{
    return QByteArrayLiteral("HTTP/1.1 200 OK\r\n"
                             "Cache-Control: max-age=1800\r\n"
                             "ST: upnp:rootdevice\r\n"
                             "USN: uuid:63041253-1019-2006-1228-aabbccddeeff::upnp:rootdevice\r\n"
                             "EXT:\r\n"
                             "Server: VORANT Realtek/V1.3\r\n"
                             "Location: http://192.168.1.100:52881/simplecfg.xml\r\n"
                             "\r\n");
}

bool broadcastQualifies(const QString &broadcastText)
{
    const QStringList parts = broadcastText.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    return parts.size() == 4 && parts.first() != QLatin1String("127");
}

bool interfaceQualifies(const QStringList &broadcastTexts)
{
    for (const QString &text : broadcastTexts) {
        if (broadcastQualifies(text))
            return true;
    }
    return false;
}

QList<int> chooseInterfaces(const QList<QStringList> &broadcastTextsPerInterface)
{
    QList<int> chosen;
    for (int i = 0; i < broadcastTextsPerInterface.size(); ++i) {
        if (interfaceQualifies(broadcastTextsPerInterface.at(i)))
            chosen << i;
    }
    return chosen;
}

InterfaceCandidate InterfaceCandidate::fromInterface(const QNetworkInterface &iface)
{
    InterfaceCandidate candidate;
    candidate.name = iface.name();
    candidate.index = iface.index();
    const QNetworkInterface::InterfaceFlags flags = iface.flags();
    candidate.up = flags.testFlag(QNetworkInterface::IsUp);
    candidate.running = flags.testFlag(QNetworkInterface::IsRunning);
    candidate.multicast = flags.testFlag(QNetworkInterface::CanMulticast);
    candidate.loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
    const QList<QNetworkAddressEntry> entries = iface.addressEntries();
    for (const QNetworkAddressEntry &entry : entries) {
        candidate.addresses << entry.ip().toString();
        candidate.broadcasts << entry.broadcast().toString();
    }
    candidate.iface = iface;
    return candidate;
}

bool candidateQualifies(const InterfaceCandidate &candidate)
{
    return candidate.up && candidate.running && candidate.multicast && !candidate.loopback
            && interfaceQualifies(candidate.broadcasts);
}

QList<InterfaceCandidate> chooseInterfaces(const QList<InterfaceCandidate> &all)
{
    QList<InterfaceCandidate> chosen;
    for (const InterfaceCandidate &candidate : all) {
        if (candidateQualifies(candidate))
            chosen << candidate;
    }
    return chosen;
}

QStringList interfaceKeys(const QList<InterfaceCandidate> &chosen)
{
    QStringList keys;
    for (const InterfaceCandidate &candidate : chosen) {
        keys << candidate.name + QLatin1Char('#') + QString::number(candidate.index)
                        + QLatin1Char(' ') + candidate.addresses.join(QLatin1Char(','));
    }
    return keys;
}

bool interfaceRefreshDue(int tick)
{
    return tick > 0 && tick % kInterfaceRefreshTicks == 0;
}

int silentTickLimit(int interfaceCount)
{
    return qMax(10, 2 * interfaceCount + 3);
}

int interfaceIndexForTick(int tick, int interfaceCount)
{
    if (interfaceCount <= 0)
        return -1;
    // Never negative, even if the tick count should ever wrap.
    const int index = tick % interfaceCount;
    return index < 0 ? index + interfaceCount : index;
}

SearchStep searchStep(int tick, int interfaceCount, bool ifaceChanged)
{
    SearchStep step;
    step.ifaceChangedAfter = ifaceChanged;
    if (interfaceCount <= 0)
        return step;
    step.send = true;
    step.index = interfaceIndexForTick(tick, interfaceCount);
    if (ifaceChanged || interfaceCount > 1) {
        step.setInterface = true;
        step.ifaceChangedAfter = false;
    }
    return step;
}

} // namespace SsdpSearch
