#!/bin/sh
# install_test.sh BUILD_DIR SCRATCH_DIR: installs the build into a scratch prefix, checks
# the library's SONAME and the development files, then builds a small C host against the
# installed files twice, with pkg-config and with CMake's find_package, and runs both; the
# shipped C examples must build, and the installed fpctl must find the installed library by
# itself.
set -eu
build=$1
scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix=$scratch/prefix
rm -rf "$scratch"
mkdir -p "$scratch"

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"
libdir=$(dirname "$(find "$prefix" -name 'libfpdriver.so.1' | head -n 1)")
[ -n "$libdir" ] || { echo "no libfpdriver.so.1 installed"; exit 1; }
soname=$(readelf -d "$libdir/libfpdriver.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libfpdriver.so.1 ] || { echo "SONAME is '$soname'"; exit 1; }
ls "$libdir"/libfpdriver.so.1.* >/dev/null || { echo "no versioned library file"; exit 1; }
for f in "$libdir/libfpdriver.so" "$prefix/include/fpdriver/fpdriver.h" "$libdir/pkgconfig/fpdriver.pc" \
         "$libdir/cmake/fpdriver/fpdriverConfig.cmake" "$prefix/bin/fpctl" "$prefix/bin/fpemu" \
         "$prefix/share/doc/fpdriver/requests.md"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done

# pkg-config
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs fpdriver)
cc -std=c11 -Wall -Werror "$here/host/host.c" $flags -o "$scratch/host_pkgconfig"
LD_LIBRARY_PATH="$libdir" "$scratch/host_pkgconfig"
# The host examples shipped with the documentation build against the shipped header.
examples=$prefix/share/doc/fpdriver/examples/c
cc -std=c11 -Wall -Werror "$examples/sale.c" $flags -o "$scratch/example_sale"
cc -std=c11 -Wall -Werror "$examples/dlopen_host.c" -ldl -o "$scratch/example_dlopen_host"

# CMake package
cmake -S "$here/host" -B "$scratch/host_cmake" -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/host_cmake.log"
cmake --build "$scratch/host_cmake" >>"$scratch/host_cmake.log"
LD_LIBRARY_PATH="$libdir" "$scratch/host_cmake/host"

# The installed command-line host finds the installed library beside it.
"$prefix/bin/fpctl" VERSION VNRP_TARVOLX40FPETH_10
echo "installed build works"
