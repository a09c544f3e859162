#!/usr/bin/env bash
# Installs the route that runs 32-bit Windows programs where the kernel runs no 32-bit code
# (its 32-bit emulation is switched off: Debian's i386 Wine loader fails with "Exec format
# error"): that loader runs under qemu-i386 user-mode emulation instead.
#
#   - qemu-i386 from Debian's qemu-user package of a newer release (bookworm's 7.2 is far too
#     slow), fetched through an apt configuration of its own under the install folder, from the
#     host's own Debian mirror; the host's sources and package state are not touched;
#   - pe32fix.so, an i386 shim preloaded into the emulated loader (see pe32fix.c);
#   - a private loader folder: copies of Debian's loaders and a wine-preloader script, through
#     which Wine starts every new 32-bit process, so child processes are emulated too;
#   - bin/wine32, the command that runs a 32-bit Windows program through the route.
# The 64-bit wineserver serves every prefix natively.
#
# Idempotent; prints nothing when everything is in place. Needs root, Debian's wine, wine64 and
# wine32:i386 (scripts/install-deps.sh installs them) and gcc.
# KORVO_PE32ROUTE: install folder (default /opt/korvo-pe32route).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
H="${KORVO_PE32ROUTE:-/opt/korvo-pe32route}"
W="$H/lib/wine"
suites="${KORVO_PE32ROUTE_SUITES:-trixie bookworm-backports}"
did=0
act() { did=1; echo "32-bit route: $*" >&2; }
die() { echo "32-bit route: cannot set up the emulated 32-bit Wine ($H): $*" >&2; exit 1; }

[ "$(dpkg --print-architecture)" = amd64 ] || die "the route is for Debian amd64 hosts"
for f in /usr/lib/wine/wine /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 \
         /usr/lib/i386-linux-gnu/wine/i386-unix/ntdll.so /usr/lib/i386-linux-gnu/libc.so.6; do
  [ -e "$f" ] || die "$f is missing (packages wine, wine64, wine32:i386)"
done
command -v gcc >/dev/null || die "gcc is missing (package gcc)"

qemu_ok() {  # qemu-i386 present and at least 8.1
  local v
  v=$("$W/qemu-i386" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p') || return 1
  [ -n "$v" ] || return 1
  set -- $v
  [ "$1" -gt 8 ] || { [ "$1" = 8 ] && [ "$2" -ge 1 ]; }
}

mkdir -p "$W" "$H/share" "$H/bin" 2>/dev/null || die "cannot create $H (run as root)"

# ---- qemu-i386
if ! qemu_ok; then
  A="$H/apt"
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null \
    | awk '/^(URIs:|deb )/ { for (i = 2; i <= NF; i++) if ($i ~ /^https?:\/\/.*\/debian\/?$/) { print $i; exit } }' || true)
  [ -n "$mirror" ] || die "no Debian mirror in the host's apt sources"
  mirror="${mirror%/}"
  act "fetching qemu-user ($suites) from $mirror"
  rm -rf "$A"
  mkdir -p "$A/etc/sources.list.d" "$A/etc/preferences.d" "$A/etc/apt.conf.d" \
           "$A/state/lists/partial" "$A/cache/archives/partial" "$A/deb"
  : > "$A/state/status"
  : > "$A/etc/sources.list"
  for s in $suites; do
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $s main" >> "$A/etc/sources.list"
  done
  cat > "$A/apt.conf" <<EOF
Dir::Etc "$A/etc";
Dir::Etc::sourcelist "$A/etc/sources.list";
Dir::Etc::sourceparts "$A/etc/sources.list.d";
Dir::Etc::preferencesparts "$A/etc/preferences.d";
Dir::Etc::parts "$A/etc/apt.conf.d";
Dir::State "$A/state";
Dir::State::status "$A/state/status";
Dir::Cache "$A/cache";
APT::Architecture "amd64";
APT::Architectures { "amd64"; };
APT::Sandbox::User "root";
EOF
  # A mirror in mid-sync: the update is retried with back-off, and qemu-user fetched as soon as
  # the indexes in place have it (scripts/install-deps.sh).
  source "$here/../install-deps.sh"
  fetch_qemu() { (cd "$A/deb" && APT_CONFIG="$A/apt.conf" apt-get -o Acquire::Retries=3 download -q qemu-user >&2); }
  korvo_apt_update_then env APT_CONFIG="$A/apt.conf" apt-get -o Acquire::Retries=3 update -qq -- fetch_qemu >&2 \
    || die "qemu-user could not be fetched from $mirror ($suites)"
  deb=$(ls "$A"/deb/qemu-user_*.deb | head -1)
  tmp=$(mktemp -d)
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tmp" ./usr/bin/qemu-i386 || die "qemu-i386 not in $deb"
  install -m 0755 "$tmp/usr/bin/qemu-i386" "$W/qemu-i386"
  basename "$deb" > "$W/qemu-i386.source"
  rm -rf "$tmp" "$A"   # the package lists (about 180 MB) are not needed any more
  qemu_ok || die "qemu-i386 from $(basename "$deb") is older than 8.1 or does not run"
fi

# ---- pe32fix.so, rebuilt when its source changes
if ! cmp -s "$here/pe32fix.c" "$H/src/pe32fix.c" || [ ! -s "$W/pe32fix.so" ]; then
  act "building pe32fix.so"
  mkdir -p "$H/src"
  gcc -m32 -O2 -fPIC -shared -nostdlib -Wall -o "$W/pe32fix.so.tmp" "$here/pe32fix.c" \
    /usr/lib/i386-linux-gnu/libc.so.6 || die "building pe32fix.so failed"
  mv "$W/pe32fix.so.tmp" "$W/pe32fix.so"
  cp "$here/pe32fix.c" "$H/src/pe32fix.c"
fi

# ---- private loader folder
# Wine finds its libraries relative to the loader's own path (as qemu reports it) and starts
# every new 32-bit process through <loader folder>/wine-preloader. The loaders must be copies:
# a symbolic link would resolve back to /usr/lib/wine, where no preloader is.
for f in wine wine64; do
  cmp -s "/usr/lib/wine/$f" "$W/$f" || { act "copying /usr/lib/wine/$f"; install -m 0755 "/usr/lib/wine/$f" "$W/$f"; }
done
for l in i386-linux-gnu x86_64-linux-gnu; do
  [ "$(readlink "$H/lib/$l" 2>/dev/null)" = "/usr/lib/$l" ] || { act "linking lib/$l"; ln -sfn "/usr/lib/$l" "$H/lib/$l"; }
done
[ "$(readlink "$H/share/wine" 2>/dev/null)" = /usr/share/wine ] || { act "linking share/wine"; ln -sfn /usr/share/wine "$H/share/wine"; }

write_if_changed() {  # PATH MODE, content on stdin
  local tmp
  tmp=$(mktemp "$1.XXXX")
  cat > "$tmp"
  chmod "$2" "$tmp"
  if cmp -s "$tmp" "$1"; then rm -f "$tmp"; else act "writing ${1#"$H"/}"; mv "$tmp" "$1"; fi
}
write_if_changed "$W/wine-preloader" 0755 <<'EOF'
#!/bin/sh
# Wine calls this as: wine-preloader <loader folder>/wine ARGS... to start a 32-bit process.
d="${0%/*}"
exec "$d/qemu-i386" -E LD_PRELOAD="$d/pe32fix.so" "$@"
EOF
write_if_changed "$W/wineserver" 0755 <<'EOF'
#!/bin/sh
exec /usr/lib/wine/wineserver64 "$@"
EOF
write_if_changed "$H/bin/wine32" 0755 <<'EOF'
#!/bin/sh
# wine32 ARGS...: as "wine ARGS...", with the i386 loader emulated.
d="$(dirname "$(readlink -f "$0")")/../lib/wine"
export WINELOADERNOEXEC=1
exec "$d/qemu-i386" -E LD_PRELOAD="$d/pe32fix.so" "$d/wine" "$@"
EOF

out=$("$W/qemu-i386" "$W/wine" --version 2>&1) || die "the i386 Wine loader does not start under qemu-i386: $out"
[ "$did" = 0 ] || echo "32-bit route: ready in $H ($out, $("$W/qemu-i386" --version | head -1))" >&2
exit 0
