#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# pathlist run as a user or a script would run it. Expected listings come
# from ls -f, which reads the directory in the same order. The cases of
# what a terminal or a message shows, and those that make and go through
# many locales, are tagged, to run beside the others.

# shellcheck source=../test_harness/common.bash
source "$BATS_TEST_DIRNAME/../test_harness/common.bash"

# needs_huge: sets huge to a directory whose listing is some megabytes,
# many times the size of a pipe and of pathlist's buffer, and $huge.listing
# to that listing; made by the first test that needs it, for the others,
# and whole once there.
needs_huge() {
	huge=$BATS_FILE_TMPDIR/huge
	[[ ! -e $huge.listing ]] || return 0
	rm -rf "$huge" "$huge.listing.partial"
	mkdir "$huge"
	(cd "$huge" && seq -f 'cache-entry-%07g-abcdef' 100000 | xargs touch)
	listing "$huge" >"$huge.listing.partial"
	mv "$huge.listing.partial" "$huge.listing"
}

setup() {
	t=$BATS_TEST_TMPDIR
}

teardown() {
	# A directory of mode 0 may not be emptied by the cleanup of an
	# ordinary user.
	chmod -R u+rwx "$t" 2>/dev/null || true
}

pathlist() {
	"${wrapper[@]}" "${checked[@]}" "${emulated[@]}" "$PATHLIST" "$@"
}

# What pathlist is started through, before valgrind if any: a test may set it
# to on_a_terminal, to nonblocking FD or to a timeout.
wrapper=()
on_a_terminal=("${emulated[@]}" "$ON_A_TERMINAL")
# nonblocking FD COMMAND...: COMMAND with O_NONBLOCK set on descriptor FD.
# shellcheck disable=SC2016 # the variables are perl's
nonblocking=(perl -MFcntl -e 'open(my $fd, ">&=", shift) or die "$!\n";
	fcntl($fd, F_SETFL, fcntl($fd, F_GETFL, 0) | O_NONBLOCK) or die "$!\n";
	exec @ARGV or die "$!\n"' --)

# pathlist with the fault library preloaded and told what to do by the
# NAME=value settings before the arguments: pathlist_with_faults
# READDIR_FAULT_AFTER=3 -- DIR. What it counted is left in $t/report.
pathlist_with_faults() {
	with_faults "$@"
	"${faulty[@]}"
	local status=$?
	[[ -e $t/loaded ]] || { echo "the fault library was not loaded" >&2; return 98; }
	return "$status"
}

# with_faults SETTINGS... -- ARG...: sets the array faulty to that command
# line, for a test that runs it its own way.
with_faults() {
	local settings=()
	while [[ $1 != -- ]]; do settings+=("$1"); shift; done
	shift
	rm -f "$t/loaded"
	# The library is the program's: under qemu-user it is preloaded in the
	# guest alone (-E), since the host's loader cannot load it into qemu.
	local preload=(LD_PRELOAD="$FAULT_LIBRARY") run=("$PATHLIST")
	emulated && preload=() run=("${emulated[@]}" -E LD_PRELOAD="$FAULT_LIBRARY" "$PATHLIST")
	# AddressSanitizer wants to be the first library; here it comes second.
	faulty=("${wrapper[@]}" "${checked[@]}" env "${preload[@]}" FAULT_LOADED="$t/loaded"
		FAULT_REPORT="$t/report"
		ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
		"${settings[@]}" "${run[@]}" "$@")
}

# counted NAME...: sets each NAME (reads, writes, lines, polls,
# pauses) to what the fault library counted in the last run.
counted() {
	local report
	read -ra report <"$t/report"
	while (($#)); do
		case $1 in
		reads) reads=${report[1]} ;;
		writes) writes=${report[3]} ;;
		lines) lines=${report[5]} ;;
		polls) polls=${report[7]} ;;
		pauses) pauses=${report[9]} ;;
		esac
		shift
	done
}

# listing DIRNAME [-0]: what pathlist DIRNAME must write; with -0, each path
# ended with a NUL instead of a newline.
listing() {
	# shellcheck disable=SC2012 # ls -f is the reference: it reads in the same order
	ls -f --zero -- "$1" | DIRNAME=$1 END=${2:-} perl -0 -ne 'chomp;
		print "$ENV{DIRNAME}/$_", $ENV{END} ? "\0" : "\n"'
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

@test "its manual page is there and formats cleanly" {
	page_is_clean "${PATHLIST_PAGE:-}" PATHLIST
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
	emulated && skip "an emulator cannot start a program with an empty argument vector"
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
	program=$PATHLIST as=() run=("${emulated[@]}")
	if ((EUID == 0)); then
		# Root reads it anyway: run pathlist as nobody, from a copy that
		# nobody can reach, since the build may be in a private home; so
		# may an emulator's wrapper.
		cp "$PATHLIST" "$t/pathlist"
		if [[ ${run[0]:-} == */* ]]; then
			cp "${run[0]}" "$t/emulator"
			run[0]=$t/emulator
		fi
		for dir in "$t" "$(dirname "$t")" "$BATS_RUN_TMPDIR"; do chmod go+x "$dir"; done
		as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
		"${as[@]}" test -x "$t/pathlist" ||
			missing "a TMPDIR open to all: nobody cannot reach $t"
		program=$t/pathlist
	fi
	try "${checked[@]}" "${as[@]}" "${run[@]}" "$program" "$t/locked" >"$out" 2>"$err"
	check 1 "pathlist: cannot open directory '$t/locked': Permission denied" /dev/null
}

@test "a read that fails midway ends the listing, the message after the lines read" {
	mkdir "$t/dir"
	touch "$t/dir/file"{0..9}
	listing "$t/dir" >"$t/all"
	for after in 0 3 11; do
		message="pathlist: reading directory '$t/dir': Input/output error"
		try pathlist_with_faults READDIR_FAULT_AFTER=$after -- "$t/dir" >"$out" 2>&1
		check 1 "" <(head -n "$after" "$t/all"; echo "$message") ||
			{ echo "after $after entries" >&2; return 1; }
	done

	# When the lines before the failure cannot be written either, the
	# write error alone explains the output.
	try pathlist_with_faults READDIR_FAULT_AFTER=3 -- "$t/dir" >/dev/full 2>"$err"
	check 1 "pathlist: write error: No space left on device"
}

@test "an interrupted open or read of the directory is made again" {
	mkdir "$t/dir"
	touch "$t/dir/file"{0..9}
	for fault in OPENDIR_FAULT=EINTR READDIR_FAULT_AFTER=1:EINTR READDIR_FAULT_AFTER=0:EINTR; do
		try pathlist_with_faults "$fault" -- "$t/dir" >"$out" 2>"$err"
		check 0 "" <(listing "$t/dir") || { echo "with $fault" >&2; return 1; }
	done
}

@test "lines of any length are written whole, also across the edges of the buffer" {
	mkdir "$t/shallow" "$t/edge"
	deep=$(deep_dir 4000)
	# The edge directory holds . and .. and gets one long name: output of
	# 64 KiB less one, exactly, and one more, and of several times that.
	edge=$((64 * 1024 - 3 * ${#t} - 24))
	for c in "$t/shallow 300" "$t/shallow 5000" "$deep 300" \
		"$t/edge $((edge - 1))" "$t/edge $edge" "$t/edge $((edge + 1))" "$t/edge 300000"; do
		dir=${c% *} length=${c##* }
		{ listing "$dir"; printf '%s/%s\n' "$dir" "$(head -c "$length" /dev/zero | tr '\0' n)"; } >"$expected"
		[[ $dir != "$t/edge" || $length != "$edge" || $(stat -c %s "$expected") == 65536 ]]
		try pathlist_with_faults READDIR_FAULT_LONG_NAME="$length" -- "$dir" >"$out" 2>"$err"
		check 0 "" "$expected" || { echo "a name of $length bytes in $dir" >&2; return 1; }
	done
}

# reads_at_most WRITES: what the fault library counted shows that pathlist
# read no more of $huge than fills WRITES buffers of 64 KiB, and made no
# write after the last of those.
reads_at_most() {
	local line=$((${#huge} + 28)) reads writes
	counted reads writes
	((writes == $1 && reads <= $1 * 65536 / line + 3)) ||
		{ echo "reads $reads, writes $writes, after write $1 failed" >&2; return 1; }
}

# prefix_of FILE: $out is a strict prefix of FILE: no hole, no glued line.
prefix_of() {
	local size
	size=$(stat -c %s "$out")
	if ((size >= $(stat -c %s "$1"))) || ! cmp -s -n "$size" "$out" "$1"; then
		echo "output of $size bytes is no strict prefix of $1" >&2
		return 1
	fi
}

@test "output that cannot be written stops the listing at once" {
	needs_huge
	mkdir "$t/small"
	for dir in "$t/small" "$huge"; do
		try pathlist_with_faults -- "$dir" >/dev/full 2>"$err"
		check 1 "pathlist: write error: No space left on device"
		[[ $dir == "$t/small" ]] || reads_at_most 1
		# valgrind takes a closed descriptor 1 for its own files.
		under_valgrind && continue
		try pathlist "$dir" >&- 2>"$err"
		check 1 "pathlist: write error: Bad file descriptor"
	done

	# A write that fails, where the ones after it would have succeeded.
	for fault in "3:ENOSPC|No space left on device" "1:EIO:ever|Input/output error"; do
		try pathlist_with_faults WRITE_FAULT="${fault%|*}" -- "$huge" >"$out" 2>"$err"
		check 1 "pathlist: write error: ${fault#*|}"
		prefix_of "$huge.listing"
		reads_at_most "${fault%%:*}"
	done

	# A reader that stops early: SIGPIPE ends the listing without a word,
	# and with SIGPIPE ignored, the write fails and says so.
	status=0
	(trap '' PIPE && pathlist "$huge" 2>"$err" | head -c 1 >/dev/null && exit "${PIPESTATUS[0]}") ||
		status=$?
	check 1 "pathlist: write error: Broken pipe"
	# (valgrind reports the signal itself)
	under_valgrind && return
	pathlist "$huge" 2>"$err" | head -c 1 >/dev/null
	status=${PIPESTATUS[0]}
	check 141 ""
}

@test "a non-blocking or interrupted standard output loses nothing" {
	needs_huge
	# A slow reader keeps the pipe full, so that writes meet EAGAIN.
	perl -MFcntl -e 'fcntl(STDOUT, F_SETFL, fcntl(STDOUT, F_GETFL, 0) | O_NONBLOCK) or die;
		exec @ARGV or die' -- "${checked[@]}" "${emulated[@]}" "$PATHLIST" "$huge" 2>"$err" |
		perl -e 'print while select(undef, undef, undef, 0.0005), sysread(STDIN, $_, 16384)' >"$out"
	status=${PIPESTATUS[0]}
	check 0 "" "$huge.listing"

	# A refusal seen blocking: the descriptor was non-blocking when it
	# refused, and another process sharing it has cleared the flag since.
	for fault in "2:EAGAIN|nonblocking" "2:EINTR|nonblocking" "2:EAGAIN|"; do
		wrapper=()
		[[ ${fault#*|} == nonblocking ]] && wrapper=("${nonblocking[@]}" 1)
		try pathlist_with_faults WRITE_FAULT="${fault%|*}" -- "$huge" >"$out" 2>"$err"
		check 0 "" "$huge.listing" || { echo "with $fault" >&2; return 1; }
	done

	# The same for real: the pipe, kept full by a slow reader, is shared
	# with a process that sets and clears O_NONBLOCK on it without end.
	{
		# shellcheck disable=SC2016 # the variables are perl's
		perl -MFcntl -e '$SIG{TERM} = sub { exit 0 };
			for (;;) { fcntl(STDOUT, F_SETFL, fcntl(STDOUT, F_GETFL, 0) ^ O_NONBLOCK) }' &
		toggler=$!
		try "${checked[@]}" "${emulated[@]}" "$PATHLIST" "$huge" 2>"$err"
		kill "$toggler"
		wait "$toggler"
		echo "$status" >"$t/status"
	} | perl -e 'print while select(undef, undef, undef, 0.0005), sysread(STDIN, $_, 16384)' >"$out"
	status=$(<"$t/status")
	check 0 "" "$huge.listing"
}

@test "a descriptor that refuses, cannot be waited for or takes nothing is never spun on" {
	mkdir "$t/small"
	# write fault | poll fault | standard output | writes made | the reason
	while IFS='|' read -r write poll how made reason; do
		# (a spinning pathlist is cut off)
		wrapper=(timeout 20)
		[[ $how == non-blocking ]] && wrapper+=("${nonblocking[@]}" 1)
		try pathlist_with_faults WRITE_FAULT="$write" POLL_FAULT="$poll" -- "$t/small" >"$out" 2>"$err"
		counted writes
		check 1 "pathlist: write error: $reason" /dev/null && ((writes == made)) ||
			{ echo "WRITE_FAULT=$write POLL_FAULT=$poll, $how: $writes writes" >&2; return 1; }
	done <<-CASES
		1:EAGAIN:ever||blocking|2|Resource temporarily unavailable
		1:ZERO||blocking|1|Nothing was written
		1:ZERO||non-blocking|1|Nothing was written
		1:EAGAIN|ENOMEM|non-blocking|1|Cannot allocate memory
		1:EAGAIN|EINVAL|non-blocking|1|Invalid argument
	CASES

	# Ready by poll and refusing write after write, as a file that cannot
	# be polled: pathlist does not give up, and pauses 1, 2, 4 ... ms
	# after each refusal but the first, up to a quarter of a second. The
	# fault library records the pauses and skips them.
	wrapper=("${nonblocking[@]}" 1)
	try pathlist_with_faults WRITE_FAULT=1:EAGAIN:12 SLEEP_FAULT=skip -- "$t/small" >"$out" 2>"$err"
	counted writes polls pauses
	check 0 "" <(listing "$t/small") && [[ $pauses == 1,2,4,8,16,32,64,128,256,256,256 ]] &&
		((writes == 13 && polls == 12)) ||
		{ echo "$writes writes, $polls polls, pauses $pauses" >&2; return 1; }

	# A wait interrupted by a signal is made again.
	try pathlist_with_faults WRITE_FAULT=1:EAGAIN POLL_FAULT=EINTR:once -- "$t/small" >"$out" 2>"$err"
	counted writes polls pauses
	check 0 "" <(listing "$t/small") && ((writes == 2 && polls == 2)) && [[ $pauses == - ]] ||
		{ echo "$writes writes, $polls polls, pauses $pauses" >&2; return 1; }
}

# bats test_tags=shown
@test "a message waits for a full non-blocking standard error, and arrives whole, once" {
	# The pipe is full when pathlist starts, and drained half a second on.
	"${nonblocking[@]}" 2 perl -e '1 while syswrite STDERR, "\0" x 4096; exec @ARGV or die' -- \
		"${checked[@]}" "${emulated[@]}" "$PATHLIST" "$t/missing" 2>&1 >"$out" | { sleep 0.5; cat; } >"$err.all"
	status=${PIPESTATUS[0]}
	tr -d '\0' <"$err.all" >"$err"
	check 1 "pathlist: cannot open directory '$t/missing': No such file or directory" /dev/null

	# Standard error that cannot be written at all does not change the
	# exit status.
	try pathlist "$t/missing" 2>/dev/full >"$out"
	check 1 "" /dev/null
	# valgrind takes a closed descriptor 2 for its own files.
	under_valgrind && return
	try pathlist "$t/missing" 2>&- >"$out"
	check 1 "" /dev/null
}

# bats test_tags=shown
@test "on a terminal, a line longer than the buffer is written whole, and a write that fails inside it stops pathlist" {
	control=$t/control$'\001'
	mkdir "$t/plain" "$control"
	wrapper=("${on_a_terminal[@]}")
	# directory | the long name's byte (decimal)
	while IFS='|' read -r dir byte; do
		name=$(head -c 70000 /dev/zero | tr '\0' "\\$(printf %03o "$byte")")
		# The long name comes last, after the lines of . and .., each a write.
		try pathlist_with_faults READDIR_FAULT_LONG_NAME=70000:"$byte" -- "$dir" >"$out" 2>"$err"
		check 0 "" && unquote <"$out" | cmp -s - <(listing "$dir" -0; printf '%s/%s\0' "$dir" "$name") &&
			head -n 2 "$out" >"$expected" &&
			try pathlist_with_faults READDIR_FAULT_LONG_NAME=70000:"$byte" WRITE_FAULT=3:ENOSPC -- "$dir" >"$out" 2>"$err" &&
			check 1 "pathlist: write error: No space left on device" "$expected" ||
			{ echo "a long name of byte $byte in $dir" >&2; return 1; }
	done <<-CASES
		$t/plain|110
		$control|110
		$t/plain|1
	CASES
}

# c_library_shows: the NUL-ended paths on standard input that the C library
# of the programs under test, in the locale of the environment, does not
# take for printable, each ended with a NUL; status 1 when there are any.
c_library_shows() {
	"${emulated[@]}" "$C_LIBRARY_SHOWS"
}

# utf8_loads: the C library of the programs under test loads C.UTF-8 (under
# qemu-user, not when the host's locales are of the other byte order).
utf8_loads() {
	LC_ALL=C.UTF-8 c_library_shows </dev/null
}

# Names, and how a terminal in a locale gets each: as it is (raw) or quoted;
# known: as it is where the C library knows U+1FAE8, of Unicode 15. First,
# in UTF-8, names that would drive a terminal that shows them, or hide what
# they are, each of its own kind: controls, direction marks, bytes that are
# not UTF-8, characters that show nothing (default-ignorable, unassigned,
# noncharacters, joiners and variation selectors out of place), a blank at
# the end, a mark on a blank, every solidus (so that no row of a line
# wrapped at 80 columns reads as a path of a directory d), what would make
# a wrapped row read as a quoted line; then names that would not, in many
# scripts, joiners and variation selectors where they belong included.
# Last, what locales that are not UTF-8 show, and in C names that a
# reader's decoder could join with what follows them, which a shell that
# took such bytes and the closing quote for one character would run: UTF-8
# whose last bytes begin a character in GBK, GB18030, Big5 or Shift_JIS
# before a quote or a backslash, the tail of U+1F3A8 (an EUC-TW single
# shift), U+20DD and a kana with its combining mark (one character in JIS
# X 0213).
# locale | raw, quoted or known | the name, in printf's %b escapes
names() {
	cat <<-'NAMES'
		C.UTF-8|quoted|colour\e[31mred
		C.UTF-8|quoted|title\e]0;pwned\x07
		C.UTF-8|quoted|clipboard\e]52;c;cHduZWQ=\x07
		C.UTF-8|quoted|over\x0dwritten
		C.UTF-8|quoted|new\x0aline
		C.UTF-8|quoted|tab\x09here
		C.UTF-8|quoted|delete\x7f
		C.UTF-8|quoted|csi\x9b31m
		C.UTF-8|quoted|c1 in utf-8\xc2\x9b31m
		C.UTF-8|quoted|\xe2\x80\xaeexe.txt
		C.UTF-8|quoted|isolate\xe2\x81\xa6
		C.UTF-8|quoted|invalid\xff
		C.UTF-8|quoted|overlong\xe0\x83\xa9
		C.UTF-8|quoted|surrogate\xed\xa0\x80
		C.UTF-8|quoted|cut short\xe2\x80
		C.UTF-8|quoted|ltr mark\xe2\x80\x8e
		C.UTF-8|quoted|rtl mark\xe2\x80\x8f
		C.UTF-8|quoted|arabic mark\xd8\x9c
		C.UTF-8|quoted|zero\xe2\x80\x8bwidth
		C.UTF-8|quoted|word\xe2\x81\xa0joiner
		C.UTF-8|quoted|invisible\xe2\x81\xa2times
		C.UTF-8|quoted|\xef\xbb\xbfbom
		C.UTF-8|quoted|line\xe2\x80\xa8separator
		C.UTF-8|quoted|paragraph\xe2\x80\xa9separator
		C.UTF-8|quoted|soft\xc2\xadhyphen
		C.UTF-8|quoted|grapheme\xcd\x8fjoiner
		C.UTF-8|quoted|\xe1\x85\x9fhangul filler
		C.UTF-8|quoted|khmer\xe1\x9e\xb4vowel
		C.UTF-8|quoted|mongolian\xe1\xa0\x8bselector
		C.UTF-8|quoted|music\xf0\x9d\x85\xb3begin
		C.UTF-8|quoted|report.pdf\xf3\xa0\x80\xa0\xf3\xa0\x81\xb2\xf3\xa0\x81\xad
		C.UTF-8|quoted|ascii\xef\xb8\x8fselected
		C.UTF-8|quoted|a\xe2\x80\x8db
		C.UTF-8|quoted|unassigned\xcd\xb8
		C.UTF-8|quoted|nonchar\xef\xb7\x90
		C.UTF-8|quoted|nonchar\xef\xbf\xbf
		C.UTF-8|quoted|space at the end 
		C.UTF-8|quoted|no-break space\xc2\xa0
		C.UTF-8|quoted|ideographic space\xe3\x80\x80
		C.UTF-8|quoted|ab\xc2\xa0\xef\xb8\x8f
		C.UTF-8|quoted|ab\xe3\x80\x80\xef\xb8\x8f
		C.UTF-8|quoted|ab\xe2\xa0\x80\xef\xb8\x80
		C.UTF-8|quoted|\xc2\xa0\xef\xb8\x8f
		C.UTF-8|quoted|ab\xc2\xa0\xe2\x80\x8d
		C.UTF-8|quoted|ab \xcc\x81
		C.UTF-8|quoted|mark on a \xcc\x81space
		C.UTF-8|quoted|a \xcc\xb8secret
		C.UTF-8|quoted|no-break\xc2\xa0\xe2\x83\xabdouble
		C.UTF-8|quoted|notes                                                                         d \xcc\xb8secret.key
		C.UTF-8|quoted|notes2                                                                        d\xe2\xa0\x80\xcc\xb8id_rsa
		C.UTF-8|quoted|notes                                                                         d\xe2\x88\x95secret.key
		C.UTF-8|quoted|notes                                                                         t\xe2\xb3\x87secret.key
		C.UTF-8|quoted|todo                                                                          t\xef\xbe\x89id_rsa
		C.UTF-8|quoted|c\xe2\xb9\x8asecret
		C.UTF-8|quoted|heavy\xf0\x9f\x99\xbcsolidus
		C.UTF-8|quoted|double\xe2\xab\xbdsolidus
		C.UTF-8|quoted|overbar\xe2\xa7\xb6solidus
		C.UTF-8|quoted|superset\xe2\x9f\x89solidus
		C.UTF-8|quoted|a\xe2\x81\x84b
		C.UTF-8|quoted|a\xef\xbc\x8fb
		C.UTF-8|quoted|a\xe2\x95\xb1b
		C.UTF-8|quoted|a\xe2\xa7\xb8b
		C.UTF-8|quoted|\xe4\xb8\xbf
		C.UTF-8|quoted|\xe3\x83\xa1\xe3\x83\xa2                                                                       \xe6\x9b\xb8\xe9\xa1\x9e\xef\xbe\x89\xe7\xa7\x98\xe5\xaf\x86\xe9\x8d\xb5.pem
		C.UTF-8|quoted|$'looks quoted'
		C.UTF-8|quoted|log                                                                           $'t\\057id_rsa'
		C.UTF-8|raw|a space
		C.UTF-8|raw|it's
		C.UTF-8|raw|back\\slash
		C.UTF-8|raw|Привет
		C.UTF-8|raw|漢字
		C.UTF-8|raw|é
		C.UTF-8|raw|😀
		C.UTF-8|raw|£5
		C.UTF-8|raw|20°C
		C.UTF-8|raw|नमस्ते
		C.UTF-8|raw|می\xe2\x80\x8cخواهم
		C.UTF-8|raw|👨\xe2\x80\x8d👩\xe2\x80\x8d👧
		C.UTF-8|raw|café
		C.UTF-8|raw|日本語
		C.UTF-8|raw|❤\xef\xb8\x8f
		C.UTF-8|raw|a\xc2\xa0❤\xef\xb8\x8f
		C.UTF-8|raw|a b
		C.UTF-8|raw|🇫🇷
		C.UTF-8|raw|ߊ
		C.UTF-8|raw|ｱｲｳ
		C.UTF-8|raw|ＡＢＣ
		C.UTF-8|raw|x\xcc\x81
		C.UTF-8|raw|cafe\xcc\x81
		C.UTF-8|raw|x\xc3\xa9\xcc\x81
		C.UTF-8|raw|क्षि
		C.UTF-8|raw|ที่นี่
		C.UTF-8|raw|\xe1\x84\x92\xe1\x85\xa1\xe1\x86\xab
		C.UTF-8|raw|👍🏽
		C.UTF-8|raw|🏳\xef\xb8\x8f\xe2\x80\x8d🌈
		C.UTF-8|raw|øł
		C.UTF-8|raw|ノート
		C.UTF-8|raw|a\xc4\x9b2J\xc4\x9bH
		C.UTF-8|known|a\xf0\x9f\xab\xa8b
		C|quoted|a\xc4\x9b2J\xc4\x9bH
		C|quoted|中'; touch PWNED; #\x01
		C|quoted|Б\\'; touch PWNED; #\x01
		C|quoted|ア\\\x01
		C|quoted|漢\x01'$(touch PWNED)'
		C|quoted|й'\\\x7f`touch PWNED`
		C|quoted|\x01🎨;touch PWNED;#
		C|quoted|\x01🎨';touch PWNED;#
		C|quoted|\x01\xe2\x83\x9d';touch PWNED;#
		C|quoted|\x01か\xe3\x82\x9a'$(touch PWNED)'
		C|quoted|\x01e\xcc\x80\\';touch PWNED
		POSIX|quoted|\xc3\x9b31mRED
		unset|quoted|\xc3\x9b31mRED
		en_US.ISO-8859-1|quoted|café
		zh_TW.EUC-TW|quoted|中文
		xx_YY.UTF-8|raw|café
	NAMES
}

# make_names LOCALE DIR: makes DIR, of the names of the rows for LOCALE;
# sets made to their count and raw to the paths a terminal in LOCALE gets
# as they are.
make_names() {
	local locale shown name known=raw utf8=yes names=()
	printf 'a\xf0\x9f\xab\xa8b\0' | LC_ALL=C.UTF-8 c_library_shows >/dev/null || known=quoted
	utf8_loads || utf8=no
	raw=()
	while IFS='|' read -r locale shown name; do
		[[ $locale == "$1" ]] || continue
		printf -v name '%b' "$name"
		names+=("$name")
		[[ $shown == known ]] && shown=$known
		[[ $shown == raw && $utf8 == yes ]] && raw+=("$2/$name")
	done < <(names)
	made=${#names[@]}
	mkdir "$2" && (cd "$2" && touch -- "${names[@]}")
}

# shown_as_made DIR: the last run listed DIR as make_names made it: the
# paths in raw as they are, every other quoted, each read back to its path.
shown_as_made() {
	unquote <"$out" | cmp - <(listing "$1" -0) &&
		diff <(grep '^/' "$out" | sort) <(printf '%s\n' "$1/." "$1/.." "${raw[@]}" | sort)
}

# A quoted line: one $'...' shell word, of printable ASCII only.
quoted_line="^\\\$'([ -&(-[]|[]-~]|\\\\[nt'\\]|\\\\[0-7]{3})*'\$"

# unquote: the paths that lines shown on a terminal stand for, each ended
# with a NUL; a quoted line is read back by bash.
unquote() {
	local line path
	while IFS= read -r line; do
		if [[ $line == "'"* || $line == "\$'"* ]]; then
			[[ $line =~ $quoted_line ]] || { echo "not one quoted word: $line" >&2; return 1; }
			eval "path=$line"
		else
			path=$line
		fi
		printf '%s\0' "$path"
	done
}

# bats test_tags=shown
@test "on a terminal, a path that could drive it is quoted and every other written as it is" {
	if ! utf8_loads; then
		emulated && skip "the emulated C library loads no UTF-8 locale of this byte order"
		missing "a UTF-8 locale the C library loads (C.UTF-8)"
	fi
	dir=$t/names
	make_names C.UTF-8 "$dir"
	wrapper=(env LC_ALL=C.UTF-8 "${on_a_terminal[@]}")
	try pathlist_with_faults -- "$dir" >"$out" 2>"$err"
	check 0 ""
	# No byte that a terminal acts on: valid UTF-8 throughout, with no
	# control character, format character, separator of lines, unassigned
	# or default-ignorable character but the newlines, and the joiners and
	# variation selectors of the names shown as they are.
	perl -MEncode -0777 -ne '$_ = decode("UTF-8", $_, Encode::FB_CROAK);
		s/(?<=[^\x00-\x7f])(?:[\x{200c}\x{200d}](?=[^\x00-\x7f])|\x{fe0f})//g; s/\n//g;
		exit(/[\p{Cc}\p{Cf}\p{Cn}\p{Zl}\p{Zp}\p{Default_Ignorable_Code_Point}]/ ? 1 : 0)' "$out"
	shown_as_made "$dir"
	# Each line is written whole, in one write, as soon as it is whole.
	counted writes lines
	((writes == made + 2 && lines == writes))

	# A path that begins as a quoted line does, also after characters that
	# show nothing (a joiner, a combining mark, a space), is quoted itself.
	cd "$t"
	# A $ not before a quote does not.
	marked=$'\xcc\x81\'marked' control=$'control\001' beyond=$'\xc3\xa9 \xc3\xa9'
	# A mark that begins the path has nothing to sit on: a terminal drops
	# it, and would show another directory's listing.
	mark_first=$'\xcc\x81x' solidus_first=$'\xcc\xb8etc'
	# So does a Hangul vowel, of no width; and an EN QUAD, whose UTF-8
	# holds the byte 0x80, before a quote.
	jamo_first=$'\xe1\x85\xa1etc' en_quad=$'\xe2\x80\x80\'x'
	# the directory | how many of its three lines are quoted
	while IFS='|' read -r looks quoted; do
		mkdir "$looks"
		touch "$looks/plain"
		try pathlist "$looks" >"$out" 2>"$err"
		check 0 "" && [[ $(grep -c "^\\\$'" "$out") == "$quoted" ]] &&
			unquote <"$out" | cmp - <(listing "$looks" -0) ||
			{ echo "listing $looks" >&2; return 1; }
	done <<-CASES
		\$'quoted'|3
		'quoted'|3
		$marked|3
		 \$'spaced|3
		\$'|3
		\$HOME|0
		\$|0
		$control|3
		$beyond|0
		$mark_first|3
		$solidus_first|3
		$jamo_first|3
		$en_quad|3
	CASES

	# Not on a terminal, every byte as it is.
	wrapper=()
	pathlist "$dir" 2>"$err" | cat >"$out"
	status=${PIPESTATUS[0]}
	check 0 "" <(listing "$dir")
}

# make_locale NAME FROM CHARMAP: makes the locale NAME, from the locale
# source FROM in the character set CHARMAP, under $locales, for LOCPATH;
# false where Debian's locales (its sources and charmaps) are missing.
locales=$BATS_FILE_TMPDIR/locales
make_locale() {
	[[ -e $locales/$1 ]] && return 0
	[[ -e /usr/share/i18n/charmaps/$3.gz ]] || return 1
	mkdir -p "$locales"
	localedef -c -i "$2" -f "$3" "$locales/$1.partial" 2>/dev/null || [[ -e $locales/$1.partial ]] || return 1
	mv "$locales/$1.partial" "$locales/$1"
}

# on_terminal_in LOCALE DIRNAME: pathlist DIRNAME on a terminal, LOCALE
# in LC_ALL (unset: no LC_ALL, LC_CTYPE nor LANG), locales made here found
# first.
on_terminal_in() {
	local environment=(env -u LC_ALL -u LC_CTYPE -u LANG)
	[[ $1 == unset ]] || environment+=(LC_ALL="$1")
	[[ ! -e $locales/$1 ]] || environment+=(LOCPATH="$locales")
	# (set for pathlist alone: valgrind's wrapper is a bash script, which
	# warns of a locale it cannot load)
	try "${on_a_terminal[@]}" "${checked[@]}" "${environment[@]}" "${emulated[@]}" "$PATHLIST" "$2" >"$out" 2>"$err"
}

# bats test_tags=locales
@test "on a terminal, as it is only what it shows: in its character set, known to its C library, no blank last, no slash but one" {
	make_locale en_US.ISO-8859-1 en_US ISO-8859-1 && make_locale zh_TW.EUC-TW zh_TW EUC-TW ||
		missing "charmaps to make locales from (Debian's locales)"
	for locale in $(names | cut -d '|' -f 1 | sort -u | grep -vx C.UTF-8); do
		make_names "$locale" "$t/$locale"
		on_terminal_in "$locale" "$t/$locale"
		check 0 "" && shown_as_made "$t/$locale" || { echo "in $locale" >&2; return 1; }
	done
}

# bats test_tags=locales
@test "on a terminal, seeded random names: as it is only what the C library prints, no blank last; ASCII alone outside UTF-8" {
	make_locale en_US.ISO-8859-1 en_US ISO-8859-1 && make_locale zh_TW.EUC-TW zh_TW EUC-TW ||
		missing "charmaps to make locales from (Debian's locales)"
	dir=$t/random
	mkdir "$dir"
	# Printable ASCII, any character, blanks, marks, joiners, variation
	# selectors, slashes that are not one, characters new in Unicode 15,
	# C1 controls and stray bytes, pieced together.
	# shellcheck disable=SC2016 # the variables are perl's
	perl -e 'srand(20261208);
		my @pick = (0xa0, 0x3000, 0x2800, 0x2007, 0x301, 0x20dd, 0x200c, 0x200d, 0xfe0f, 0xfe00,
			0xe0100, 0x2215, 0x2044, 0xff0f, 0x30ce, 0x1fae8, 0xcf3, 0x9b, 0x9d, 0x85, 0xad, 0x200b);
		sub utf8 { my $c = shift; return chr($c) if $c < 0x80; my $b = chr($c); utf8::encode($b); $b }
		my %made;
		while (keys %made < 1500) {
			my $name = "";
			for (1 .. 1 + int rand 8) {
				my $kind = int rand 5;
				if ($kind == 0) { $name .= chr(0x20 + int rand 0x5f) }
				elsif ($kind == 1) { $name .= utf8($pick[int rand @pick]) }
				elsif ($kind == 2) { $name .= chr(0x80 + int rand 0x80) }
				else {
					my $c = 0x80 + int rand($kind == 3 ? 0xff80 : 0x10ff80);
					$name .= utf8($c) unless $c >= 0xd800 && $c < 0xe000;
				}
			}
			next if $name =~ m{/} || $name eq "" || $name eq "." || $name eq ".." || length $name > 255;
			open(my $file, ">", "$ARGV[0]/$name") or die "$name: $!\n";
			$made{$name} = 1;
		}' "$dir"
	listing "$dir" -0 >"$expected"
	for locale in C.UTF-8 C POSIX unset en_US.ISO-8859-1 zh_TW.EUC-TW; do
		on_terminal_in "$locale" "$dir"
		# (cmp says where a difference begins, and whether lines are missing)
		check 0 "" && unquote <"$out" >"$t/read" && cmp "$t/read" "$expected" >&2 ||
			{ echo "$locale: not read back to the listing: $(wc -l <"$out") lines" >&2; return 1; }
		if [[ $locale != C.UTF-8 ]] || ! utf8_loads; then
			! grep -q '[^ -~]' "$out" || { echo "$locale: more than printable ASCII" >&2; return 1; }
			continue
		fi
		grep -v "^\\\$'" "$out" | tr '\n' '\0' >"$t/raw"
		[[ $(tr -cd '\0' <"$t/raw" | wc -c) -gt 100 ]] || { echo "too few paths shown as they are" >&2; return 1; }
		LC_ALL=C.UTF-8 c_library_shows <"$t/raw" >"$t/unknown" ||
			{ echo "shown, but not printable to the C library: $(tr '\0' '\n' <"$t/unknown")" >&2; return 1; }
		# shellcheck disable=SC2016 # the variables are perl's
		perl -0 -ne 'chomp; utf8::decode($_) or die "not UTF-8: $_\n";
			s/[\p{Mn}\p{Me}\x{200c}\x{200d}\x{fe00}-\x{fe0f}\x{e0100}-\x{e01ef}]+$//;
			/[\p{Zs}\x{2800}]$/ and die "a blank last: $_\n"' "$t/raw"
	done
}

# shows LOCALE NAME SHOWN: in LOCALE, pathlist names the directory $t/NAME
# as SHOWN in its message, and bash reads SHOWN back to the same bytes.
shows() {
	try "${checked[@]}" env LC_ALL="$1" "${emulated[@]}" "$PATHLIST" "$t/$2" >"$out" 2>"$err"
	check 1 "pathlist: cannot open directory $3: No such file or directory" /dev/null
	# (the dot keeps a trailing newline from being taken off)
	[[ $(eval "printf %s. $3") == "$t/$2." ]] || { echo "$3 is not read back as $t/$2" >&2; return 1; }
}

# bats test_tags=shown
@test "a message is one line, whatever the bytes of the directory's name" {
	shows C "plain name" "'$t/plain name'"
	shows C 'back\slash' "'$t/back\\slash'"
	shows C $'new\nline' "\$'$t/new\\nline'"
	shows C $'tab\there' "\$'$t/tab\\there'"
	shows C $'escape\e[31m' "\$'$t/escape\\033[31m'"
	shows C $'delete\x7f' "\$'$t/delete\\177'"
	shows C $'c1\x9b' "\$'$t/c1\\233'"
	shows C "it's" "\$'$t/it\\'s'"
	shows C $'it\'s\\\n' "\$'$t/it\\'s\\\\\\n'"
	shows C "blank at the end " "\$'$t/blank at the end '"
	# Beyond ASCII, as it is only where the locale is UTF-8: elsewhere a
	# terminal may take its bytes for controls, or one of them with the
	# closing quote.
	shows C "é" "\$'$t/\\303\\251'"
	shows POSIX "Привет, 世界" "\$'$t/\\320\\237\\321\\200\\320\\270\\320\\262\\320\\265\\321\\202, \\344\\270\\226\\347\\225\\214'"
	shows C $'a\xc4\x9b2J' "\$'$t/a\\304\\2332J'"
	utf8_loads || return 0
	shows C.UTF-8 "é" "'$t/é'"
	shows C.UTF-8 "Привет, 世界" "'$t/Привет, 世界'"
	shows C.UTF-8 $'c1 in utf-8\xc2\x9b' "\$'$t/c1 in utf-8\\302\\233'"
	shows C.UTF-8 $'\xe2\x80\xaeexe.txt' "\$'$t/\\342\\200\\256exe.txt'"
	shows C.UTF-8 $'Привет\x01' "\$'$t/\\320\\237\\321\\200\\320\\270\\320\\262\\320\\265\\321\\202\\001'"
	shows C.UTF-8 "中'; touch PWNED; #" "\$'$t/\\344\\270\\255\\'; touch PWNED; #'"
	shows C.UTF-8 $'\x01🎨;touch PWNED;#' "\$'$t/\\001\\360\\237\\216\\250;touch PWNED;#'"
	shows C.UTF-8 $'zero\xe2\x80\x8bwidth' "\$'$t/zero\\342\\200\\213width'"
	shows C.UTF-8 $'ab\xc2\xa0\xef\xb8\x8f' "\$'$t/ab\\302\\240\\357\\270\\217'"
	# A directory that begins with a mark, which a terminal would drop.
	cd "$t"
	try "${checked[@]}" env LC_ALL=C.UTF-8 "${emulated[@]}" "$PATHLIST" $'\xcc\x81x' >"$out" 2>"$err"
	check 1 "pathlist: cannot open directory \$'\\314\\201x': No such file or directory" /dev/null
}

# bats test_tags=locales
@test "on a terminal, a quoted line reads back exactly and runs nothing in every locale and shell" {
	shells=(bash "zsh -f" ksh93 mksh)
	for shell in "${shells[@]}"; do
		command -v "${shell% *}" >/dev/null || missing "${shell% *}"
	done
	[[ -e /usr/share/i18n/charmaps/GBK.gz ]] || missing "charmaps to make locales from (Debian's locales)"
	# locale | from | charmap
	while IFS='|' read -r locale from charmap; do
		make_locale "$locale" "$from" "$charmap" || { echo "localedef $locale failed" >&2; return 1; }
	done <<-LOCALES
		zh_CN.GBK|zh_CN|GBK
		zh_CN.GB18030|zh_CN|GB18030
		zh_TW.BIG5|zh_TW|BIG5
		ja_JP.SJIS|ja_JP|SHIFT_JIS
		zh_TW.EUC-TW|zh_TW|EUC-TW
		ja_JP.EUC-JP|ja_JP|EUC-JP
		ko_KR.EUC-KR|ko_KR|EUC-KR
		zh_HK.BIG5-HKSCS|zh_HK|BIG5-HKSCS
		ja_JP.SHIFT_JISX0213|ja_JP|SHIFT_JISX0213
		ja_JP.EUC-JISX0213|ja_JP|EUC-JISX0213
	LOCALES

	dir=$t/quoted
	make_names C "$dir"
	mkdir "$t/run"
	wrapper=("${on_a_terminal[@]}")
	try pathlist "$dir" >"$out" 2>"$err"
	check 0 ""
	# Every line quoted, in printable ASCII only; each as it would be
	# pasted: printf's argument.
	grep -vxF -e "$dir/." -e "$dir/.." "$out" >"$out.quoted"
	[[ $(grep -c "^\\$'[ -~]*'\$" "$out.quoted") == "$made" && $(wc -l <"$out.quoted") == "$made" ]] ||
		{ echo "not every line quoted in printable ASCII" >&2; return 1; }
	sed "s/^/printf '%s\\\\0' /" "$out.quoted" >"$t/read-back"
	listing "$dir" -0 | grep -zvxF -e "$dir/." -e "$dir/.." | sort -z >"$expected"
	for locale in C C.UTF-8 zh_CN.GBK zh_CN.GB18030 zh_TW.BIG5 ja_JP.SJIS zh_TW.EUC-TW ja_JP.EUC-JP \
		ko_KR.EUC-KR zh_HK.BIG5-HKSCS ja_JP.SHIFT_JISX0213 ja_JP.EUC-JISX0213; do
		for shell in "${shells[@]}"; do
			# shellcheck disable=SC2086 # the shell and its options
			(cd "$t/run" && LOCPATH=$locales LC_ALL=$locale $shell "$t/read-back") | sort -z >"$out.read"
			cmp -s "$out.read" "$expected" && [[ -z $(ls -A "$t/run") ]] ||
				{ echo "$shell in $locale: read back wrongly, or ran $(ls -A "$t/run")" >&2; return 1; }
		done
	done
}
