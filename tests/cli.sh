#!/usr/bin/env bash
# Command-line behaviour that needs the real program: no display, dispatch order, statuses.
set -u
velkin="$1"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
fail=0
expect() { # description, expected status, actual status; on failure, what the program last said
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1 (status $3, expected $2)"; fail=1
        [ -s "$tmp/err" ] && sed 's/^/    /' "$tmp/err" | head -n 60
    else echo "ok: $1"; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A mode with a missing operand is no mode: the program starts normally; without a display it
# says that it cannot open windows and ends with status 0.
"$velkin" --render only-one >"$tmp/out" 2>"$tmp/err"
expect "--render with one operand falls through" 0 $?
grep -q "no display" "$tmp/err" || { echo "FAIL: no message without a display: $(cat "$tmp/err")"; fail=1; }

# With a window system (here the offscreen one, asked for explicitly) the editor starts and keeps running.
printf '# Notes\n' >"$tmp/notes.md"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$tmp/config" "$velkin" "$tmp/notes.md" >"$tmp/out" 2>"$tmp/err" &
app=$!
sleep 3
if kill -0 "$app" 2>/dev/null; then
    echo "ok: the editor starts and runs"
    kill "$app"; wait "$app" 2>/dev/null
else
    wait "$app"; echo "FAIL: the editor ended at once with status $?: $(cat "$tmp/err")"; fail=1
fi

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
root="$(cd "$(dirname "$0")/.." && pwd)"
png_size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$1"; }

# --render: a framed page one window tall, or a bare page as tall as its text.
"$velkin" --render "$root/Samples/demo.md" "$tmp/demo.png" 2>"$tmp/err"
expect "--render writes a page" 0 $?
grep -qx "Wrote $tmp/demo.png" "$tmp/err" || { echo "FAIL: --render message: $(cat "$tmp/err")"; fail=1; }
[ "$(png_size "$tmp/demo.png")" = "1560x1984" ] || { echo "FAIL: framed page size $(png_size "$tmp/demo.png")"; fail=1; }
"$velkin" --render "$root/Samples/demo.md" "$tmp/bare.png" --bare 2>"$tmp/err"
expect "--render --bare writes a page" 0 $?
case "$(png_size "$tmp/bare.png")" in 1520x*) ;; *) echo "FAIL: bare page size $(png_size "$tmp/bare.png")"; fail=1 ;; esac
"$velkin" --render "$tmp/missing.md" "$tmp/missing.png" 2>"$tmp/err"
expect "--render of a missing file fails" 1 $?
grep -q "^Render failed: .*missing.md" "$tmp/err" || { echo "FAIL: missing input message: $(cat "$tmp/err")"; fail=1; }
[ -e "$tmp/missing.png" ] && { echo "FAIL: a failed render left a file"; fail=1; }
"$velkin" --render "$root/Samples/demo.md" "$tmp/no/such/folder/x.png" 2>"$tmp/err"
expect "--render into a missing folder fails" 1 $?
grep -qx "Render failed: cannot write the file (.*)" "$tmp/err" || { echo "FAIL: unwritable OUT message: $(cat "$tmp/err")"; fail=1; }
printf '# Caf\xe9\n' > "$tmp/latin1.md"
"$velkin" --render "$tmp/latin1.md" "$tmp/latin1.png" --bare 2>"$tmp/err"
expect "--render repairs invalid UTF-8" 0 $?

# The sanitizer build's leak check at exit finds the main thread alone: every thread the program
# or Qt started has left. Nor does its runtime record dynamic thread-local storage, whose blocks
# it could take for ones with an old glibc's header and have the check read a range of garbage.
for mode in "--render demo.md exit.png --bare" "--export demo.md exit.pdf" "--export demo.md exit.html"; do
    set -- $mode
    ASAN_OPTIONS=verbosity=2 LSAN_OPTIONS=log_threads=1 "$velkin" "$1" "$root/Samples/$2" "$tmp/$3" ${4:-} 2>"$tmp/err"
    expect "$mode ends cleanly" 0 $?
    threads=$(grep -c "Processing thread" "$tmp/err")
    [ "$threads" -le 1 ] || { echo "FAIL: $mode: $threads threads at the leak check"; fail=1; }
    grep -q "__tls_get_addr" "$tmp/err" && { echo "FAIL: $mode: dynamic thread-local storage recorded"; fail=1; }
done

# --appstore: eight shots, one line each; a missing sample fails only its own shot.
"$velkin" --appstore "$root/Samples" "$tmp/shots" 2>"$tmp/err"
expect "--appstore renders every shot" 0 $?
[ "$(ls "$tmp/shots" | wc -l)" = 8 ] || { echo "FAIL: --appstore wrote $(ls "$tmp/shots" | wc -l) files"; fail=1; }
[ "$(png_size "$tmp/shots/04-code.png")" = "1280x800" ] || { echo "FAIL: shot size"; fail=1; }
mkdir "$tmp/samples" && cp -r "$root/Samples/." "$tmp/samples/" && rm "$tmp/samples/journal.md"
"$velkin" --appstore "$tmp/samples" "$tmp/shots2" 2>"$tmp/err"
expect "--appstore without a sample fails" 1 $?
[ "$(sed -n 6p "$tmp/err")" = "Failed on journal.md" ] || { echo "FAIL: sixth line: $(sed -n 6p "$tmp/err")"; fail=1; }
[ "$(ls "$tmp/shots2" | wc -l)" = 7 ] || { echo "FAIL: seven shots expected"; fail=1; }
# An OUTDIR that cannot be made is named once with its reason; a sample that is no regular
# file or no UTF-8 text, and a shot whose name is a pipe, name the file and the cause. Nothing waits.
printf 'x' >"$tmp/plain"
timeout 60 "$velkin" --appstore "$root/Samples" "$tmp/plain/shots" 2>"$tmp/err"
expect "--appstore into a folder that cannot be made fails" 1 $?
[ "$(head -n 1 "$tmp/err")" = "Cannot make the folder $tmp/plain/shots (Not a directory)" ] \
    && [ "$(grep -cx 'Failed on [a-z]*\.md' "$tmp/err")" = 8 ] && [ "$(wc -l <"$tmp/err")" = 9 ] \
    || { echo "FAIL: a folder that cannot be made: $(cat "$tmp/err")"; fail=1; }
mkdir "$tmp/odd" "$tmp/oddshots" && cp -r "$root/Samples/." "$tmp/odd/"
rm "$tmp/odd/code.md" "$tmp/odd/prd.md" && mkfifo "$tmp/odd/code.md" && ln -s /dev/zero "$tmp/odd/prd.md"
printf '\xff\xfe#\0 \0' >"$tmp/odd/api.md"
mkfifo "$tmp/oddshots/01-styled-source.png"
timeout 60 "$velkin" --appstore "$tmp/odd" "$tmp/oddshots" 2>"$tmp/err"
expect "--appstore with odd samples and targets fails" 1 $?
for line in "1:demo.md ($tmp/oddshots/01-styled-source.png: cannot write the file (it is not a regular file))" \
            "4:code.md ($tmp/odd/code.md: it is not a regular file)" "5:prd.md ($tmp/odd/prd.md: it is not a regular file)" \
            "7:api.md ($tmp/odd/api.md: it is not UTF-8 text)"; do
    [ "$(sed -n "${line%%:*}p" "$tmp/err")" = "Failed on ${line#*:}" ] || { echo "FAIL: line ${line%%:*}: $(sed -n "${line%%:*}p" "$tmp/err")"; fail=1; }
done
# A shot that cannot be written is named with its file and the cause, in our words only; a
# framed page the same.
(trap '' XFSZ; ulimit -f 16; "$velkin" --appstore "$root/Samples" "$tmp/shots3") 2>"$tmp/err"
expect "--appstore under a file size limit fails" 1 $?
[ "$(sed -n 4p "$tmp/err")" = "Failed on code.md ($tmp/shots3/04-code.png: cannot write the file (File too large))" ] \
    || { echo "FAIL: fourth line: $(sed -n 4p "$tmp/err")"; fail=1; }
[ "$(wc -l <"$tmp/err")" = 8 ] || { echo "FAIL: --appstore under a limit said: $(cat "$tmp/err")"; fail=1; }
(trap '' XFSZ; ulimit -f 16; "$velkin" --render "$root/Samples/demo.md" "$tmp/framed.png") 2>"$tmp/err"
[ "$(cat "$tmp/err")" = "Render failed: cannot write the file (File too large)" ] \
    || { echo "FAIL: framed page under a limit said: $(cat "$tmp/err")"; fail=1; }
# A write that fails part-way (here a file size limit) is reported and leaves an existing
# OUT as it was, with nothing beside it; the pictures of a page are only ever regular files.
mkdir "$tmp/limit"
python3 -c "
import random
random.seed(1)
w = ['alpha', 'beta', 'gamma', 'delta', 'word', 'text', 'page']
print('\n\n'.join(' '.join(random.choice(w) for _ in range(80)) for _ in range(300)))" >"$tmp/limit/long.md"
# A picture's data comes in one large write, which the system cuts short at the limit.
cp "$root/Samples/images/douro-at-dusk.png" "$tmp/limit/"
printf '![Douro](douro-at-dusk.png)\n' >"$tmp/limit/picture.md"
for in in long picture; do for out in out.pdf out.html out.rtf out.png; do
    printf 'precious' >"$tmp/limit/$out"
    case $out in *.png) mode=(--render "$tmp/limit/$in.md" "$tmp/limit/$out" --bare) ;;
                 *) mode=(--export "$tmp/limit/$in.md" "$tmp/limit/$out") ;; esac
    (trap '' XFSZ; ulimit -f 16; "$velkin" "${mode[@]}") 2>"$tmp/err"
    expect "$in $out: a failed write fails" 1 $?
    case $out in *.png) grep -q "^Render failed: " "$tmp/err" ;; *) grep -q "^Export failed: " "$tmp/err" ;; esac \
        || { echo "FAIL: $in $out failure message: $(cat "$tmp/err")"; fail=1; }
    [ "$(cat "$tmp/limit/$out")" = precious ] || { echo "FAIL: $in $out was overwritten by a failed write"; fail=1; }
done; done
[ "$(ls -A "$tmp/limit" | wc -l)" = 7 ] || { echo "FAIL: failed writes left files: $(ls -A "$tmp/limit")"; fail=1; }
# The size limit's signal does not end the program: the failed write is reported.
for out in small.pdf small.png; do
    case $out in *.png) mode=(--render "$tmp/limit/long.md" "$tmp/limit/$out" --bare) ;;
                 *) mode=(--export "$tmp/limit/long.md" "$tmp/limit/$out") ;; esac
    (ulimit -f 1; "$velkin" "${mode[@]}") 2>"$tmp/err"
    expect "$out: a file size limit fails the write" 1 $?
    grep -q "^[A-Z][a-z]* failed: " "$tmp/err" || { echo "FAIL: $out size limit message: $(cat "$tmp/err")"; fail=1; }
    [ -e "$tmp/limit/$out" ] && { echo "FAIL: $out left a partial file"; fail=1; }
done

# Memory: a text too long for the memory at hand is refused before it is read, naming the
# limit; an allocation that fails anyway is reported, and OUT is left as it was. An address-space
# limit stands for a smaller machine. The sanitizer reserves terabytes of address space for its
# shadow memory and cannot run under such a limit: there the checks are skipped.
if ldd "$velkin" 2>/dev/null | grep -q libasan; then
    echo "skip: memory limits (the sanitizer build cannot run under an address-space limit)"
else
    mkdir "$tmp/memory"
    # Several hundred megabytes of text, sparse on disk: nothing of it is read.
    printf '# Huge\n\nText.\n' >"$tmp/memory/huge.md"
    truncate -s 400M "$tmp/memory/huge.md"
    for out in huge.pdf huge.html huge.rtf huge.png; do
        printf 'precious' >"$tmp/memory/$out"
        case $out in *.png) mode=(--render "$tmp/memory/huge.md" "$tmp/memory/$out" --bare); verb="Render failed: the document is too large to render" ;;
                     *) mode=(--export "$tmp/memory/huge.md" "$tmp/memory/$out"); verb="Export failed: the document is too large to export as ${out##*.}" ;; esac
        (ulimit -v 4000000; "$velkin" "${mode[@]}") 2>"$tmp/err"
        expect "$out: a text too long for the memory is refused" 1 $?
        grep -qix "$verb with the [0-9.]* GB of memory at hand: at most [0-9]* MB of text, and it has 419 MB" "$tmp/err" \
            || { echo "FAIL: $out refusal message: $(cat "$tmp/err")"; fail=1; }
        [ "$(cat "$tmp/memory/$out")" = precious ] || { echo "FAIL: a refused $out was written"; fail=1; }
    done
    # A table's cells and the lines of its cells cost more than their text: a million lines in
    # one cell, or 100,000 columns of 21 rows, are refused once counted, before Qt imports them
    # (which cannot survive running out of memory) or a page image is laid out; never a signal.
    python3 -c "
import sys
open(sys.argv[1], 'w').write('| A |\n|---|\n| ' + 'a<br>' * 1000000 + 'a |\n')
open(sys.argv[2], 'w').write('|' + ' |' * 100000 + '\n|' + '-|' * 100000 + '\n' + ('|' + ' |' * 100000 + '\n') * 20)" \
        "$tmp/memory/tall.md" "$tmp/memory/wide.md"
    for shape in tall wide; do
        for out in $shape.pdf $shape.rtf $shape.png; do
            printf 'precious' >"$tmp/memory/$out"
            # (A page image may run out of memory while it makes the grids it counts.)
            case $out in *.png) mode=(--render "$tmp/memory/$shape.md" "$tmp/memory/$out" --bare); verb="Render failed: \(not enough memory\|" ;;
                         *) mode=(--export "$tmp/memory/$shape.md" "$tmp/memory/$out"); verb="Export failed: \(" ;; esac
            (ulimit -v 1400000; "$velkin" "${mode[@]}") 2>"$tmp/err"
            expect "$out: too many cells and cell lines for the memory are refused" 1 $?
            grep -qx "${verb}the document's tables are too large to .* of memory at hand: at most [0-9,]* table cells and lines of cells beside its [0-9]* MB of text, and it has [0-9,]*\)" "$tmp/err" \
                || { echo "FAIL: $out refusal message: $(cat "$tmp/err")"; fail=1; }
            [ "$(cat "$tmp/memory/$out")" = precious ] || { echo "FAIL: a refused $out was written"; fail=1; }
            rm -f "$tmp/memory/$out"
        done
        rm -f "$tmp/memory/$shape.md"
    done
    # Below a megabyte, sizes are given in KB, and a memory smaller than what any text takes says so.
    python3 -c "import sys; open(sys.argv[1], 'w').write('word ' * 40000)" "$tmp/memory/small.md"
    (ulimit -v 350000; "$velkin" --export "$tmp/memory/small.md" "$tmp/memory/small.pdf") 2>"$tmp/err"
    expect "a text refused by a small memory" 1 $?
    grep -qx "Export failed: the document is too large to export as PDF with the [0-9]* MB of memory at hand\(: at most [0-9]* KB of text, and it has 200 KB\|, less than the 268 MB it takes before any text; the document has 200 KB of text\)" "$tmp/err" \
        || { echo "FAIL: small memory refusal message: $(cat "$tmp/err")"; fail=1; }
    rm -f "$tmp/memory/small.md"
    # Qt cuts a large image's conversion and fills into pieces for pooled threads and waits for
    # each: under a limit that leaves no room to start a thread, a page image still ends, with
    # the picture or a refusal (it once waited for ever).
    python3 -c "import sys; open(sys.argv[1], 'w').write('| Name | Value | Notes |\n| --- | --- | --- |\n' + ''.join('| row%d | %d | words here |\n' % (i, i * 7) for i in range(3000)))" "$tmp/memory/rows.md"
    for limit in 450000 500000 600000; do
        (ulimit -v $limit; timeout 120 "$velkin" --render "$tmp/memory/rows.md" "$tmp/memory/rows.png" --bare) >/dev/null 2>"$tmp/err"
        status=$?
        [ $status -le 1 ] || { echo "FAIL: a page image under a $limit KB limit ended with $status: $(tail -c 300 "$tmp/err")"; fail=1; }
        rm -f "$tmp/memory/rows.png"
    done
    rm -f "$tmp/memory/rows.md"
    # Pictures cost more than their text, but an HTML page takes them one at a time: eight
    # names of one 48 MB picture, each embedded, once needed more than this smaller machine
    # has, and now cost what one does.
    python3 -c "
import struct, sys
w, h = 4000, 3000
with open(sys.argv[1], 'wb') as f:
    f.write(b'BM' + struct.pack('<IHHI', 54 + w * h * 4, 0, 0, 54))
    f.write(struct.pack('<IiiHHIIiiII', 40, w, h, 1, 32, 0, w * h * 4, 2835, 2835, 0, 0))
    f.truncate(54 + w * h * 4)" "$tmp/memory/p0.bmp"
    for i in $(seq 1 8); do ln "$tmp/memory/p0.bmp" "$tmp/memory/p$i.bmp"; printf '![p](p%d.bmp)\n\n' "$i"; done >"$tmp/memory/pictures.md"
    for out in pictures.html; do
        printf 'precious' >"$tmp/memory/$out"
        (ulimit -v 1200000; "$velkin" --export "$tmp/memory/pictures.md" "$tmp/memory/$out") >/dev/null 2>"$tmp/err"
        expect "$out: eight embedded pictures of 48 MB export within the memory" 0 $?
        [ "$(grep -o 'src="data:image/bmp;base64,Qk' "$tmp/memory/$out" | wc -l)" = 8 ] \
            || { echo "FAIL: $out does not embed the eight pictures: $(cat "$tmp/err")"; fail=1; }
        rm -f "$tmp/memory/$out"
    done
    [ "$(ls -A "$tmp/memory" | grep -vc '\.bmp$')" = 6 ] || { echo "FAIL: failed exports left files: $(ls -A "$tmp/memory")"; fail=1; }
fi

# Exporting or rendering onto the input is refused, through links too, and leaves it as it was.
mkdir "$tmp/same"
printf '# Notes\n\nKeep me.\n' >"$tmp/same/notes.html"
ln "$tmp/same/notes.html" "$tmp/same/hard.html"
ln -s notes.html "$tmp/same/link.html"
for pair in "notes.html notes.html" "notes.html hard.html" "link.html notes.html" "notes.html link.html"; do
    set -- $pair
    "$velkin" --export "$tmp/same/$1" "$tmp/same/$2" 2>"$tmp/err"
    expect "--export $1 onto $2 is refused" 1 $?
    grep -qx "Export failed: the output is the input file itself" "$tmp/err" \
        || { echo "FAIL: export onto the input message: $(cat "$tmp/err")"; fail=1; }
done
"$velkin" --render "$tmp/same/notes.html" "$tmp/same/hard.html" 2>"$tmp/err"
expect "--render onto the input is refused" 1 $?
grep -qx "Render failed: the output is the input file itself" "$tmp/err" || { echo "FAIL: render onto the input: $(cat "$tmp/err")"; fail=1; }
[ "$(cat "$tmp/same/notes.html")" = "$(printf '# Notes\n\nKeep me.\n')" ] || { echo "FAIL: the input was changed"; fail=1; }
# An OUT that exists and is no regular file (a pipe would block for ever) is refused.
mkfifo "$tmp/same/pipe.html"
timeout 20 "$velkin" --export "$tmp/same/notes.html" "$tmp/same/pipe.html" 2>"$tmp/err"
expect "--export into a pipe is refused" 1 $?
grep -qx "Export failed: the output is not a regular file" "$tmp/err" || { echo "FAIL: pipe message: $(cat "$tmp/err")"; fail=1; }
"$velkin" --export "$tmp/same/notes.html" "$tmp/same/new.html" 2>"$tmp/err"
expect "--export to a new name works" 0 $?
"$velkin" --export "$tmp/limit/long.md" "$tmp/limit/out.pdf" 2>"$tmp/err"
expect "a successful export replaces the old file" 0 $?
[ "$(head -c 4 "$tmp/limit/out.pdf")" = "%PDF" ] || { echo "FAIL: the PDF did not replace the old file"; fail=1; }

# An HTML export runs in the program itself: no widget or window-system library is loaded for it.
printf '# Light\n\nSome *text*.\n' >"$tmp/light.md"
LD_DEBUG=files "$velkin" --export "$tmp/light.md" "$tmp/light.html" 2>"$tmp/err"
expect "--export to HTML writes a page" 0 $?
grep -q "<em>text</em>" "$tmp/light.html" || { echo "FAIL: the HTML page lacks its text"; fail=1; }
grep -q "libQt6Widgets" "$tmp/err" && { echo "FAIL: the HTML export loaded the widget library"; fail=1; }
# Every other mode needs the windows' library; without it the program says so and fails.
cp "$velkin" "$tmp/alone"
"$tmp/alone" --selftest >/dev/null 2>"$tmp/err"
expect "the program without its windows' library fails" 1 $?
grep -q "could not load its windows' library" "$tmp/err" || { echo "FAIL: no message without the library: $(cat "$tmp/err")"; fail=1; }

program=$(realpath "$velkin")
mkfifo "$tmp/limit/pipe.png"
printf '# Pipe\n\n![pipe](pipe.png)\n\n![stdin](/dev/stdin)\n\ntext after\n' >"$tmp/limit/pipe.md"
for out in pipe.pdf pipe.rtf pipe-page.png; do
    case $out in *.png) mode=(--render "$tmp/limit/pipe.md" "$tmp/limit/$out" --bare) ;;
                 *) mode=(--export "$tmp/limit/pipe.md" "$tmp/limit/$out") ;; esac
    (cd "$tmp/limit" && timeout 30 "$program" "${mode[@]}" </dev/zero 2>/dev/null)
    expect "$out: a picture that is a pipe or a device is skipped" 0 $?
done
command -v pdftotext >/dev/null && { pdftotext "$tmp/limit/pipe.pdf" - | grep -q "text after" \
    || { echo "FAIL: the PDF with a pipe picture lost its text"; fail=1; }; }
exit $fail
