#!/usr/bin/env bash
# ./build.sh play   install what is missing, build, build the data set, play the show in a window
# ./build.sh test   install what is missing, build with the sanitizers, run every test
# ./build.sh bench  install what is missing, build optimised, run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config
  libsdl2-dev libgl-dev libgl1-mesa-dri libegl1 libegl-dev
  libpng-dev libjpeg-dev zlib1g-dev libvorbis-dev libogg-dev
  libboost-dev libgtk-3-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev xvfb
  # the X fonts a message box is drawn with; without them a box cannot show and its text is printed
  xfonts-base
  # an X server whose output a test can turn off, as a run killed half-way through a mode change leaves it
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

jobs=$(nproc)
cmd=${1:-}
case "$cmd" in
  test)
    install_missing
    cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTV_SANITIZE=ON -DTV_TESTS=ON
    cmake --build build-test -j "$jobs"
    UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-test --output-on-failure -j "$jobs" --timeout 300
    # Smoke pass of the fuzz targets (a few seconds each, from their seeds and kept inputs): a target
    # that no longer builds or fails at once is caught. They need clang with libFuzzer.
    if command -v clang++ >/dev/null; then
      FUZZ_SEED=1 fuzz/run 3
    else
      echo "clang++ not found: the fuzz targets are not run" >&2
    fi
    ;;
  bench)
    install_missing
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTV_TESTS=OFF -DTV_BENCH=ON
    cmake --build build-bench -j "$jobs"
    # Every benchmark runs, one that fails too; the programs' logs lie beside them and are skipped. A
    # program exits 1 when it misses a target and 2 when it cannot measure one (no GL device, no
    # encoder, a side that failed its check): a target not measured is not met. Any other non-zero exit
    # is a failure of its own. This step then fails too, naming each program with what went wrong.
    failed=()
    out=$(mktemp)
    trap 'rm -f "$out"' EXIT
    for b in build-bench/bin/bench_*; do
      [ -f "$b" ] && [ -x "$b" ] || continue
      echo "== $b"
      rc=0
      "$b" 2>&1 | tee "$out" || rc=${PIPESTATUS[0]}
      case "$rc" in
        0) continue ;;
        1) what="missed a target" ;;
        2) what="could not measure a target" ;;
        *) what="failed with exit code $rc" ;;
      esac
      failed+=("$(basename "$b") ($what)")
    done
    if [ ${#failed[@]} -ne 0 ]; then
      printf -v list '%s; ' "${failed[@]}"
      echo "benchmarks that failed, missed or could not measure a target: ${list%; }" >&2
      exit 1
    fi
    echo "every benchmark ran and met its targets"
    ;;
  play)
    install_missing
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTV_TESTS=OFF
    cmake --build build -j "$jobs"
    build/bin/vellacor06
    ;;
  *)
    echo "usage: $0 play|test|bench" >&2
    exit 2
    ;;
esac
