#!/usr/bin/env bash
# Runs Doxygen over the installed headers (ZidVersion.h with them) through the build's zid_doc
# target and fails on any warning, with their count and the first ones; the reference lands in
# BUILD/doc/html. Then compiles every example in those headers and on the front page
# (docs/mainpage.dox) that is a whole program (a code block with "int main("), as a consumer
# would against <prefix>/include, and fails on any error or warning.
#
#   scripts/doc-check.sh [BUILD]   BUILD: a configured build folder (default ${BUILD_DIR:-build});
#                                  without one, a library-only build-doc/ is configured
set -euo pipefail
cd "$(dirname "$0")/.."
command -v doxygen >/dev/null || { echo "doxygen is missing (scripts/setup.sh installs it)" >&2; exit 1; }
build=${1:-${BUILD_DIR:-build}}
if [ ! -f "$build/CMakeCache.txt" ]; then
  [ -n "${1:-}" ] || build=build-doc
  # Configuring is enough: the target stages the headers, it needs no compiled library.
  cmake -S . -B "$build" -DZID_BUILD_TESTS=OFF -DZID_BUILD_TOOLS=OFF -DZID_BUILD_INSTALLER=OFF \
        -DZID_BUILD_EXAMPLES=OFF >/dev/null
fi
if ! cmake --build "$build" --target zid_doc; then
  log=$build/doc/warnings.log
  count=$(grep -cE ': (warning|error): ' "$log" 2>/dev/null || true)
  echo "doc-check: ${count:-no} Doxygen warnings over the installed headers; all of them in $log" >&2
  exit 1
fi

# zid_doc leaves the staged headers in place: the examples see exactly what is installed.
stage=$build/doc/stage/include
examples=$build/doc/examples
rm -rf "$examples" && mkdir -p "$examples"
while IFS= read -r header; do
  name=$(echo "${header#"$stage"/}" | tr '/.' '__')
  awk -v out="$examples/$name" '
    /^[ \t]*\/\/\/ ?@code/    { inside = 1; text = ""; next }
    /^[ \t]*\/\/\/ ?@endcode/ { inside = 0
                                 if (text ~ /int main\(/) { n++; printf "%s", text > (out "." n ".cpp") }
                                 next }
    inside { line = $0; sub(/^[ \t]*\/\/\/ ?/, "", line); text = text line "\n" }
  ' "$header"
done < <(find "$stage/zid" -name '*.h' | sort; echo docs/mainpage.dox)
compiled=0
for example in "$examples"/*.cpp; do
  [ -e "$example" ] || continue
  if ! "${CXX:-c++}" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I "$stage" "$example"; then
    echo "doc-check: the example $example (from the installed headers) does not compile" >&2
    exit 1
  fi
  compiled=$((compiled + 1))
done
if [ "$compiled" -eq 0 ]; then
  echo "doc-check: no whole-program example found in the installed headers (ZidAPI.h has one)" >&2
  exit 1
fi
echo "doc-check: no Doxygen warning; $compiled example(s) of the headers and the front page compile"
