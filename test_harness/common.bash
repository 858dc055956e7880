# SPDX-License-Identifier: MIT
# Loaded by every .bats file: how a program is run and its results checked.
# shellcheck shell=bash disable=SC2034 # the variables are the .bats files'

# Names are bytes, not characters, in every comparison here.
export LC_ALL=C

# A program gone wrong must not fill the disk or hang the run: no file a
# test writes grows past 64 MiB, and no test runs past five minutes.
ulimit -S -f $((64 * 1024))
: "${BATS_TEST_TIMEOUT:=300}"

# With TEST_UNDER_VALGRIND=1 every run of a program goes through valgrind;
# put "${checked[@]}" before a program that is not started through the
# functions below.
checked=()
if [[ ${TEST_UNDER_VALGRIND:-} == 1 ]]; then
	checked=("$BATS_TEST_DIRNAME/../test_harness/under-valgrind")
fi

# missing WHAT: skips the case for want of WHAT, which run-bats counts: a
# run that left a case out for want of something is not a pass.
missing() {
	skip "missing: $*"
}

under_valgrind() {
	((${#checked[@]} > 0))
}

# In a cross build every program of the build runs through the emulator
# CMake was given (CMAKE_CROSSCOMPILING_EMULATOR, a list), as qemu-user: put
# "${emulated[@]}" right before such a program, after valgrind if any.
emulated=()
if [[ -n ${TEST_EMULATOR:-} ]]; then
	IFS=';' read -ra emulated <<<"$TEST_EMULATOR"
fi

emulated() {
	((${#emulated[@]} > 0))
}

# Where a run's standard output and error are kept, and its exit status.
out=$BATS_TEST_TMPDIR/out
err=$BATS_TEST_TMPDIR/err
expected=$BATS_TEST_TMPDIR/expected
status=

# try COMMAND...: runs COMMAND, with whatever redirections the caller gives,
# and keeps its exit status in $status (128 + N for signal N). $err starts
# empty, also when the caller sends standard error elsewhere.
try() {
	: >"$err"
	status=0
	"$@" || status=$?
}

# check STATUS ERROR [OUTPUT-FILE]: the last try ended with STATUS, wrote
# exactly the line ERROR to $err (nothing when ERROR is empty) and, when
# OUTPUT-FILE is given, exactly its bytes to $out.
check() {
	local ok=true
	if [[ $status != "$1" ]]; then
		printf 'exit status %s, expected %s\n' "$status" "$1" >&2
		ok=false
	fi
	if ! cmp -s "$err" <(if [[ -n $2 ]]; then printf '%s\n' "$2"; fi); then
		printf 'standard error:\n%s\nexpected:\n%s\n' "$(cat "$err")" "$2" >&2
		ok=false
	fi
	if (($# > 2)) && ! cmp -s "$out" "$3"; then
		printf 'standard output differs from %s:\n' "$3" >&2
		diff "$3" "$out" | head -n 10 >&2
		ok=false
	fi
	$ok
}

# page_is_clean PAGE NAME: the manual page PAGE (gzipped or not) is there,
# is NAME's, and formats without a warning.
page_is_clean() {
	[[ -n ${1:-} ]] || missing "a manual page to test"
	command -v groff >/dev/null || missing "groff (Debian's groff-base)"
	zcat -f -- "$1" | grep -q "^\\.TH $2 1 " || { echo "$1 is not $2's manual page" >&2; return 1; }
	local warnings
	warnings=$(zcat -f -- "$1" | groff -man -ww -z -Tutf8 2>&1)
	[[ -z $warnings ]] || { printf '%s: %s\n' "$1" "$warnings" >&2; return 1; }
}
