#!/usr/bin/env python3
"""A print-port peer for tests: listens on both IPv4 and IPv6 and keeps what
each connection sends.

  print-sink.py DIR [--port 9100] [--mode MODE] [--after-end FILE=TEXT]

MODE is one of
  keep            (default) connection N is written to DIR/conn-N.bin
  discard         bytes are counted only (for throughput figures)
  close-after:N   reads N bytes, then closes (the sender sees a reset)
  no-read         accepts and never reads (the sender's writes block)
  reset-after:N   with a tiny receive window, reads N bytes, stops reading
                  for a second, then resets the connection (the bytes after
                  the first N are never acknowledged)
  slow:RATE       as keep, but reads at most RATE bytes per second
  reset-first-after:N, stop-first-after:N
                  as keep, but on the first connection only: with a tiny
                  receive window, read N bytes, then reset it (as
                  reset-after:N) or stop reading it for good and hold it open
                  (a printer that hangs in its first file)

--after-end FILE=TEXT writes TEXT to FILE once a connection has ended with
the end marker 00 00 00 00: a printer that installs what it received (the
test network's agents can report a new firmware version from FILE).

DIR/sink.log gets "ready" once listening and one line
"conn N bytes B" per finished connection, in the order they finish; a test
waits for that line rather than for the sender, which may finish first.
"""
import os
import socket
import sys
import struct
import threading
import time

CHUNK = 1 << 18


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    folder = args[0]
    port = 9100
    mode = "keep"
    after_end = None
    i = 1
    while i < len(args):
        if args[i] == "--port":
            port = int(args[i + 1])
            i += 2
        elif args[i] == "--mode":
            mode = args[i + 1]
            i += 2
        elif args[i] == "--after-end":
            after_end = args[i + 1].split("=", 1)
            i += 2
        else:
            print("unknown argument " + args[i], file=sys.stderr)
            return 2
    limit = None
    reset = False
    rate = None
    first_only = None  # "reset" or "stop": the limit is the first connection's
    if mode.startswith("reset-first-after:") or mode.startswith("stop-first-after:"):
        first_only = mode.split("-", 1)[0]
        limit = int(mode.split(":", 1)[1])
        mode = "keep"
    elif mode.startswith("slow:"):
        rate = int(mode.split(":", 1)[1])
    elif mode.startswith("close-after:"):
        limit = int(mode.split(":", 1)[1])
    elif mode.startswith("reset-after:"):
        limit = int(mode.split(":", 1)[1])
        reset = True
    elif mode not in ("keep", "discard", "no-read"):
        print("unknown mode " + mode, file=sys.stderr)
        return 2

    log_lock = threading.Lock()
    log = open(os.path.join(folder, "sink.log"), "a", buffering=1)

    def note(line):
        with log_lock:
            log.write(line + "\n")

    listener = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
    if reset or first_only is not None:
        # Accepted connections inherit it: little of the tail is acknowledged.
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1)
    listener.bind(("::", port))
    listener.listen(16)
    note("ready")

    held = []  # no-read connections stay open until the sink ends

    def serve(conn, number):
        total = 0
        tail = b""
        out = None
        limited = limit if first_only is None or number == 1 else None
        resets = reset or (first_only == "reset" and number == 1)
        stops = first_only == "stop" and number == 1
        try:
            if mode == "no-read":
                held.append(conn)
                return
            if mode == "keep" or rate is not None:
                out = open(os.path.join(folder, "conn-%d.bin" % number), "wb")
            chunk = CHUNK if rate is None else 1 << 16
            buf = bytearray(chunk)
            view = memoryview(buf)
            started = time.monotonic()
            while True:
                want = chunk if limited is None else min(chunk, limited - total)
                if want <= 0:
                    break
                n = conn.recv_into(view[:want])
                if n == 0:
                    break
                total += n
                tail = (tail + bytes(view[max(0, n - 4):n]))[-4:]
                if out is not None:
                    out.write(view[:n])
                if rate is not None:
                    ahead = total / rate - (time.monotonic() - started)
                    if ahead > 0:
                        time.sleep(ahead)
        except OSError:
            pass
        finally:
            if out is not None:
                out.close()
            if resets:
                time.sleep(1)
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                struct.pack("ii", 1, 0))
            if stops:
                held.append(conn)
                note("conn %d bytes %d" % (number, total))
            elif mode != "no-read":
                # Unread data left behind turns this into a reset, as a
                # printer that gives up would do.
                conn.close()
                if after_end is not None and tail == b"\x00\x00\x00\x00":
                    with open(after_end[0], "w") as installed:
                        installed.write(after_end[1])
                note("conn %d bytes %d" % (number, total))

    number = 0
    while True:
        conn, _ = listener.accept()
        number += 1
        threading.Thread(target=serve, args=(conn, number), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
