#!/usr/bin/env bash
# Exit statuses of the runner and its default message printer.
set -u
runner=$1 module=$2 dir=$3
fail=0
expect() {  # expect STATUS DESCRIPTION -- COMMAND...
    local want=$1 what=$2; shift 3
    "$@" >/tmp/vantor-runner-out.$$ 2>&1
    local got=$?
    if [ "$got" != "$want" ]; then
        echo "FAIL: $what: exit $got, wanted $want"; cat /tmp/vantor-runner-out.$$; fail=1
    fi
}
expect 0 "script runs to its end" -- "$runner" --module "$module" "$dir/ok.lua"
expect 1 "script error" -- "$runner" --module "$module" "$dir/error.lua"
expect 1 "script that does not exist" -- "$runner" --module "$module" "$dir/no-such-script.lua"
expect 2 "no script" -- "$runner" --module "$module"
expect 2 "unknown option" -- "$runner" --frobnicate "$dir/ok.lua"
expect 2 "module that does not load" -- "$runner" --module /nonexistent/snmp.so "$dir/ok.lua"

# Without a handler, reports go to standard error as "message <id>: <text>".
out=$("$runner" --module "$module" "$dir/report.lua" 2>&1 >/dev/null)
if [ "$out" != "message 1129: 1.3.x" ]; then
    echo "FAIL: default printer wrote: $out"; fail=1
fi
# Arguments reach the script in arg.
out=$("$runner" --module "$module" "$dir/args.lua" one two 2>&1)
if [ "$out" != "args.lua one two" ]; then
    echo "FAIL: arg table: $out"; fail=1
fi
rm -f /tmp/vantor-runner-out.$$
exit $fail
