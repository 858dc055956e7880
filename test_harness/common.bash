# SPDX-License-Identifier: MIT
# Loaded by every .bats file: how a program is run and its results checked.
# shellcheck shell=bash disable=SC2034 # the variables are the .bats files'

# Names are bytes, not characters, in every comparison here.
export LC_ALL=C

# A program gone wrong must not fill the disk or hang the run.
ulimit -S -f $((64 * 1024))
: "${BATS_TEST_TIMEOUT:=300}"

# With TEST_UNDER_VALGRIND=1 put "${checked[@]}" before each program run.
checked=()
[[ ${TEST_UNDER_VALGRIND:-} != 1 ]] || checked=("$BATS_TEST_DIRNAME/../test_harness/under-valgrind")

# missing WHAT: skips the case for want of WHAT, which run-bats counts.
missing() { skip "missing: $*"; }
under_valgrind() { ((${#checked[@]} > 0)); }

# In a cross build put "${emulated[@]}" (CMAKE_CROSSCOMPILING_EMULATOR)
# right before a program of the build, after valgrind if any.
emulated=()
[[ -z ${TEST_EMULATOR:-} ]] || IFS=';' read -ra emulated <<<"$TEST_EMULATOR"
emulated() { ((${#emulated[@]} > 0)); }

# Where a run's standard output and error are kept, and its exit status.
out=$BATS_TEST_TMPDIR/out
err=$BATS_TEST_TMPDIR/err
expected=$BATS_TEST_TMPDIR/expected
status=

# try COMMAND...: runs COMMAND, redirected by the caller, its exit status
# in $status; $err starts empty even when standard error goes elsewhere.
try() {
	: >"$err"
	status=0
	"$@" || status=$?
}

# check STATUS ERROR [OUTPUT-FILE]: the last try ended with STATUS, wrote
# exactly the line ERROR to $err (empty: nothing) and OUTPUT-FILE to $out.
check() {
	local ok=true
	[[ $status == "$1" ]] || { printf 'exit status %s, expected %s\n' "$status" "$1" >&2; ok=false; }
	cmp -s "$err" <(if [[ -n $2 ]]; then printf '%s\n' "$2"; fi) ||
		{ printf 'standard error:\n%s\nexpected:\n%s\n' "$(cat "$err")" "$2" >&2; ok=false; }
	if (($# > 2)) && ! cmp -s "$out" "$3"; then
		printf 'standard output differs from %s:\n' "$3" >&2
		diff "$3" "$out" | head -n 10 >&2
		ok=false
	fi
	$ok
}

# page_is_clean PAGE NAME: PAGE (gzipped or not) is NAME's and formats
# without a warning.
page_is_clean() {
	[[ -n ${1:-} ]] || missing "a manual page to test"
	command -v groff >/dev/null || missing "groff (Debian's groff-base)"
	zcat -f -- "$1" | grep -q "^\\.TH $2 1 " || { echo "$1 is not $2's manual page" >&2; return 1; }
	local warnings
	warnings=$(zcat -f -- "$1" | groff -man -ww -z -Tutf8 2>&1)
	[[ -z $warnings ]] || { printf '%s: %s\n' "$1" "$warnings" >&2; return 1; }
}
