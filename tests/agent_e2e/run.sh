#!/bin/sh
# run.sh AGENT_BIN RUNNER MODULE SCRIPT
# Runs one script of this folder with the runner. The script starts and stops
# its own test agents (agentlib.lua) in a private temporary folder; the
# runner's standard error goes to a file there, which the script reads (the
# engine's diagnostics) and which is shown afterwards. Net-SNMP's tools the
# script runs keep their state and look for their configuration there too, not
# under /var/lib/snmp. Agents a failed script left running are stopped by the
# process ids they wrote.
set -u
[ $# -eq 4 ] || { echo "usage: run.sh AGENT_BIN RUNNER MODULE SCRIPT" >&2; exit 2; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/vantor-agent-e2e.XXXXXX") || exit 2
export AGENT_BIN="$1" AGENT_DIR="$dir" RUNNER_STDERR="$dir/runner.stderr"
export SNMP_PERSISTENT_DIR="$dir/net-snmp" SNMPCONFPATH="$dir"
"$2" --module "$3" "$4" 2>"$RUNNER_STDERR"
status=$?
cat "$RUNNER_STDERR" >&2
for pidfile in "$dir"/*.pid; do
    [ -e "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
done
rm -rf "$dir"
exit $status
