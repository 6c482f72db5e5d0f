#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/velor.sh run   install what is missing, build, start the workstation on the demo study
#   scripts/velor.sh test  install what is missing, build, run every test
#   scripts/velor.sh build install what is missing and build
#   scripts/velor.sh sanitize  an AddressSanitizer + UndefinedBehaviorSanitizer build
#                      of velor-cli and every test (in build-sanitize/), run
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELOR_BUILD_DIR:-$here/build}"

packages=(g++ cmake ninja-build pkgconf libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev libcli11-dev nlohmann-json3-dev xvfb xauth fonts-dejavu-core ccache poppler-utils
  libfftw3-dev libeegdev-dev eegdev-plugins-free)
# Only for `test`: an independent reader (MNE, for Debian's /usr/bin/python3)
# that the foreign-format tests compare physical values with; about 65
# packages, roughly 70 s to install.
test_packages=(python3-mne)

install_missing() {
  local missing=()
  for p in "${packages[@]}" "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_all() {
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --parallel "$(nproc)"
}

cmd="${1:-run}"
case "$cmd" in
  run)
    install_missing
    build_all
    demo="$build/demo/demo.cad"
    if [ ! -f "$demo" ]; then
      mkdir -p "$build/demo"
      "$build/velor-cli" demo "$demo"
    fi
    cd "$build/demo"
    exec "$build/velor" "$demo"
    ;;
  test)
    install_missing "${test_packages[@]}"
    build_all
    ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600
    ;;
  build)
    install_missing
    build_all
    ;;
  sanitize)
    install_missing "${test_packages[@]}"
    sbuild="${VELOR_SANITIZE_DIR:-$here/build-sanitize}"
    cmake -S "$here" -B "$sbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
    cmake --build "$sbuild" --parallel "$(nproc)"
    # any report fails the test that caused it; Qt's and fontconfig's caches
    # that live until exit are not leaks of ours
    export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp:print_suppressions=0"
    ctest --test-dir "$sbuild" --output-on-failure --parallel "$(nproc)" --timeout 1800
    ;;
  *)
    echo "usage: scripts/velor.sh run|test|build|sanitize" >&2
    exit 2
    ;;
esac
