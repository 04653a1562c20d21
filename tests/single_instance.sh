#!/usr/bin/env bash
# Two launches on one display share one editor: the second hands its files to the first
# and ends, and the first opens them in windows of their own. Runs on a private X server.
set -u
velkin="$1"
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
    echo "skipped: needs Xvfb and xdotool (scripts/setup installs them)"
    [ "${CI:-}" = true ] && exit 1
    exit 0
fi
tmp=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi; }
# Waits up to ten seconds for a command to succeed.
waitFor() { for _ in $(seq 1 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }

exec 5>"$tmp/display"
Xvfb -displayfd 5 -screen 0 1280x900x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
waitFor "[ -s '$tmp/display' ]" || { echo "FAIL: Xvfb did not start: $(cat "$tmp/xvfb.log")"; exit 1; }
export DISPLAY=":$(head -1 "$tmp/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$tmp/config"
windowNamed() { xdotool search --name "$1" >/dev/null 2>&1; }

cd "$tmp"
printf '# First\n' >first.md
printf '# Second\n' >second.md
printf '# Third\n' >third.md
"$velkin" first.md >"$tmp/first.log" 2>&1 &
first=$!
pids+=($first)
check "the first launch shows its document" "waitFor 'windowNamed first.md'"

# A relative path is made absolute by the launch that names it.
mkdir elsewhere
(cd elsewhere && timeout 10 "$velkin" ../second.md ../third.md >"$tmp/second.log" 2>&1)
check "a second launch ends at once with status 0" "[ $? -eq 0 ]"
check "the running editor opens the second launch's files" "waitFor 'windowNamed second.md && windowNamed third.md'"
check "the first editor is still the one running" "kill -0 $first"
check "one process shows every window" \
    "[ \"\$(for w in \$(xdotool search --name '\\.md'); do xdotool getwindowpid \$w; done | sort -u)\" = '$first' ]"

# Files that cannot be opened, handed over one after another, are each said in an alert; the
# launches end at once, and the running editor outlives them and their alerts with its windows.
mkfifo pipe.md
mkdir folder.md
alertShown() { xdotool search --onlyvisible --name '^Velkin$' >/dev/null 2>&1; }
for name in pipe.md /dev/zero folder.md pipe.md; do
    timeout 10 "$velkin" "$name" >>"$tmp/second.log" 2>&1
    check "a launch handing over $name ends at once" "[ $? -eq 0 ]"
    check "the alert for $name comes" "waitFor alertShown"
    xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^Velkin$' | head -1)" key Return 2>/dev/null
    waitFor '! alertShown'
done
check "the first editor outlives the alerts" "sleep 1; kill -0 $first"
check "its windows stay" "windowNamed first.md"

# Another settings folder is another user session's editor: it runs on its own.
XDG_CONFIG_HOME="$tmp/other" "$velkin" third.md >"$tmp/other.log" 2>&1 &
other=$!
pids+=($other)
check "an editor with other settings runs on its own" "waitFor 'kill -0 $other && [ \$(xdotool search --name third.md | wc -l) -ge 2 ]'"
exit $fail
