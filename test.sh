#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test through ctest.
#   ./test.sh          release build with debug info in build/
#   ./test.sh --asan   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   ./test.sh --tsan   ThreadSanitizer build in build-tsan/
# Further arguments are handed to ctest (for example -R tests_base).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

dir=build
flags=()
case "${1:-}" in
  --asan) dir=build-asan; flags=(-DSPARK_ASAN=ON -DCMAKE_BUILD_TYPE=Debug); shift ;;
  --tsan) dir=build-tsan; flags=(-DSPARK_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo); shift ;;
esac

cmake -S . -B "$dir" -G Ninja "${flags[@]}" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc)"

export SPARK_TEST=1
export LIBGL_ALWAYS_SOFTWARE=1
export SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1}
# tests that need a window or GL get a virtual display; -noreset keeps the server from
# resetting whenever its last client leaves, which refuses connections made meanwhile
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" \
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$(nproc)" "$@"
