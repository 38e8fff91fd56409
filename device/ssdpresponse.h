#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QStringView>

// What one SSDP datagram says about its sender. The socket takes datagrams
// from anyone on the network, so this is the one place that judges their text;
// it has no sockets and no objects, which lets tests and the fuzzer drive it
// directly and lets the intake reject foreign traffic cheaply.
struct SsdpResponse
{
    // The UPnP domain that opens the brand's device description line; a
    // build setting (KVX_MAKER_DOMAIN), since the maker's real one is not in
    // the repository.
    static constexpr const char kMakerDomain[] = KVX_MAKER_DOMAIN;
    // The word that opens the SERVER header of the brand's units.
    static constexpr const char kBrandWord[] = "VORANT";

    // Two lines or more: the fields below were reset and ipaddr taken from the
    // sender. A shorter datagram leaves everything empty.
    bool parsed = false;
    // The datagram comes from a supported unit of the brand.
    bool accepted = false;
    QString ipaddr;
    QString modelname;
    QString nickname;
    QString version;
    QString uuid;

    static SsdpResponse parse(const QByteArray &datagram, const QHostAddress &sender);

    // The pieces of one line between double quotes, colons, commas and equals
    // signs, zero-length pieces dropped, the rest trimmed (so a piece of blanks
    // gives an empty token).
    static QStringList tokens(QStringView line);
    // The path of a tolerant URL reference, fully decoded: "%20" is a blank,
    // a query or fragment is dropped.
    static QString decodeName(const QString &value);
    static bool isSupportedModel(QStringView modelname);
};
