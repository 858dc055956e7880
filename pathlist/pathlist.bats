#!/usr/bin/env bats
# pathlist run as a user or a script would run it. Expected listings come
# from ls -f, which reads the directory in the same order.

# shellcheck source=../test_harness/common.bash
source "$BATS_TEST_DIRNAME/../test_harness/common.bash"

setup() {
	t=$BATS_TEST_TMPDIR
}

teardown() {
	# A directory of mode 0 may not be emptied by the cleanup of an
	# ordinary user.
	chmod -R u+rwx "$t" 2>/dev/null || true
}

pathlist() {
	"${checked[@]}" "$PATHLIST" "$@"
}

# pathlist with the fault library preloaded and told what to do by the
# NAME=value settings before the arguments: pathlist_with_faults
# READDIR_FAULT_AFTER=3 -- DIR.
pathlist_with_faults() {
	local settings=()
	while [[ $1 != -- ]]; do settings+=("$1"); shift; done
	shift
	rm -f "$t/loaded"
	# AddressSanitizer wants to be the first library; here it comes second.
	"${checked[@]}" env LD_PRELOAD="$FAULT_LIBRARY" READDIR_FAULT_LOADED="$t/loaded" \
		ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
		"${settings[@]}" "$PATHLIST" "$@"
	local status=$?
	[[ -e $t/loaded ]] || { echo "the fault library was not loaded" >&2; return 98; }
	return "$status"
}

# listing DIRNAME: what pathlist DIRNAME must write.
listing() {
	# shellcheck disable=SC2012 # ls -f is the reference: it reads in the same order
	ls -f --zero -- "$1" | DIRNAME=$1 perl -0 -ne 'chomp; print "$ENV{DIRNAME}/$_\n"'
}

# Names that trip up careless code: spaces, option- and format-like names, a
# newline, every byte from 0x80 up, the longest name allowed, and entries of
# other kinds, which are listed and not entered.
fill_with_awkward_names() {
	(
		cd "$1" || exit 1
		touch -- "a space" " " "-n" "--help" "%s%n%d" $'line\nbreak' "\\" ".hidden" "..." \
			"$(printf '%b' "$(printf '\\%03o' {128..255})")" "$(printf 'x%.0s' {1..255})"
		mkdir subdirectory
		touch subdirectory/not-listed
		ln -s /nonexistent "dangling link"
	)
}

# deep_dir LENGTH: makes and prints a directory whose path is LENGTH bytes,
# folders of 200 bytes nested below $t.
deep_dir() {
	local path=$t
	while ((${#path} + 201 <= $1)); do path+=/$(printf 'd%.0s' {1..200}); done
	path+=/$(printf 'e%.0s' $(seq $(($1 - ${#path} - 1))))
	mkdir -p "$path"
	printf '%s' "$path"
}

# big_dir: enough entries to fill a pipe and an output buffer many times.
big_dir() {
	mkdir "$t/big"
	(cd "$t/big" && seq -f 'cache-entry-%07g-abcdef' 5000 | xargs touch)
}

@test "every entry is written byte for byte, the directory as given" {
	mkdir "$t/awkward" "$t/empty"
	fill_with_awkward_names "$t/awkward"
	deep=$(deep_dir 4000)
	fill_with_awkward_names "$deep"
	# the directory as named | where pathlist runs
	while IFS='|' read -r dirname from; do
		(
			cd "$from" && listing "$dirname" >"$expected" &&
				try pathlist "$dirname" >"$out" 2>"$err" && check 0 "" "$expected"
		) || { echo "listing $dirname from $from" >&2; return 1; }
	done <<-CASES
		$t/awkward|/
		$deep|/
		$t/awkward/|/
		.|$t/awkward
		../awkward|$t/empty
		/|/
	CASES
}

@test "an empty directory is listed as dot and dot-dot" {
	mkdir "$t/empty"
	try pathlist "$t/empty" >"$out" 2>"$err"
	listing "$t/empty" >"$expected"
	check 0 "" "$expected"
	sort "$out" | cmp - <(printf '%s\n' "$t/empty/." "$t/empty/..")
}

@test "the first argument is the directory, /etc the default" {
	mkdir "$t/first"
	touch "$t/first/only here"
	listing /etc >"$expected"
	try pathlist >"$out" 2>"$err"
	check 0 "" "$expected"

	listing "$t/first" >"$expected"
	try pathlist "$t/first" /etc -x >"$out" 2>"$err"
	check 0 "" "$expected"
}

@test "started with no arguments at all, it lists /etc" {
	under_valgrind && skip "valgrind cannot start a program with an empty argument vector"
	listing /etc >"$expected"
	try "$EXEC_EMPTY_ARGV" "$PATHLIST" >"$out" 2>"$err"
	check 0 "" "$expected"
}

@test "a directory that cannot be opened" {
	touch "$t/file"
	too_long=$(printf 'x%.0s' {1..5000})
	while IFS='|' read -r dirname reason; do
		try pathlist "$dirname" >"$out" 2>"$err"
		check 1 "pathlist: cannot open directory '$dirname': $reason" /dev/null ||
			{ echo "opening ${dirname:0:80}" >&2; return 1; }
	done <<-CASES
		$t/missing|No such file or directory
		|No such file or directory
		$t/file|Not a directory
		/dev/null|Not a directory
		$t/file/below a file|Not a directory
		$too_long|File name too long
	CASES
}

@test "a directory that may not be read" {
	mkdir -m 0 "$t/locked"
	program=$PATHLIST as=()
	if ((EUID == 0)); then
		# Root reads it anyway: run pathlist as nobody, from a copy that
		# nobody can reach, since the build may be in a private home.
		cp "$PATHLIST" "$t/pathlist"
		for dir in "$t" "$(dirname "$t")" "$BATS_RUN_TMPDIR"; do chmod go+x "$dir"; done
		as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
		"${as[@]}" test -x "$t/pathlist" ||
			skip "nobody cannot reach $t: TMPDIR is private; set it to a folder open to all"
		program=$t/pathlist
	fi
	try "${checked[@]}" "${as[@]}" "$program" "$t/locked" >"$out" 2>"$err"
	check 1 "pathlist: cannot open directory '$t/locked': Permission denied" /dev/null
}

@test "a read that fails midway ends the listing with the lines read so far" {
	mkdir "$t/dir"
	touch "$t/dir/file"{0..9}
	listing "$t/dir" >"$t/all"
	for after in 0 3 11; do
		try pathlist_with_faults READDIR_FAULT_AFTER=$after -- "$t/dir" >"$out" 2>"$err"
		check 1 "pathlist: reading directory '$t/dir': Input/output error" \
			<(head -n "$after" "$t/all") || { echo "after $after entries" >&2; return 1; }
	done
}

@test "names longer than any file system allows are written whole" {
	mkdir "$t/shallow"
	deep=$(deep_dir 4000)
	for c in "$t/shallow 300" "$t/shallow 5000" "$deep 300"; do
		dir=${c% *} length=${c##* }
		{ listing "$dir"; printf '%s/%s\n' "$dir" "$(printf 'n%.0s' $(seq "$length"))"; } >"$expected"
		try pathlist_with_faults READDIR_FAULT_LONG_NAME="$length" -- "$dir" >"$out" 2>"$err"
		check 0 "" "$expected" || { echo "a name of $length bytes" >&2; return 1; }
	done
}

@test "output that cannot be written is an error" {
	mkdir "$t/small"
	big_dir
	for dir in "$t/small" "$t/big"; do
		try pathlist "$dir" >/dev/full 2>"$err"
		check 1 "pathlist: write error: No space left on device"
		# valgrind takes a closed descriptor 1 for its own files.
		under_valgrind && continue
		try pathlist "$dir" >&- 2>"$err"
		check 1 "pathlist: write error: Bad file descriptor"
	done
}

@test "a reader that goes away ends pathlist by SIGPIPE, or by an error where that is ignored" {
	big_dir
	listing "$t/big" | head -n 1 >"$expected"
	env --default-signal=PIPE "${checked[@]}" "$PATHLIST" "$t/big" 2>"$err" | head -n 1 >"$out"
	status=${PIPESTATUS[0]}
	check $((128 + 13)) "" "$expected"

	env --ignore-signal=PIPE "${checked[@]}" "$PATHLIST" "$t/big" 2>"$err" | head -n 1 >"$out"
	status=${PIPESTATUS[0]}
	check 1 "pathlist: write error: Broken pipe" "$expected"
}

@test "a directory that changes underneath is still listed whole" {
	big_dir
	dir=$t/big
	# bats waits for a job that keeps its descriptor 3.
	while :; do
		for i in {0..499}; do
			: >"$dir/churn-$i"
			rm -f "$dir/churn-$(((i + 250) % 500))"
		done
	done 3>&- &
	churn=$!
	runs=30
	under_valgrind && runs=3
	for ((run = 0; run < runs; run++)); do
		try pathlist "$dir" >"$out" 2>"$err"
		check 0 "" && grep -qFx "$dir/." "$out" && grep -qFx "$dir/.." "$out" ||
			{ kill "$churn"; return 1; }
	done
	kill "$churn"
}
