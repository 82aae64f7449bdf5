#!/usr/bin/env bash
# Installs libzid into a temporary prefix, builds the consumer project out of tree against it
# with find_package and with pkg-config, and runs both against zid-local-service.
#
#   run_package.sh static|shared SOURCE_DIR BUILD_DIR SERVICE VERSION CXX CXXFLAGS LDFLAGS
#
# static: installs what BUILD_DIR built (a static libzid) and checks the installed headers.
# shared: configures and builds the library alone with BUILD_SHARED_LIBS=ON first.
set -euo pipefail
mode=$1 source_dir=$2 build_dir=$3 service=$4 version=$5 cxx=$6 cxxflags=$7 ldflags=$8
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_package_XXXXXX)
trap zid_cleanup EXIT
zid_work=$work
prefix=$work/prefix

if [ "$mode" = shared ]; then
  # Unoptimised: this build is here for its link, its names and its package, not its speed.
  cmake -S "$source_dir" -B "$work/lib" -DCMAKE_BUILD_TYPE=None -DBUILD_SHARED_LIBS=ON \
        -DZID_BUILD_TESTS=OFF -DZID_BUILD_TOOLS=OFF -DZID_BUILD_INSTALLER=OFF -DZID_BUILD_EXAMPLES=OFF \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" \
        -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" > "$work/lib.log"
  cmake --build "$work/lib" -j3 >> "$work/lib.log" || { cat "$work/lib.log" >&2; exit 1; }
  build_dir=$work/lib
fi
cmake --install "$build_dir" --prefix "$prefix" > /dev/null

pc=$(find "$prefix" -name zid.pc)
[ -n "$pc" ] || { echo "no zid.pc installed" >&2; exit 1; }
export PKG_CONFIG_PATH=$(dirname "$pc")
[ "$(pkg-config --modversion zid)" = "$version" ] || { echo "zid.pc says $(pkg-config --modversion zid)" >&2; exit 1; }
libdir=$(pkg-config --variable=libdir zid)

if [ "$mode" = shared ]; then
  major_minor=${version%.*}
  soname=$(readelf -d "$libdir/libzid.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "libzid.so.$major_minor" ] || { echo "SONAME is '$soname'" >&2; exit 1; }
  [ "$(readlink "$libdir/libzid.so")" = "libzid.so.$major_minor" ] || { echo "libzid.so link" >&2; exit 1; }
else
  # A consumer needs neither Poco's nor rapidxml's headers, and every header stands alone.
  if grep -rlE '^\s*#\s*include\s*<(Poco|rapidxml)' "$prefix/include"; then
    echo "installed headers above include Poco or rapidxml" >&2
    exit 1
  fi
  includedir=$(pkg-config --variable=includedir zid)
  (cd "$includedir" && find . -name '*.h' | sed 's|^\./||') | while read -r h; do
    echo "#include \"$h\"" | "$cxx" -std=c++17 -fsyntax-only -I"$includedir" -x c++ - \
      || { echo "installed header $h does not compile on its own" >&2; exit 1; }
  done
fi

# find_package alone must bring every dependency the link needs.
cmake -S "$here/consumer" -B "$work/fp" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" > "$work/fp.log" \
  || { cat "$work/fp.log" >&2; exit 1; }
cmake --build "$work/fp" > "$work/fp.log" 2>&1 || { cat "$work/fp.log" >&2; exit 1; }

# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++17 $cxxflags "$here/consumer/main.cpp" -o "$work/pc_consumer" \
       $(pkg-config --cflags --libs zid) $ldflags

zid_start_service "$service" "$work" "$work/seed"
zid_write_config "$work/config.json" ""
for consumer in "$work/fp/zid_consumer" "$work/pc_consumer"; do
  LD_LIBRARY_PATH=$libdir "$consumer" "$work/config.json" consumer | tee "$work/consumer.out"
  grep -qx "zid $version ($version)" "$work/consumer.out"
  grep -qx "put, read back and deleted consumer/consumer/hello.txt" "$work/consumer.out"
done
echo "package ($mode): installed, built with find_package and pkg-config, ran against the service"
