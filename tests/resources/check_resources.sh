#!/usr/bin/env bash
# Checks the finished Korvo.exe from the outside, on the build host:
# PE kind, no MinGW runtime DLLs, the three icon groups with all thirteen
# images, the version resource, the manifest, and no stray resource types.
#
# usage: check_resources.sh EXE [i686|x86_64]     (default i686)
# Prints one PASS/FAIL line per check and "N passed, M failed"; exits
# non-zero when anything failed or could not be checked.

set -u

exe=${1:-}
arch=${2:-i686}

if [ -z "$exe" ]; then
  echo "usage: $0 EXE [i686|x86_64]" >&2
  exit 2
fi

case "$arch" in
  i686)   want_file='PE32 executable (GUI) Intel 80386' manifest_arch=x86 ;;
  x86_64) want_file='PE32+ executable (GUI) x86-64' manifest_arch=amd64 ;;
  *) echo "check_resources: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
esac
objdump=${arch}-w64-mingw32-objdump

# Nothing can be checked without these: say so in the usual form and stop.
give_up() {
  echo "FAIL: $*"
  echo "0 passed, 1 failed"
  exit 1
}
for tool in file "$objdump" wrestool icotool python3; do
  command -v "$tool" >/dev/null 2>&1 ||
    give_up "required tool '$tool' not found (packages: file, binutils-mingw-w64, icoutils, python3)"
done
[ -f "$exe" ] || give_up "no such file: $exe"

work=$(mktemp -d "${TMPDIR:-/tmp}/check_resources.XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

# Relays PASS/FAIL lines produced by a helper and counts them.  A helper
# that dies without reporting anything is itself a failure.
relay() {
  local what=$1 line seen=0
  shift
  while IFS= read -r line; do
    case "$line" in
      PASS:*) echo "$line"; passed=$((passed + 1)); seen=1 ;;
      FAIL:*) echo "$line"; failed=$((failed + 1)); seen=1 ;;
      *) echo "  $line" ;;
    esac
  done < <("$@" 2>&1)
  [ "$seen" = 1 ] || fail "$what: checker produced no verdict"
}

# --- PE kind --------------------------------------------------------------
desc=$(file -b "$exe")
case "$desc" in
  "$want_file"*) pass "file: $want_file" ;;
  *) fail "file: expected '$want_file', got '$desc'" ;;
esac

# --- imported DLLs --------------------------------------------------------
# A static build imports only system DLLs; any lib*.dll (libstdc++, libgcc,
# libwinpthread...) or mingw*.dll would have to be shipped beside the exe.
if dump=$("$objdump" -p "$exe" 2>&1); then
  dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
  if [ -z "$dlls" ]; then
    fail "imports: objdump listed no DLL at all (import table unreadable?)"
  else
    bad=$(printf '%s\n' "$dlls" | grep -Ei '^(lib|mingw)' || true)
    if [ -n "$bad" ]; then
      fail "imports: runtime DLLs must be linked statically, found: $(echo $bad)"
    else
      pass "imports: only system DLLs ($(echo $dlls))"
    fi
  fi
else
  fail "imports: $objdump -p failed: $dump"
fi

# --- no C++ exception machinery -------------------------------------------
# The program is built without it (launcher/lean_runtime.cpp); a library part that needs it (a
# buffered sort's nothrow new, say) brings in the unwinder and the verbose terminate handler.
grep -q -a 'terminate called' "$exe" && fail "lean runtime: the C++ library's exception machinery is linked in" ||
  pass "lean runtime: no C++ exception machinery"

# --- resource directory ---------------------------------------------------
if ! listing=$(wrestool -l "$exe" 2>&1); then
  fail "resources: wrestool -l failed: $listing"
  listing=
fi

stray=$(printf '%s\n' "$listing" | grep -E '^--type=(4|5|6) ' || true)
if [ -n "$listing" ] && [ -z "$stray" ]; then
  pass "resources: no menu (4), dialog (5) or string table (6)"
else
  fail "resources: unexpected menu/dialog/string table or no listing: $(echo ${stray:-empty listing})"
fi

# --- icon groups ----------------------------------------------------------
# (width height bit-depth) of every image, compared as sorted sets.
expected_icons=$(LC_ALL=C sort <<'EOF'
16 16 4
16 16 8
16 16 32
24 24 4
24 24 8
24 24 32
256 256 32
32 32 4
32 32 8
32 32 32
48 48 4
48 48 8
48 48 32
EOF
)

for id in 101 104 106; do
  if ! printf '%s\n' "$listing" | grep -qE "^--type=14 --name=$id "; then
    fail "icon group $id: missing"
    continue
  fi
  ico="$work/group$id.ico"
  if ! wrestool -x --type=14 --name=$id -o "$ico" "$exe" 2>"$work/err" || [ ! -s "$ico" ]; then
    fail "icon group $id: extraction failed: $(cat "$work/err")"
    continue
  fi
  got=$(icotool -l "$ico" 2>&1 |
        sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\) --bit-depth=\([0-9]*\).*/\1 \2 \3/p' | LC_ALL=C sort)
  if [ "$got" = "$expected_icons" ]; then
    pass "icon group $id: 13 images, 48/32/24/16 at 4 and 8 bpp, 256/48/32/24/16 at 32 bpp"
  else
    fail "icon group $id: image set differs; got (w h bpp): $(echo $got)"
  fi
  # The directory could claim one thing and the data hold another: look inside.
  relay "icon group $id data" python3 - "$ico" "$id" <<'PY'
import struct, sys
path, gid = sys.argv[1], sys.argv[2]
data = open(path, 'rb').read()
problems = []
png_ok = False
dibs = 0
try:
    _, kind, count = struct.unpack_from('<HHH', data, 0)
    if kind != 1:
        problems.append('not an icon file (type %d)' % kind)
    for i in range(count):
        w, h, colors, _, planes, bpp, size, off = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
        w, h = w or 256, h or 256
        blob = data[off:off + size]
        if len(blob) != size:
            problems.append('image %d truncated' % (i + 1))
            continue
        if blob[:8] == b'\x89PNG\r\n\x1a\n':
            pw, ph, depth, ctype = struct.unpack_from('>IIBB', blob, 16)
            if (w, pw, ph) != (256, 256, 256) or depth != 8 or ctype != 6:
                problems.append('image %d: PNG %dx%d depth %d colour type %d where a 256 px RGBA PNG belongs'
                                % (i + 1, pw, ph, depth, ctype))
            else:
                png_ok = True
        else:
            dibs += 1
            hs, bw, bh, bplanes, bbpp = struct.unpack_from('<IiiHH', blob, 0)
            if w == 256:
                problems.append('image %d: 256 px image stored as DIB, not PNG' % (i + 1))
            if hs != 40 or bw != w or bh != 2 * h or bbpp != bpp:
                problems.append('image %d: DIB header %dx%d/2 %d bpp disagrees with directory %dx%d %d bpp'
                                % (i + 1, bw, bh, bbpp, w, h, bpp))
            palette = (1 << bbpp) if bbpp <= 8 else 0
            stride = ((bw * bbpp + 31) // 32) * 4
            mask = ((bw + 31) // 32) * 4
            need = hs + 4 * palette + (stride + mask) * (bh // 2)
            if len(blob) < need:
                problems.append('image %d: %d bytes, needs %d for pixels and AND mask' % (i + 1, len(blob), need))
except struct.error as e:
    problems.append('malformed icon data: %s' % e)
if not png_ok:
    problems.append('no 256x256 PNG image')
if problems:
    print('FAIL: icon group %s data: %s' % (gid, '; '.join(problems)))
else:
    print('PASS: icon group %s data: 256 px is PNG, %d DIBs agree with the directory' % (gid, dibs))
PY
done

# --- version information --------------------------------------------------
ver="$work/version.bin"
if ! printf '%s\n' "$listing" | grep -qE '^--type=16 '; then
  fail "version: no version resource"
elif ! wrestool -x --raw --type=16 -o "$ver" "$exe" 2>"$work/err" || [ ! -s "$ver" ]; then
  fail "version: extraction failed: $(cat "$work/err")"
else
  relay "version" python3 - "$ver" <<'PY'
import struct, sys

blob = open(sys.argv[1], 'rb').read()

def align(n):
    return (n + 3) & ~3

def node(off):
    """One VS_VERSIONINFO-style block: (key, type, value bytes, children, length)."""
    length, vlen, vtype = struct.unpack_from('<HHH', blob, off)
    end = off + length
    pos = off + 6
    key_end = pos
    while blob[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = blob[pos:key_end].decode('utf-16-le')
    pos = align(key_end + 2)
    vbytes = vlen * 2 if vtype == 1 else vlen
    value = blob[pos:min(pos + vbytes, end)]
    pos = align(pos + vbytes)
    children = []
    while pos < end:
        child = node(pos)
        if child[4] == 0:
            break
        children.append(child)
        pos = align(pos + child[4])
    return key, vtype, value, children, length

def text(value):
    s = value.decode('utf-16-le', 'replace')
    return s.split('\0', 1)[0]

def check(ok, what):
    print(('PASS: ' if ok else 'FAIL: ') + what)

try:
    root = node(0)
except (struct.error, UnicodeDecodeError, IndexError) as e:
    print('FAIL: version: resource does not parse: %s' % e)
    sys.exit(0)

key, _, fixed, kids, _ = root
check(key == 'VS_VERSION_INFO', 'version: root block is VS_VERSION_INFO (got %r)' % key)
if len(fixed) >= 52:
    (sig, _, fms, fls, pms, pls, _, _, fos, ftype, _, _, _) = struct.unpack_from('<13I', fixed, 0)
    check(sig == 0xFEEF04BD, 'version: VS_FIXEDFILEINFO signature (0x%08X)' % sig)
    check((fms, fls) == (0x0001000B, 0x00000024),
          'version: fixed file version 1.11.0.36 (MS=0x%08X LS=0x%08X)' % (fms, fls))
    check((pms, pls) == (0x0001000B, 0x00000024),
          'version: fixed product version 1.11.0.36 (MS=0x%08X LS=0x%08X)' % (pms, pls))
    check(fos in (0x00040004, 0x00000004) and ftype == 1,
          'version: file OS Win32 and type VFT_APP (os=0x%X type=%d)' % (fos, ftype))
else:
    check(False, 'version: VS_FIXEDFILEINFO missing or short (%d bytes)' % len(fixed))

blocks = {k[0]: k for k in kids}
sfi = blocks.get('StringFileInfo')
tables = [t for t in sfi[3]] if sfi else []
check([t[0] for t in tables] == ['040904b0'],
      'version: one string table, 040904b0 (found %s)' % [t[0] for t in tables])
strings = {}
for t in tables:
    if t[0] == '040904b0':
        strings = {s[0]: text(s[2]) for s in t[3]}
wanted = [('FileVersion', '1.11'), ('ProductVersion', '1.11'), ('ProductName', 'Korvo'),
          ('FileDescription', 'Korvo'), ('InternalName', 'Korvo'), ('OriginalFilename', 'Korvo.exe')]
for name, value in wanted:
    got = strings.get(name)
    check(got == value, 'version: %s = %r (got %r)' % (name, value, got))

vfi = blocks.get('VarFileInfo')
trans = [v for v in (vfi[3] if vfi else []) if v[0] == 'Translation']
got = trans[0][2] if trans else b''
check(got == struct.pack('<HH', 0x409, 1200),
      'version: Translation 0x409, 1200 (got %s)' % (got.hex() or 'none'))
PY
fi

# --- manifest -------------------------------------------------------------
# Read by Python's own XML parser, against the names Windows documents for an
# application manifest.
manifest="$work/manifest.xml"
manifests=$(printf '%s\n' "$listing" | grep -E '^--type=24 ' || true)
if [ "$(printf '%s\n' "$manifests" | grep -cE '^--type=24 --name=1 ')" != 1 ] ||
   [ "$(printf '%s\n' "$manifests" | grep -c .)" != 1 ]; then
  fail "manifest: expected one, as type 24 name 1; found: $(echo ${manifests:-none})"
elif ! wrestool -x --raw --type=24 --name=1 -o "$manifest" "$exe" 2>"$work/err" || [ ! -s "$manifest" ]; then
  fail "manifest: extraction failed: $(cat "$work/err")"
else
  pass "manifest: one, as type 24 name 1"
  relay "manifest" python3 - "$manifest" "$manifest_arch" <<'PY'
import sys
import xml.etree.ElementTree as ET

path, arch = sys.argv[1], sys.argv[2]
ASM1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM3 = '{urn:schemas-microsoft-com:asm.v3}'
COMPAT = '{urn:schemas-microsoft-com:compatibility.v1}'

def check(ok, what):
    print(('PASS: ' if ok else 'FAIL: ') + what)

try:
    root = ET.parse(path).getroot()
except ET.ParseError as e:
    print('FAIL: manifest: not well-formed XML: %s' % e)
    sys.exit(0)
check(root.tag == ASM1 + 'assembly' and root.get('manifestVersion') == '1.0',
      'manifest: well-formed, an asm.v1 assembly of manifestVersion 1.0 (root %s)' % root.tag)

levels = root.findall('./%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel' % ((ASM3,) * 4))
got = [(e.get('level'), e.get('uiAccess')) for e in levels]
check(got == [('asInvoker', 'false')], 'manifest: requestedExecutionLevel asInvoker, uiAccess false (got %s)' % got)

wanted = {'type': 'win32', 'name': 'Microsoft.Windows.Common-Controls', 'version': '6.0.0.0',
          'processorArchitecture': arch, 'publicKeyToken': '6595b64144ccf1df', 'language': '*'}
deps = [dict(e.attrib) for e in root.findall('./%sdependency/%sdependentAssembly/%sassemblyIdentity' % ((ASM1,) * 3))]
check(deps == [wanted], 'manifest: one dependency, Common Controls 6.0.0.0 for %s (got %s)' % (arch, deps))

oses = [e.get('Id') for e in root.findall('./%scompatibility/%sapplication/%ssupportedOS' % ((COMPAT,) * 3))]
vista_to_11 = ['{e2011457-1546-43c5-a5fe-008deee3d3f0}', '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
               '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}', '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',
               '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}']
check(sorted(oses) == sorted(vista_to_11), 'manifest: supportedOS Vista, 7, 8, 8.1, 10 and 11 (got %s)' % oses)

dpi = [e.tag for e in root.iter() if e.tag.split('}')[-1] in ('dpiAware', 'dpiAwareness')]
check(not dpi, 'manifest: no DPI awareness declared (found %s)' % dpi)
PY
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
