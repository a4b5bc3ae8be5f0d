#!/usr/bin/env python3
"""An SNMPv1 agent for road tests: forged, repeating, junk-sending or
trickling peers that no real agent would be. Runs inside a printer namespace
made by run-in-netns.sh.

  fake-agent.py DIR --bind A[,A...] [options]

Every address in --bind answers as an agent of its own (its own socket, so
its replies come from that address); a wildcard socket takes the broadcasts.
Options:
  --oid OID        sysObjectID answered to discovery (numeric)
  --queries        also answer the name, version and device ID queries
  --name-hex HEX   sysName value, as hexadecimal bytes (default: the address)
  --version TEXT   firmware version value              (default V9.99)
  --status N       status code in the device ID        (default 0)
  --repeat N       send every reply N times            (default 1)
  --junk           answer discovery with a datagram that is no reply
  --trickle SECS   instead of answering discovery once, send the asker the
                   answer again every SECS seconds (30 s at most): with
                   another model's --oid, a trickle of replies that never
                   match
  --ipv6           answer over IPv6 too (from the link-local address)
  --name6 TEXT     sysName answered over IPv6          (default: as over IPv4)
  --version6 TEXT  firmware version answered over IPv6 (default: as over IPv4)

DIR/agent.log gets "ready" once every socket is bound.
"""
import base64
import os
import resource
import selectors
import socket
import sys
import threading
import time

VERSION_OID = "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0"
DEVICE_ID_OID = "1.3.6.1.4.1.40917.886.300.369.8531.1.1.0"
SYS_OBJECT_ID = "1.3.6.1.2.1.1.2.0"
SYS_NAME = "1.3.6.1.2.1.1.5.0"


def length(n):
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def tlv(tag, content):
    return bytes([tag]) + length(len(content)) + content


def oid(text):
    arcs = [int(a) for a in text.split(".")]
    out = bytearray([arcs[0] * 40 + arcs[1]])
    for a in arcs[2:]:
        groups = [a & 0x7F]
        a >>= 7
        while a:
            groups.append(0x80 | (a & 0x7F))
            a >>= 7
        out += bytes(reversed(groups))
    return bytes(out)


def read(data, pos):
    """One element at pos: (tag, content, next position)."""
    tag = data[pos]
    first = data[pos + 1]
    pos += 2
    if first & 0x80:
        count = first & 0x7F
        size = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    else:
        size = first
    return tag, data[pos:pos + size], pos + size


def parse_request(data):
    """(community, request-id bytes, asked oid bytes) of a GetRequest."""
    _, message, _ = read(data, 0)
    _, _, p = read(message, 0)
    _, community, p = read(message, p)
    tag, pdu, _ = read(message, p)
    if tag != 0xA0:
        raise ValueError("not a GetRequest")
    _, request_id, q = read(pdu, 0)
    _, _, q = read(pdu, q)
    _, _, q = read(pdu, q)
    _, bindings, _ = read(pdu, q)
    _, binding, _ = read(bindings, 0)
    _, name, _ = read(binding, 0)
    return community, request_id, name


def response(community, request_id, name, tag, value):
    binding = tlv(0x30, tlv(0x06, name) + tlv(tag, value))
    pdu = tlv(0xA2, tlv(0x02, request_id) + tlv(0x02, b"\0") + tlv(0x02, b"\0") +
              tlv(0x30, binding))
    return tlv(0x30, tlv(0x02, b"\0") + tlv(0x04, community) + pdu)


def status_field(code):
    record = bytes(9) + bytes([code]) + bytes(98)
    return "STS:" + base64.b64encode(record).decode() + ";"


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    folder = args.pop(0)
    opts = {"--bind": "", "--oid": "1.3.6.1.4.1.8072.3.2.10", "--name-hex": None,
            "--version": "V9.99", "--status": "0", "--repeat": "1", "--trickle": None,
            "--name6": None, "--version6": None}
    flags = set()
    while args:
        a = args.pop(0)
        if a in ("--queries", "--junk", "--ipv6"):
            flags.add(a)
        else:
            opts[a] = args.pop(0)
    addresses = [a for a in opts["--bind"].split(",") if a]
    repeat = int(opts["--repeat"])
    model = oid(opts["--oid"])
    names = {oid(SYS_OBJECT_ID): "discovery", oid(SYS_NAME): "name",
             oid(VERSION_OID): "version", oid(DEVICE_ID_OID): "status"}

    # A socket per address: a thousand of them need more descriptors than
    # the default soft limit, and a poll that is not bound to 1,024.
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    want = len(addresses) + 64
    if hard == resource.RLIM_INFINITY or hard >= want:
        resource.setrlimit(resource.RLIMIT_NOFILE, (want, hard))
    sockets = []  # (socket, reply socket or None for "itself")
    own = []
    for address in addresses:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((address, 161))
        own.append(s)
        sockets.append((s, [s]))
    wildcard = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    wildcard.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    wildcard.bind(("0.0.0.0", 161))
    # A broadcast reaches the wildcard socket only: every agent answers it.
    sockets.append((wildcard, own))
    if "--ipv6" in flags:
        six = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
        six.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        six.bind(("::", 161))
        sockets.append((six, [six]))

    with open(os.path.join(folder, "agent.log"), "a") as log:
        log.write("ready\n")

    trickling = set()
    junk = tlv(0x30, tlv(0x02, b"\0") + b"\x04\x06orchid" + tlv(0xA2, b"\x02\x01"))

    def trickle(sock, peer, message):
        end = time.monotonic() + 30
        while time.monotonic() < end:
            try:
                sock.sendto(message, peer)
            except OSError:
                return
            time.sleep(float(opts["--trickle"]))

    started = time.monotonic()
    poller = selectors.DefaultSelector()
    for s, replies in sockets:
        poller.register(s, selectors.EVENT_READ, (s, replies))
    while time.monotonic() - started < 600:
        for key, _ in poller.select(1.0):
            s, repliers = key.data
            try:
                data, peer = s.recvfrom(4096)
            except OSError:
                continue
            try:
                community, request_id, name = parse_request(data)
            except (IndexError, ValueError):
                continue
            kind = names.get(bytes(name))
            for replier in repliers:
                if s.family == socket.AF_INET6:
                    replier = s
                source = replier.getsockname()[0]
                if kind == "discovery":
                    if "--junk" in flags:
                        out = junk
                    else:
                        out = response(community, request_id, name, 0x06, model)
                    if opts["--trickle"] and (source, peer) not in trickling:
                        trickling.add((source, peer))
                        threading.Thread(target=trickle, args=(replier, peer, out),
                                         daemon=True).start()
                        continue
                elif kind and "--queries" in flags:
                    six = s.family == socket.AF_INET6
                    if kind == "name" and six and opts["--name6"] is not None:
                        value = opts["--name6"].encode()
                    elif kind == "name":
                        value = (bytes.fromhex(opts["--name-hex"]) if opts["--name-hex"]
                                 else source.encode())
                    elif kind == "version" and six and opts["--version6"] is not None:
                        value = opts["--version6"].encode()
                    elif kind == "version":
                        value = opts["--version"].encode()
                    else:
                        value = ("MFG:Fake;MDL:Fake;" +
                                 status_field(int(opts["--status"]))).encode()
                    out = response(community, request_id, name, 0x04, value)
                else:
                    continue
                for _ in range(repeat):
                    try:
                        replier.sendto(out, peer)
                    except OSError:
                        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
