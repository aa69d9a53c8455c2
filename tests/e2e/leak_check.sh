#!/bin/bash
# Leak check at exit, run on the sanitizer build of the instrument: a short
# performance (a cloud, a single grain and a loop source over a rect, a
# recording) ended with Shift+Esc must leave no leak of the program's own and
# no other sanitizer report.
#
# The sound server's client library and the GL driver keep a few blocks to the
# end (the driver is unloaded by then, so its frames have no module name to
# suppress them by). A leak counts as the program's own when a frame of its
# allocation stack lies in the program's sources; those fail the test, and
# the libraries' are only counted.
set -u
# shellcheck source=tests/e2e/lib.sh
. "$(dirname "$0")/lib.sh"

# The report is judged below; the libraries' blocks alone would otherwise
# turn the normal quit's status 0 into the sanitizer's 1.
export ASAN_OPTIONS="detect_leaks=1:malloc_context_size=8:exitcode=0"
export UBSAN_OPTIONS="print_stacktrace=1"
sources=$(cd "$(dirname "$0")/../../src" && pwd)

# The leak records of the report whose stacks pass through the sources.
own_leaks() {
    awk -v src="$sources/" '
        /^(Direct|Indirect) leak/ { record = $0; own = 0; next }
        record != "" && /^ +#[0-9]+ / { if (index($0, src)) own = 1; record = record "\n" $0; next }
        record != "" { if (own) print record; record = "" }
    ' "$DIR/stderr.log"
}

e2e_init "${1:-}"
E2E_RECORD_SECONDS=2
e2e_start_on_canvas leaks
e2e_move_pointer "$RECT_X" "$RECT_Y"
for key in 1 2 3; do
    e2e_key "$key"
done
e2e_record_bounce "$DIR" leaks
e2e_quit
own=$(own_leaks)
[ -z "$own" ] || e2e_fail "the program leaks at exit: $own"
e2e_output_has stderr "ERROR: AddressSanitizer" && e2e_fail "a memory error was reported"
e2e_output_has stderr "runtime error" && e2e_fail "undefined behaviour reported"
libraries=$(grep -c "^SUMMARY: AddressSanitizer: .* leaked" "$DIR/stderr.log")
e2e_log "library blocks at exit: $(grep "^SUMMARY" "$DIR/stderr.log" || echo none)"
e2e_pass "leak check: nothing of the program's own leaks, no sanitizer report ($libraries library summary)"
