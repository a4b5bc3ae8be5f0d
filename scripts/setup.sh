#!/usr/bin/env bash
# Installs every Debian package that building, testing and the demo need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  qt6-base-dev libqt6opengl6-dev libxkbcommon-dev qt6-tools-dev qt6-tools-dev-tools
  qt6-l10n-tools libqt6test6
  libplist-dev libgtest-dev libgmock-dev
  libusb-1.0-0-dev libudev-dev libssl-dev
  # test peers: SNMP agents, print-port sinks, private networks, emulated USB
  snmpd snmp socat iproute2 libumockdev-dev umockdev
  # pictures and the demo without a display
  xvfb xauth fonts-dejavu-core imagemagick
  # measuring
  time python3 bc
  # the window icon drawn from its SVG; installing and packaging checks
  qt6-svg-dev desktop-file-utils appstream dpkg-dev file
  # the .deb's check against Debian policy; the manual pages' rendering check
  lintian man-db groff-base
  # the fleet playbook example, run against this machine in the printer network
  ansible-core
  # quenlo-cli among its tools: shell completions, report schemas, metrics, timers
  bash-completion zsh fish python3-jsonschema prometheus systemd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
# The Debian snmpd package may start a system-wide agent; the tests start their own.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet snmpd 2>/dev/null; then
  $SUDO systemctl stop snmpd || true
fi
# Only promtool of the prometheus package is wanted, never the server that
# installing it just enabled (a server the machine had before is left alone).
if [[ " ${missing[*]} " == *" prometheus "* ]] && command -v systemctl >/dev/null 2>&1 &&
  systemctl is-enabled --quiet prometheus 2>/dev/null; then
  $SUDO systemctl disable --now prometheus || true
fi
echo "setup: installed ${missing[*]}"
