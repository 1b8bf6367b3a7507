#!/usr/bin/env bash
# The main job: runs the example scripts with the stand-in host.
set -euo pipefail
BIN=$1
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$BIN/vantor-lua" "$ROOT/examples/oid.lua"
