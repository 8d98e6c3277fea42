#!/usr/bin/env bash
# The demo: posctl drives the POS printer service (loop build) through the generic
# POSPrinter control against the simulated printer, then the test service object
# through the same control to show every kind of event. It uses a registry of its own
# and prints every result and event.
set -euo pipefail
build=${1:-build/default}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KAVRO_REGISTRY="$work/registry.reg"
export KAVRO_IPC_PREFIX="kavro-demo-$$"

for lib in opos_generic SOKAVROL kavro_testso; do
    "$build/bin/posreg" register "$build/lib/lib$lib.so" >/dev/null
done
"$build/bin/posreg" import "$here/config/loop-printer.reg"
"$build/bin/posreg" import "$here/config/demo.reg"

echo "# POS printer on the loop port, simulated printer behind it"
"$build/bin/posctl" --script "$here/scripts/demo-printer.posctl"
echo
echo "# Every kind of event through the control"
exec "$build/bin/posctl" --script "$here/scripts/demo.posctl"
