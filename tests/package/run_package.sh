#!/usr/bin/env bash
# Installs libzid into a temporary prefix, builds the consumer project out of tree against it
# with find_package and with pkg-config, and runs both against zid-local-service.
#
#   run_package.sh static|shared SOURCE_DIR BUILD_DIR SERVICE VERSION CXX CXXFLAGS LDFLAGS [RUNS]
#
# static: installs what BUILD_DIR built (a static libzid) and checks the installed headers.
# shared: configures and builds the library alone with BUILD_SHARED_LIBS=ON first, checks what
#         it exports, and runs the examples built against it through their own test scripts
#         (RUNS: a file of "SCRIPT:PROGRAM,PROGRAM..." lines, scripts under tests/examples).
set -euo pipefail
mode=$1 source_dir=$2 build_dir=$3 service=$4 version=$5 cxx=$6 cxxflags=$7 ldflags=$8
runs=${9:-}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/local_service.sh"

work=$(mktemp -d /tmp/zid_package_XXXXXX)
trap zid_cleanup EXIT
zid_work=$work
prefix=$work/prefix
fail() { echo "$*" >&2; exit 1; }

# The folder a program loads libzid from without LD_LIBRARY_PATH, whatever the path's spelling.
loaded_from() {
  local lib
  lib=$(env -u LD_LIBRARY_PATH ldd "$1" | sed -n 's/^\s*libzid\.so[^ ]* => \(\S*\) .*/\1/p')
  if [ -n "$lib" ]; then dirname "$(realpath "$lib")"; fi
}

if [ "$mode" = shared ]; then
  # Unoptimised: this build is here for its link, its names and its package, not its speed.
  cmake -S "$source_dir" -B "$work/lib" -DCMAKE_BUILD_TYPE=None -DBUILD_SHARED_LIBS=ON \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DZID_BUILD_TESTS=OFF -DZID_BUILD_TOOLS=OFF -DZID_BUILD_INSTALLER=OFF -DZID_BUILD_EXAMPLES=OFF \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" \
        -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" > "$work/lib.log"
  cmake --build "$work/lib" -j3 >> "$work/lib.log" || { cat "$work/lib.log" >&2; exit 1; }
  build_dir=$work/lib
fi
cmake --install "$build_dir" --prefix "$prefix" > /dev/null

# Every header lies under include/zid, so a consumer's include path is <prefix>/include alone.
[ "$(ls "$prefix/include")" = zid ] || fail "installed beside include/zid: $(ls "$prefix/include")"
pc=$(find "$prefix" -name zid.pc)
[ -n "$pc" ] || fail "no zid.pc installed"
export PKG_CONFIG_PATH=$(dirname "$pc")
[ "$(pkg-config --modversion zid)" = "$version" ] || fail "zid.pc says $(pkg-config --modversion zid)"
[ "$(realpath "$(pkg-config --variable=includedir zid)")" = "$prefix/include" ] \
  || fail "zid.pc's include folder is $(pkg-config --variable=includedir zid)"
libdir=$(realpath "$(pkg-config --variable=libdir zid)")

if [ "$mode" = shared ]; then
  major_minor=${version%.*}
  soname=$(readelf -d "$libdir/libzid.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "libzid.so.$major_minor" ] || fail "SONAME is '$soname'"
  [ "$(readlink "$libdir/libzid.so")" = "libzid.so.$major_minor" ] || fail "libzid.so link"

  # Exports: what the installed headers mark ZID_API, nothing of the XML parser's (its own or
  # instantiated over its types: the name before the parameters), not the HTTP sender.
  nm -DC --defined-only "$libdir/libzid.so" | sed -E 's/^[0-9a-f]+ [A-Za-z] //' > "$work/exports"
  echo "libzid.so exports $(wc -l < "$work/exports") symbols"
  if sed 's/(.*//' "$work/exports" | grep 'rapidxml::'; then fail "rapidxml's symbols above are exported"; fi
  if grep 'HttpSender' "$work/exports"; then fail "the HTTP sender above is exported"; fi
  grep -rhoE '(class|struct) ZID_API \w+|ZID_API [^(;]*\b\w+\(' "$prefix/include" \
    | sed -E 's/\($//; s/.* //' | sort -u > "$work/marked"
  sed -nE 's/^([a-zA-Z -]+ (for|to) )?zuzezi_zid::(\w+).*/\3/p' "$work/exports" | sort -u > "$work/exported"
  grep -qx ZidAPI "$work/exported" || fail "ZidAPI is not exported"
  if comm -23 "$work/exported" "$work/marked" | grep .; then
    fail "exported above, but not marked ZID_API in an installed header"
  fi

  # zid.pc gives a consumer the rpath of a prefix outside the linker's own folders, and none
  # for a system one.
  grep -q -- '-Wl,-rpath,${libdir}' "$pc" || fail "no rpath in $pc"
  cmake -S "$source_dir" -B "$work/sys" -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX=/usr \
        -DZID_BUILD_TESTS=OFF -DZID_BUILD_TOOLS=OFF -DZID_BUILD_INSTALLER=OFF -DZID_BUILD_EXAMPLES=OFF \
        -DCMAKE_CXX_COMPILER="$cxx" > "$work/sys.log" || { cat "$work/sys.log" >&2; exit 1; }
  if grep -n rpath "$work/sys/src/zid.pc"; then fail "zid.pc for /usr carries an rpath"; fi
else
  # A consumer needs neither Poco's nor rapidxml's headers, and every header stands alone,
  # included as a consumer includes it, without a warning.
  if grep -rlE '^\s*#\s*include\s*<(Poco|rapidxml)' "$prefix/include"; then
    fail "installed headers above include Poco or rapidxml"
  fi
  (cd "$prefix/include" && find zid -name '*.h') | while read -r h; do
    echo "#include <$h>" | "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Wconversion \
                                  -Werror -I"$prefix/include" -x c++ - \
      || fail "installed header $h does not compile on its own"
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

if [ "$mode" = shared ]; then
  cmake -S "$source_dir/examples" -B "$work/ex" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$cxxflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$ldflags" > "$work/ex.log" || { cat "$work/ex.log" >&2; exit 1; }
  cmake --build "$work/ex" -j3 >> "$work/ex.log" 2>&1 || { cat "$work/ex.log" >&2; exit 1; }
  # Each program must load the installed libzid, found without LD_LIBRARY_PATH.
  for program in "$work/fp/zid_consumer" "$work/pc_consumer" "$work"/ex/example_*; do
    [ "$(loaded_from "$program")" = "$libdir" ] \
      || fail "$program does not load $libdir/libzid.so: $(ldd "$program" | grep libzid)"
  done
fi

mkdir -p "$work/seed/consumer-$zid_app_id"
zid_start_service "$service" "$work" "$work/seed"
zid_write_config "$work/config.json" ""
for consumer in "$work/fp/zid_consumer" "$work/pc_consumer"; do
  env -u LD_LIBRARY_PATH "$consumer" "$work/config.json" consumer | tee "$work/consumer.out"
  grep -qx "zid $version ($version)" "$work/consumer.out"
  grep -qx "put, read back and deleted consumer/consumer/hello.txt" "$work/consumer.out"
done
zid_stop_service

examples_run=0
if [ "$mode" = shared ] && [ -n "$runs" ]; then
  while IFS=: read -r script programs; do
    [ -n "$script" ] || continue
    files=()
    for p in ${programs//,/ }; do files+=("$work/ex/$p"); done
    env -u LD_LIBRARY_PATH bash "$source_dir/tests/examples/$script" "$service" "${files[@]}" \
      > "$work/example.log" 2>&1 || { cat "$work/example.log" >&2; fail "$script failed on the shared build"; }
    tail -n 1 "$work/example.log"
    examples_run=$((examples_run + 1))
  done < "$runs"
  [ "$examples_run" -gt 0 ] || fail "no example script listed in $runs"
  echo "package (shared): $examples_run example scripts passed on the examples built against it"
fi
echo "package ($mode): installed, built with find_package and pkg-config, ran against the service"
