#!/usr/bin/env bash
# Builds Orvane and starts it.
#   scripts/run.sh              - against the phones attached by USB (needs adb)
#   scripts/run.sh --phonesim   - against a simulated phone, no hardware needed
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build/release"
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/orvane-ccache}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$build" -j "$(nproc)" --target Orvane OrvaneAgent

if [ "${1:-}" = "--phonesim" ]; then
  shift
  exec python3 "$root/tests/phonesim/phonesim.py" run-app --app "$build/bin/Orvane" -- "$@"
fi
exec "$build/bin/Orvane" "$@"
