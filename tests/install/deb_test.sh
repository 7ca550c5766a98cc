#!/bin/sh
# deb_test.sh BUILD_DIR SCRATCH_DIR: makes the Debian package with CPack and inspects it with
# dpkg-deb (it is not installed): the library with its SONAME link, the tools, the header,
# the documentation, and the runtime dependencies dpkg needs to pull on a clean system.
set -eu
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$build" && cpack -G DEB -B "$scratch" >"$scratch/cpack.log")
deb=$(ls "$scratch"/fpdriver_*.deb)
dpkg-deb -I "$deb"
dpkg-deb -c "$deb" >"$scratch/contents"
for f in 'usr/lib/.*libfpdriver\.so\.1 -> ' 'usr/lib/.*libfpdriver\.so\.1\.[0-9]' 'usr/bin/fpctl$' \
         'usr/bin/fpemu$' 'usr/include/fpdriver/fpdriver\.h$' 'usr/share/doc/fpdriver/requests\.md$' \
         'usr/lib/.*pkgconfig/fpdriver\.pc$' 'usr/lib/.*cmake/fpdriver/fpdriverConfig\.cmake$' \
         'usr/bin/fpd$' 'usr/lib/systemd/system/fpd\.service$' 'usr/share/doc/fpdriver/service\.md$'; do
  grep -q "$f" "$scratch/contents" || { echo "package lacks $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in libcurl4 libpugixml1v5 libjpeg62-turbo libfreetype6 libfontconfig1 libmicrohttpd12 libstdc++6 libc6; do
  echo "$depends" | grep -q "\b$p\b" || { echo "Depends lacks $p: $depends"; exit 1; }
done
echo "package ok"
