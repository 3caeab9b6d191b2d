#!/usr/bin/env bash
# Quillon's one entry point on a fresh Debian 12 machine.
#   ./build.sh run    install what is missing, build, and start the standalone program
#   ./build.sh test   install what is missing, build everything, and run every test
#   ./build.sh bench  build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake g++ pkg-config ninja-build juce-modules-source libgtest-dev libbenchmark-dev
          ccache python3 xvfb xauth x11-utils procps libjack-jackd2-dev jackd2 libexpat1-dev)
# clang's RealtimeSanitizer, AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer.
clang_packages=(clang-22 libclang-rt-22-dev)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

jobs=$(nproc)
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1

configure() { # build-dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

case "${1:-}" in
    run)
        install_missing "${packages[@]}"
        configure build
        cmake --build build --target Quillon_Standalone -j "$jobs"
        exec build/Quillon_artefacts/Release/Standalone/Quillon
        ;;
    test)
        install_missing "${packages[@]}" "${clang_packages[@]}"
        start=$(date +%s)
        configure build
        cmake --build build -j "$jobs"
        ctest --test-dir build -j "$jobs" --output-on-failure --timeout 300
        # The real-time proof: the audio path built with clang's RealtimeSanitizer.
        configure build-rtsan -DCMAKE_C_COMPILER=clang-22 -DCMAKE_CXX_COMPILER=clang++-22 -DQUILLON_RTSAN=ON
        cmake --build build-rtsan --target quillon_rtsan_tests -j "$jobs"
        ctest --test-dir build-rtsan -j "$jobs" --output-on-failure --timeout 300
        # Memory and undefined-behaviour faults: the unit tests under AddressSanitizer and
        # UndefinedBehaviorSanitizer, and each fuzz target for a bounded time.
        configure build-asan -DCMAKE_C_COMPILER=clang-22 -DCMAKE_CXX_COMPILER=clang++-22 -DQUILLON_SANITIZE=ON
        cmake --build build-asan --target quillon_tests fuzz_stateblob fuzz_presetfile fuzz_themefile \
            fuzz_settingsfile fuzz_midi -j "$jobs"
        # Left out: the three slowest, which paint the whole editor over and over (every theme, every
        # scale) or sweep every controller value: together 8 minutes of a core under the
        # sanitizers, for paths the shorter editor and hand-over tests already take.
        ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 600 \
            -E '^asan\.(ThemeSwitchTest\.EveryBuiltInThemeLooksTheSameSwitchedOrStarted|EditorPaintTest\.NoTextOfTheEditorIsCutAtAnyScale|HandOver\.EveryParameterTakesEveryControllerValueToHostTreeDirtyFlagAndSavedState)$'
        echo "build and tests took $(( $(date +%s) - start )) s"
        ;;
    bench)
        install_missing "${packages[@]}"
        configure build -DQUILLON_BENCH=ON
        cmake --build build --target quillon_bench -j "$jobs"
        exec build/quillon_bench "${@:2}"
        ;;
    *)
        echo "usage: $0 run|test|bench" >&2
        exit 2
        ;;
esac
