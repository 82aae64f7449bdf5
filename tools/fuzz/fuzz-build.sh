# Sourced by the run-*-fuzz.sh scripts: configures the clang build folder for the fuzz
# targets (libFuzzer + AddressSanitizer), one for every target so that running one after
# the other reconfigures nothing, and builds the target given.
# Usage: fuzz_build TARGET; sets $fuzz_dir.
fuzz_dir="${ZID_FUZZ_BUILD_DIR:-build-fuzz}"

fuzz_build() {
  CC=clang CXX=clang++ cmake -S . -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZID_BUILD_FUZZ=ON -DZID_BUILD_TESTS=OFF -DZID_BUILD_INSTALLER=ON -DZID_BUILD_EXAMPLES=OFF \
    "-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link,address" \
    "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address" >/dev/null
  cmake --build "$fuzz_dir" -j"${ZID_BUILD_JOBS:-3}" --target "$1"
}
