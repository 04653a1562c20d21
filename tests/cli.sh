#!/usr/bin/env bash
# Command-line behaviour that needs the real program: no display, dispatch order, statuses.
set -u
velkin="$1"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
fail=0
expect() { # description, expected status, actual status
    if [ "$2" != "$3" ]; then echo "FAIL: $1 (status $3, expected $2)"; fail=1; else echo "ok: $1"; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A mode with a missing operand is no mode: the program starts normally (status 0 without an editor window).
"$velkin" --render only-one >"$tmp/out" 2>"$tmp/err"
expect "--render with one operand falls through" 0 $?

# The self-test runs without any display and ends with its verdict line.
"$velkin" --selftest >"$tmp/out" 2>"$tmp/err"
status=$?
last=$(tail -n 1 "$tmp/out")
case "$last" in
    "Self-test passed: "*) expect "self-test passes offscreen" 0 $status ;;
    "Self-test FAILED: "*) expect "self-test verdict offscreen" 0 1; tail -n 40 "$tmp/out" ;;
    *) echo "FAIL: no verdict line: $last"; fail=1 ;;
esac
# Only the self-test writes to standard output.
[ -s "$tmp/err" ] && { echo "FAIL: self-test wrote to standard error:"; cat "$tmp/err"; fail=1; }

# --selftest anywhere wins over every other mode.
"$velkin" --render --selftest x >"$tmp/out" 2>/dev/null
grep -q "^Self-test " "$tmp/out" || { echo "FAIL: --selftest as an operand did not run the self-test"; fail=1; }
exit $fail
