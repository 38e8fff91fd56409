#include "ssdptext.h"

#include "simconfig.h"

#include <QUrl>

namespace SsdpText {

namespace {
QByteArray &domainStore()
{
    static QByteArray value(KVX_MAKER_DOMAIN);
    return value;
}
} // namespace

QByteArray domain()
{
    return domainStore();
}

void setDomain(const QByteArray &domain)
{
    domainStore() = domain;
}

QByteArray expectedSearch()
{
    return QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\n"
                             "Host:239.255.255.250:1900\r\n"
                             "ST:upnp:rootdevice\r\n"
                             "Man:\"ssdp:discover\"\r\n"
                             "MX:3\r\n"
                             "\r\n");
}

bool isSearch(const QByteArray &datagram)
{
    return datagram.left(8).toUpper() == "M-SEARCH";
}

QByteArray unitResponse(const UnitConfig &unit, const QString &nickname)
{
    const QByteArray address = unit.address.toString().toLatin1();
    return QByteArrayLiteral("HTTP/1.1 200 OK\r\n"
                             "CACHE-CONTROL: max-age=1800\r\n"
                             "EXT:\r\n"
                             "LOCATION: http://")
            + address
            + QByteArrayLiteral(":52881/simplecfg.xml\r\n"
                                "SERVER: VORANT Realtek/V1.3\r\n"
                                "ST: upnp:rootdevice\r\n"
                                "USN: uuid:")
            + unit.uuid.toUtf8() + QByteArrayLiteral("::upnp:rootdevice\r\n") + domain()
            + QByteArrayLiteral(":model=\"") + unit.model.toUtf8()
            + QByteArrayLiteral("\",version=\"") + unit.version.toUtf8()
            + QByteArrayLiteral("\",name=\"") + QUrl::toPercentEncoding(nickname)
            + QByteArrayLiteral("\"\r\n\r\n");
}

QVector<QByteArray> foreignResponses(const QHostAddress &from)
{
    const QByteArray address = from.toString().toLatin1();
    return {
        // A home router's internet gateway device.
        QByteArrayLiteral("HTTP/1.1 200 OK\r\n"
                          "CACHE-CONTROL: max-age=120\r\n"
                          "ST: upnp:rootdevice\r\n"
                          "USN: uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice\r\n"
                          "EXT:\r\n"
                          "SERVER: Linux/3.14 UPnP/1.0 IpBridge/1.26.0\r\n"
                          "LOCATION: http://")
                + address + QByteArrayLiteral(":1900/gatedesc.xml\r\n\r\n"),
        // A media server.
        QByteArrayLiteral("HTTP/1.1 200 OK\r\n"
                          "CACHE-CONTROL: max-age=1800\r\n"
                          "EXT:\r\n"
                          "LOCATION: http://")
                + address
                + QByteArrayLiteral(
                        ":8200/rootDesc.xml\r\n"
                        "SERVER: Debian/12 DLNADOC/1.50 UPnP/1.0 MiniDLNA/1.3.0\r\n"
                        "ST: upnp:rootdevice\r\n"
                        "USN: uuid:4d696e69-444c-164e-9d41-b827eb5b0b0e::upnp:rootdevice\r\n\r\n"),
        // Close to a unit but not one: the brand word carries a version, another
        // maker's domain opens the description line, and a model in lower case.
        QByteArrayLiteral(
                "HTTP/1.1 200 OK\r\n"
                "CACHE-CONTROL: max-age=1800\r\n"
                "EXT:\r\n"
                "SERVER: VORANT/2.0 UPnP/1.0\r\n"
                "ST: upnp:rootdevice\r\n"
                "USN: uuid:00000000-1019-2006-1228-0000deadbeef::upnp:rootdevice\r\n"
                "othermaker.example:model=\"ZP-9E\",version=\"9.99\",name=\"Impostor\"\r\n")
                + domain()
                + QByteArrayLiteral(":model=\"zp-9e\",version=\"9.99\",name=\"Impostor\"\r\n\r\n"),
    };
}

} // namespace SsdpText
