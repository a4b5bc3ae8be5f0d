#!/usr/bin/env bash
# What the user waits for in a network update: a whole `quenlo-cli update
# ADDRESS` of one printer, from process start to exit, against socat sending
# the same file over the same link, in one private network
# (tools/netns/run-in-netns.sh) with one snmpd printer whose print-port sink
# counts what it reads. Median, min and max of ROUNDS alternating runs.
#
#   1. 64 and 512 MiB, a package with a SHA256 key: quenlo-cli against
#      `socat -u` (goal: ratio >= 1.0).
#   2. The same without the key: quenlo-cli against `socat -u -b 131072`
#      (goal: ratio >= 0.8), and against `socat -u` for reference.
#   3. The smallest update, 4 KiB, against `socat -u` (goal: within 50 ms of
#      it plus the probe's own answer).
#
# quenlo-cli's figure includes everything: process start, reading the
# package, the check of the SHA256 key (when there is one), the probe and
# the name/version/status queries of the printer, the connection, the file
# read and hashed while sent, the end marker, the wait until the printer has
# acknowledged every byte, the history line. socat's includes its start, the
# connection, the file and its exit; it sends no marker, checks nothing and
# does not wait for the acknowledgement. Both read the file from the page
# cache. "The probe's own answer" is the round trip of the same SNMP
# requests (the probe, then the three queries at once), timed inside one
# Python process so that no process start is counted. Every run is checked
# against the sink's byte count.
# Needs root and a build (scripts/test.sh builds build/).
# Usage: bench/update_net.sh [ROUNDS] [BUILD-DIR]   (default 5, build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
model=1.3.6.1.4.1.40917.886.300.369.8531.310

if [ "${1:-}" = "--inside" ]; then
  cli=$2 rounds=$3 work=$4
  ip=$(awk '$1 == "printer" && $2 == "BENCH" {print $4}' "$QUENLO_NETNS_MANIFEST")
  sink=$(awk '$1 == "printer" && $2 == "BENCH" {print $6}' "$QUENLO_NETNS_MANIFEST")
  exec python3 - "$cli" "$rounds" "$work" "$ip" "$sink" "$model" <<'PY'
import hashlib, os, socket, statistics, subprocess, sys, time

cli, rounds, work, ip, sink, model = sys.argv[1], int(sys.argv[2]), *sys.argv[3:]
log = os.path.join(sink, "sink.log")
seen = 0

def sink_bytes():
    """Bytes of the next finished connection, waiting at most 30 s."""
    global seen
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        lines = [l for l in open(log) if l.startswith("conn ")]
        if len(lines) > seen:
            seen += 1
            return int(lines[seen - 1].split()[3])
        time.sleep(0.002)
    sys.exit("the sink saw no connection")

def package(folder, size, keyed):
    os.makedirs(folder, exist_ok=True)
    data = os.urandom(size)
    with open(os.path.join(folder, "firmware.bin"), "wb") as f:
        f.write(data)
    key = "<key>SHA256</key><string>%s</string>" % hashlib.sha256(data).hexdigest() if keyed else ""
    subprocess.run(["bash", "-c", '. "$1"; make_package "$2" "$3" "$4"', "-",
                    os.path.join(os.environ["QUENLO_ROOT"], "tools/package.sh"), folder,
                    "<key>SysOID</key><string>%s</string>" % model, "firmware.bin|" + key],
                   check=True)
    subprocess.run(["cat", os.path.join(folder, "firmware.bin")], stdout=subprocess.DEVNULL)

def timed(command, expect):
    start = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    took = time.monotonic() - start
    got = sink_bytes()
    if got != expect:
        sys.exit("%s delivered %d bytes, expected %d" % (command[0], got, expect))
    return took

def stats(values):
    return statistics.median(values), min(values), max(values)

def ber_len(n):
    return bytes([n]) if n < 128 else bytes([0x81, n]) if n < 256 else bytes([0x82, n >> 8, n & 255])

def tlv(tag, body):
    return bytes([tag]) + ber_len(len(body)) + body

def oid(text):
    parts = [int(p) for p in text.split(".")]
    out = bytes([40 * parts[0] + parts[1]])
    for p in parts[2:]:
        chunk = [p & 0x7F]
        p >>= 7
        while p:
            chunk.insert(0, 0x80 | (p & 0x7F))
            p >>= 7
        out += bytes(chunk)
    return tlv(0x06, out)

def get(name, request_id):
    pdu = tlv(0xA0, tlv(0x02, bytes([request_id])) + tlv(0x02, b"\0") + tlv(0x02, b"\0") +
              tlv(0x30, tlv(0x30, oid(name) + b"\x05\x00")))
    return tlv(0x30, tlv(0x02, b"\0") + tlv(0x04, b"orchid") + pdu)

def probe_answer():
    """The probe, then the three queries at once, as quenlo-cli asks them."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(1)
    start = time.monotonic()
    s.sendto(get("1.3.6.1.2.1.1.2.0", 0), (ip, 161))
    s.recvfrom(4096)
    for name in ("1.3.6.1.2.1.1.5.0", "1.3.6.1.4.1.40917.886.300.369.8531.1.2.1.0",
                 "1.3.6.1.4.1.40917.886.300.369.8531.1.1.0"):
        s.sendto(get(name, 1), (ip, 161))
    for _ in range(3):
        s.recvfrom(4096)
    return time.monotonic() - start

def update(folder):
    return [cli, "--package", folder, "update", ip]

MiB = 1 << 20
for size in (64 * MiB, 512 * MiB):
    keyed, plain = os.path.join(work, "keyed"), os.path.join(work, "plain")
    package(keyed, size, True)
    package(plain, size, False)
    firmware = os.path.join(plain, "firmware.bin")
    runs = {k: [] for k in ("keyed", "plain", "socat", "socat-b")}
    for _ in range(rounds):
        runs["keyed"].append(timed(update(keyed), size + 4))
        runs["socat"].append(timed(["socat", "-u", "FILE:" + firmware, "TCP:%s:9100" % ip], size))
        runs["plain"].append(timed(update(plain), size + 4))
        runs["socat-b"].append(timed(["socat", "-u", "-b", "131072", "FILE:" + firmware,
                                      "TCP:%s:9100" % ip], size))
    rate = {k: [size / t / 1e6 for t in v] for k, v in runs.items()}
    m = {k: stats(v) for k, v in rate.items()}
    mib = size // MiB
    print("%3d MiB with SHA256 key: quenlo-cli update %.0f MB/s (min %.0f, max %.0f), "
          "socat -u %.0f MB/s (min %.0f, max %.0f): ratio %.2f (goal >= 1.0)"
          % (mib, *m["keyed"], *m["socat"], m["keyed"][0] / m["socat"][0]))
    print("%3d MiB without key:     quenlo-cli update %.0f MB/s (min %.0f, max %.0f), "
          "socat -u -b 131072 %.0f MB/s (min %.0f, max %.0f): ratio %.2f (goal >= 0.8); "
          "against socat -u %.2f"
          % (mib, *m["plain"], *m["socat-b"], m["plain"][0] / m["socat-b"][0],
             m["plain"][0] / m["socat"][0]))
    sys.stdout.flush()
    subprocess.run(["rm", "-rf", keyed, plain])

small = os.path.join(work, "small")
package(small, 4096, False)
firmware = os.path.join(small, "firmware.bin")
ours, theirs, answers = [], [], []
for _ in range(max(rounds, 5) * 2):
    ours.append(timed(update(small), 4096 + 4))
    theirs.append(timed(["socat", "-u", "FILE:" + firmware, "TCP:%s:9100" % ip], 4096))
    answers.append(probe_answer())
o, s, a = stats(ours), stats(theirs), stats(answers)
print("4 KiB: quenlo-cli update %.1f ms (min %.1f, max %.1f), socat -u %.1f ms (min %.1f, max %.1f), "
      "the probe's own answer %.1f ms (min %.1f, max %.1f): quenlo-cli takes %.1f ms more than "
      "socat and the answer (goal <= 50 ms; median of %d)"
      % (*(1000 * v for v in o), *(1000 * v for v in s), *(1000 * v for v in a),
         1000 * (o[0] - s[0] - a[0]), len(ours)))
PY
fi

rounds=${1:-5}
build=${2:-$root/build}
[ "$(id -u)" = 0 ] || { echo "update_net: needs root for network namespaces" >&2; exit 77; }
cmake --build "$build" --target quenlo-cli >/dev/null
cli=$build/src/quenlo-cli
work=$(mktemp -d /tmp/quenlo-updbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Updates append to the update history; the benchmark keeps its own.
export XDG_STATE_HOME=$work/state HOME=$work/home QUENLO_ROOT=$root
mkdir -p "$HOME"
chmod 755 "$work"
echo "printer BENCH 1 198.18.0.200 --oid $model --sink discard" > "$work/topology.sh"
"$root/tools/netns/run-in-netns.sh" --topology "$work/topology.sh" --timeout 1200 -- \
  bash "$root/bench/update_net.sh" --inside "$cli" "$rounds" "$work"
