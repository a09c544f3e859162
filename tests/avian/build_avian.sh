#!/usr/bin/env bash
# Builds the Avian Java virtual machine (ISC licence) from its source archive and the patches
# beside it into a self-contained jvm.dll (class library inside) and its classpath.jar, and
# installs them as a private runtime: OUT/jre1.6.0_02/bin/client/jvm.dll, OUT/classpath.jar.
# The source is unpacked into WORK once; Avian's own makefile then builds incrementally.
# Usage: build_avian.sh AVIAN_DIR WORK OUT ARCH(i386|x86_64) JAVA_HOME JNI_MD_H
set -euo pipefail
avian=$1 work=$2 out=$3 arch=$4 java_home=$5 jni_md=$6

fail() { echo "Avian build failed ($arch): $*" >&2; exit 1; }

case $arch in
  i386)   triple=i686-w64-mingw32;   mflag=-m32; support_var=win32 ;;
  x86_64) triple=x86_64-w64-mingw32; mflag=-m64; support_var=win64 ;;
  *) fail "unknown architecture '$arch'" ;;
esac
tarball=$(ls "$avian"/avian-*.tar.gz 2>/dev/null | head -n1)
[ -n "$tarball" ] || fail "no avian-*.tar.gz in $avian"
zlib=/usr/$triple/lib/libz.a
[ -f "$zlib" ] || fail "$zlib missing (Debian package libz-mingw-w64-dev)"

src=$work/src
stamp=$work/unpacked.stamp
if [ ! -f "$stamp" ] || [ "$tarball" -nt "$stamp" ] || [ -n "$(find "$avian/patches" -newer "$stamp" -print -quit)" ]; then
  rm -rf "$src" "$stamp"
  mkdir -p "$src"
  tar -xzf "$tarball" -C "$src" || fail "cannot unpack $tarball"
  for p in "$avian"/patches/*.patch; do
    patch -s -d "$src" -p1 < "$p" || fail "patch $(basename "$p") does not apply"
  done
  touch "$stamp"
fi

# The support folder Avian's makefile expects: a Windows jni_md.h (stdcall, 32-bit jint) and a
# static zlib first on the library path, so that jvm.dll needs no zlib1.dll.
support=$work/support
mkdir -p "$support/include" "$support/lib"
cp -u "$jni_md" "$support/include/jni_md.h"
cp -u "$zlib" "$support/lib/libz.a"

log=$work/build.log
# java-version=8: the makefile cannot read JDK 17's version string; with 8 it compiles its class
# library for 1.8 against its own boot class path.
if ! make -C "$src" -j2 platform=windows arch="$arch" java-version=8 \
    JAVA_HOME="$java_home" "$support_var=$support" \
    cxx="$triple-g++-posix $mflag" cc="$triple-gcc-posix $mflag" \
    extra-lflags="-static-libgcc" \
    "build/windows-$arch/jvm.dll" "build/windows-$arch/classpath.jar" > "$log" 2>&1; then
  tail -n 30 "$log" >&2
  fail "make stopped; the whole output is in $log"
fi

mkdir -p "$out/jre1.6.0_02/bin/client"
cp "$src/build/windows-$arch/jvm.dll" "$out/jre1.6.0_02/bin/client/jvm.dll"
cp "$src/build/windows-$arch/classpath.jar" "$out/classpath.jar"
