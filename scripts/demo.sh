#!/usr/bin/env bash
# The demo: posctl drives the test service object through the generic POSPrinter
# control, in a registry of its own, and prints every result and event.
set -euo pipefail
build=${1:-build/default}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KAVRO_REGISTRY="$work/registry.reg"
export KAVRO_IPC_PREFIX="kavro-demo-$$"

"$build/bin/posreg" register "$build/lib/libopos_generic.so" >/dev/null
"$build/bin/posreg" register "$build/lib/libkavro_testso.so" >/dev/null
"$build/bin/posreg" import "$here/config/demo.reg"

exec "$build/bin/posctl" --script "$here/scripts/demo.posctl"
