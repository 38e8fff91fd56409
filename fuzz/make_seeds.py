#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/ from the readable cases below.

The committed corpus files are this script's output; edit the cases here and
run it again (it replaces the seed files it owns, named seed-*, and leaves any
other file, such as a crash input kept for regression, alone).
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def write(harness, cases):
    folder = os.path.join(CORPUS, harness)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.startswith("seed-"):
            os.remove(os.path.join(folder, name))
    for name, data in cases:
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data)
    print(f"{harness}: {len(cases)} seeds")


# --- fuzz_ssdpresponse: datagram, then the sender (see the harness) --------

def ipv4(text):
    return bytes(int(p) for p in text.split(".")) + b"\x00"


def ipv6_loopback():
    return bytes(15) + b"\x01" + b"\x01"


def response(*lines, status=b"HTTP/1.1 200 OK"):
    return b"".join(l + b"\r\n" for l in (status,) + lines) + b"\r\n"


UUID = b"63041253-1019-2006-1228-aabbccddeeff"
USN = b"USN: uuid:" + UUID + b"::upnp:rootdevice"
UNIT = ipv4("10.77.0.20")

TEST_RESPONSE = response(
    b"Cache-Control: max-age=1800",
    b"ST: upnp:rootdevice",
    USN,
    b"EXT:",
    b"Server: VORANT Realtek/V1.3",
    b"Location: http://192.168.1.100:52881/simplecfg.xml")


def unit(model, extra=b""):
    return response(
        b"Cache-Control: max-age=1800",
        b"ST: upnp:rootdevice",
        USN,
        b"EXT:",
        b"vorant.example:device:model=" + model + b",version=1.04,name=Stage%20Left" + extra,
        b"Location: http://10.77.0.20:52881/description.xml")


ssdp = [
    ("test-response", TEST_RESPONSE + UNIT),
    ("test-response-ipv6", TEST_RESPONSE + ipv6_loopback()),
    ("server-key-value-words",
     response(b"SERVER: vorant model/ZP-9E version/1.0 nickname/Desk port/54726", USN) + UNIT),
    ("server-brand-with-version", response(b"Server: VORANT/1.0 UPnP/1.0", USN) + UNIT),
    ("usn-twice", response(b"USN: uuid:a::x", b"Server: VORANT", b"usn:uuid:b::upnp:rootdevice") + UNIT),
    ("quoted-values",
     response(b'vorant.example:model="VK-3F",version="1.0 beta",name="Desk%20One"') + UNIT),
    ("blank-before-quote", response(b'vorant.example:model= "ZP-9E"') + UNIT),
    ("name-query-fragment", response(b"vorant.example:model=RT-6C,name=Desk?x#2") + UNIT),
    ("name-utf8", response(b"vorant.example:model=VL-3F,name=Caf%C3%A9%00%0A%ED%A0%80") + UNIT),
    ("name-invalid-utf8", response(b"vorant.example:model=VK-5F,name=Caf\xe9\xff\xfe") + UNIT),
    ("model-key-last", response(b"vorant.example:model=VL-3F", b"vorant.example:version=2.0,model") + UNIT),
    ("unknown-model", response(b"vorant.example:model=ZP-8E", b"Server: VORANT") + UNIT),
    ("uuid-tokens", response(b"X: uuid:a:uuid:b", b"Y: uuid, ,abc", b"vorant.example:model=ZP-9E") + UNIT),
    ("nul-inside", TEST_RESPONSE.replace(b"EXT:", b"EXT:\x00garbage") + UNIT),
    ("bare-lf", TEST_RESPONSE.replace(b"\r\n", b"\n") + UNIT),
    ("one-line", b"vorant.example:model=ZP-9E" + UNIT),
    # U+FEFF inside values: JSON.parse keeps it, so the card must get it.
    ("byte-order-marks", response(b"USN: uuid:\xef\xbb\xbf4125::upnp:rootdevice",
                                  b"vorant.example:model=VL-3F,name=%EF%BB%BFDesk\xef\xbb\xbf") + UNIT),
    ("empty-lines", b"\n\n\r\n" + UNIT),
    # Other devices on the same network.
    ("router", response(
        b"CACHE-CONTROL: max-age=120",
        b"ST: upnp:rootdevice",
        b"USN: uuid:824ff22b-8c7d-41c5-a131-44f534e12555::upnp:rootdevice",
        b"EXT:",
        b"SERVER: Linux/3.14 UPnP/1.0 miniupnpd/2.1",
        b"LOCATION: http://192.168.1.1:5000/rootDesc.xml",
        b"OPT: \"http://schemas.upnp.org/upnp/1/0/\"; ns=01",
        b"01-NLS: 1",
        b"BOOTID.UPNP.ORG: 1",
        b"CONFIGID.UPNP.ORG: 1337") + ipv4("192.168.1.1")),
    ("media-server", response(
        b"Cache-Control: max-age=1800",
        b"Date: Tue, 08 Dec 2026 01:44:00 GMT",
        b"Location: http://192.168.1.20:2869/upnphost/udhisapi.dll?content=uuid:1",
        b"Server: Microsoft-Windows/10.0 UPnP/1.0 UPnP-Device-Host/1.0",
        b"ST: urn:schemas-upnp-org:device:MediaServer:1",
        b"EXT:",
        b"USN: uuid:1::urn:schemas-upnp-org:device:MediaServer:1") + ipv4("192.168.1.20")),
    ("tv", response(
        b"CACHE-CONTROL: max-age=1800",
        b"DATE: Tue, 08 Dec 2026 01:44:00 GMT",
        b"EXT:",
        b"LOCATION: http://192.168.1.30:7676/smp_14_",
        b"SERVER: SHP, UPnP/1.0, Samsung UPnP SDK/1.0",
        b"ST: urn:samsung.com:device:RemoteControlReceiver:1",
        b"USN: uuid:0f0f0f0f-0000-1000-8000-f47b5e000000::urn:samsung.com:device:RemoteControlReceiver:1",
        b"Content-Length: 0") + ipv4("192.168.1.30")),
    ("m-search", b"M-SEARCH * HTTP/1.1\r\nHost:239.255.255.250:1900\r\nST:upnp:rootdevice\r\n"
                 b"Man:\"ssdp:discover\"\r\nMX:3\r\n\r\n" + ipv4("10.77.0.1")),
    ("notify", b"NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: upnp:rootdevice\r\n"
               b"NTS: ssdp:alive\r\nSERVER: VORANT Realtek/V1.3\r\n" + USN + b"\r\n\r\n" + UNIT),
]
for model in (b"RT-6C", b"VK-3F", b"VK-5F", b"VL-3F", b"ZP-9E", b"ZP-9E-MkII"):
    ssdp.append(("unit-" + model.decode().lower(), unit(model) + UNIT))


# --- the protocol harnesses are added here once their input layout is fixed --


def main():
    write("fuzz_ssdpresponse", ssdp)
    return 0


if __name__ == "__main__":
    sys.exit(main())
