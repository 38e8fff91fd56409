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


# --- fuzz_mixerprotocol: setup flags, then reads (see the harness) ---------

RAW_BEFORE, COMMAND, RAW_HELD, TRANSFER, QUERY, CLOSE_ON_ERROR, CLOSE_ON_NG, EARLY_CLOSE = (
    1 << i for i in range(8))


def reads(*chunks):
    out = b""
    for c in chunks:
        if isinstance(c, tuple):  # (multiple of 4096, filler byte)
            n, fill = c
            out += bytes([0xEF + n, fill])
            continue
        while len(c) > 0xEF:
            out += bytes([0xEF]) + c[:0xEF]
            c = c[0xEF:]
        out += bytes([len(c)]) + c
    return out


def client(setup, *chunks):
    return bytes([setup]) + reads(*chunks)


LOGIN = (b"Enter Password\r\n", b"Login Successful\r\n",
         b'OK GET DEVICE/NAME:"Stage Left"\r\n', b"OK GET DEVICE/VER/SYSTEM:V1.04B0119\r\n")

mixer = [
    ("login", client(0, *LOGIN)),
    ("login-reacting", client(TRANSFER | QUERY | CLOSE_ON_ERROR, *LOGIN, b"OK SET\r\n", b"OK SET\r\n")),
    ("entry-prompt", client(0, b"Entry Password:", b"Login Successful")),
    ("prompt-lower-case", client(0, b"enter password\r\n", b"login successful\r\n")),
    ("prompt-twice", client(0, b"Enter Password\r\n", b"Enter Password\r\n")),
    ("prompt-split", client(0, b"Enter Pass", b"word\r\n")),
    ("password-failed", client(CLOSE_ON_ERROR, b"Enter Password\r\n", b"Password Failed\r\n")),
    ("ok-set-split", client(COMMAND, b"OK S", b"ET\r\n")),
    ("ok-set-then-notify", client(COMMAND | TRANSFER, b"OK SET\r\nNOTIFY VOL 3\r\n")),
    ("ok-set-lower-case", client(COMMAND | TRANSFER, b"ok set\r\n")),
    ("notify-two-blanks", client(0, b"NOTIFY VOL  3\r\n")),
    ("ok-get-values", client(COMMAND | QUERY, b"OK GET DEVICE/NAME:Desk One\r\n")),
    ("ok-alone", client(COMMAND, b"OK\r\n", b"OK SETX\r\n")),
    ("ng-resend", client(RAW_BEFORE | TRANSFER, b"NG\r\n", b"NG\r\n", b"OK SET\r\n")),
    ("ng-nothing-to-resend", client(COMMAND | CLOSE_ON_NG, b"NG\r\n")),
    ("ng-endless", client(RAW_BEFORE | CLOSE_ON_ERROR, *([b"NG\r\n"] * 10))),
    ("held-raw", client(RAW_BEFORE | COMMAND | RAW_HELD | TRANSFER, b"OK SET\r\n", b"NG\r\n")),
    ("nul-inside", client(COMMAND, b"OK SET\x00garbage\r\n", b"NOTIFY A\x00B C\r\n")),
    ("cr-only", client(COMMAND, b"OK SET\rNOTIFY X\r")),
    ("invalid-utf8", client(QUERY, b"NOTIFY \xff\xfe \xc3\r\n")),
    ("long-line", client(COMMAND, (16, ord("A")), (2, ord("A")), b"\r\nOK SET\r\n")),
    ("many-empty-lines", client(COMMAND, (2, ord("\n")), b"OK SET\r\n")),
    ("early-close", client(COMMAND | EARLY_CLOSE, b"OK SET\r\n", b"NOTIFY X\r\n")),
]


# --- fuzz_communication: header, then operations (see the harness) --------

ACK, VALUE, NOTIFY, NG, TEXT, EMPTY, ERROR, RETRY, START, BYTES = range(10)
START_ON_VERSION, EXACT_SIZE = 4, 8


def comm(state, size, count, *ops, flags=START_ON_VERSION):
    head = bytes([state | flags | EXACT_SIZE, size & 0xff, (size >> 8) & 0xff, (size >> 16) & 0x0f, count])
    body = b""
    for op in ops:
        if isinstance(op, tuple):
            code, arg = op
            if code == RETRY:
                body += bytes([code, arg])
            else:
                body += bytes([code, len(arg)]) + arg
        else:
            body += bytes([op])
    return head + body


UNIT_LOGIN = ((BYTES, b"Enter Password\r\n"), (BYTES, b"Login Successful\r\n"),
              (VALUE, b'DEVICE/NAME:"Stage"'), (VALUE, b"DEVICE/VER/SYSTEM:V1.04B0119"))


def chunks(size):
    return (size + 511) // 512


communication = [
    ("run-1100", comm(0, 1100, 0, *UNIT_LOGIN, *[ACK] * (chunks(1100) + 2))),
    ("run-1", comm(0, 1, 0, *UNIT_LOGIN, *[ACK] * 3)),
    ("run-512", comm(0, 512, 0, *UNIT_LOGIN, *[ACK] * 3)),
    ("run-1024", comm(0, 1024, 0, *UNIT_LOGIN, *[ACK] * 4)),
    ("run-abcd", comm(0, 0xabcd, 0, *UNIT_LOGIN, *[ACK] * 8)),
    ("empty-image", comm(0, 0, 0, *UNIT_LOGIN)),
    ("ng-to-data", comm(0, 1100, 0, *UNIT_LOGIN, ACK, ACK, NG, NG, ACK, ACK, ACK, ACK)),
    ("ng-to-start", comm(0, 1100, 0, *UNIT_LOGIN, NG)),
    ("ng-to-end", comm(0, 600, 0, *UNIT_LOGIN, ACK, ACK, ACK, NG)),
    ("error-while-sending", comm(0, 2000, 0, *UNIT_LOGIN, ACK, ACK, ERROR, START, ACK)),
    ("notify-while-sending", comm(0, 2000, 0, *UNIT_LOGIN, ACK, ACK, (NOTIFY, b"VOL 3"), ACK, ACK, ACK, ACK)),
    ("three-words-in-state-3", comm(0, 100, 0, *UNIT_LOGIN, ACK, ACK, (VALUE, b"FLASHING"), ACK)),
    ("start-by-hand", comm(0, 3000, 0, START, *[ACK] * 9, flags=0)),
    ("state-1", comm(1, 5000, 0, *[ACK] * 12, flags=0)),
    ("state-2", comm(2, 5000, 3, EMPTY, (TEXT, b"x"), ACK, NG, ACK, ACK, flags=0)),
    ("state-2-last", comm(2, 1024, 1, EMPTY, ACK, flags=0)),
    ("state-3", comm(3, 700, 0, (TEXT, b"DEVICE/NAME:\"x y\""), EMPTY, flags=0)),
    ("values", comm(0, 10, 0, (TEXT, b"device/name:\"Desk\""), (TEXT, b"DEVICE/VER/SYSTEM:1.04"),
                    (TEXT, b"DEVICE/VER/SYSTEM:V1B2C3"), (TEXT, b"DEVICE/VER/SYSTEM:"), flags=0)),
    ("retries", comm(0, 1100, 0, *UNIT_LOGIN, ACK, ACK, (RETRY, 5), (RETRY, 0xff), ACK)),
    ("second-run", comm(0, 700, 0, *UNIT_LOGIN, ACK, ACK, ACK, ACK, START, ACK, ACK, ACK)),
]


def main():
    write("fuzz_ssdpresponse", ssdp)
    write("fuzz_mixerprotocol", mixer)
    write("fuzz_communication", communication)
    return 0


if __name__ == "__main__":
    sys.exit(main())
