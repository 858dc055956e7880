#!/usr/bin/env bats
# SPDX-License-Identifier: MIT
# gridcheck run as a user would run it, and copies of it whose built-in data
# has been changed, which must report exactly what the change implies.

# shellcheck source=../test_harness/common.bash
source "$BATS_TEST_DIRNAME/../test_harness/common.bash"

gridcheck() {
	"${checked[@]}" "${emulated[@]}" "$GRIDCHECK" "$@"
}

# patched: runs the copy that patch made.
patched() {
	"${checked[@]}" "${emulated[@]}" "$BATS_TEST_TMPDIR/gridcheck"
}

# patch MATRIX ROW COLUMN VALUE...: makes $BATS_TEST_TMPDIR/gridcheck, a
# copy of gridcheck with element [ROW][COLUMN] of its matrix A or B set to
# VALUE (a perl expression), for each change given. Each matrix is found by
# its bytes, in the byte order the ELF header gives: all of the identity A,
# the first row of B.
patch() {
	perl -e '
		my ($from, $to, @changes) = @ARGV;
		open(my $in, "<:raw", $from) or die "$from: $!\n";
		my $binary = do { local $/; <$in> };
		my $order = {1 => "<", 2 => ">"}->{ord(substr($binary, 5, 1))}
			or die "$from: neither little- nor big-endian ELF\n";
		my %pattern = (
			A => pack("d$order*", map { int($_ / 16) == $_ % 16 ? 1 : 0 } 0 .. 255),
			B => pack("d$order*", 2, 7, 0, 13, 18, 18, 16, 6, 4, 13, 2, 16, 6, 13, 0, 1));
		my %at;
		for my $matrix (keys %pattern) {
			$at{$matrix} = index($binary, $pattern{$matrix});
			die "matrix $matrix not found once in $from\n" if $at{$matrix} < 0 ||
				index($binary, $pattern{$matrix}, $at{$matrix} + 1) >= 0;
		}
		while (my ($matrix, $row, $column, $value) = splice(@changes, 0, 4)) {
			substr($binary, $at{$matrix} + 8 * (16 * $row + $column), 8) = pack("d$order", eval $value);
		}
		open(my $out, ">:raw", "$to.partial") or die "$to: $!\n";
		print $out $binary;
		close($out) or die "$to: $!\n";
		chmod(0755, "$to.partial");
		rename("$to.partial", $to) or die "$to: $!\n";
	' "$GRIDCHECK" "$BATS_TEST_TMPDIR/gridcheck" "$@"
}

# incorrect "ROW,COLUMN"...: the lines that report those elements.
incorrect() {
	printf 'Incorrect element at %s\n' "$@"
}

@test "with its own data it is silent and succeeds, whatever it is given" {
	try gridcheck >"$out" 2>"$err"
	check 0 "" /dev/null
	try gridcheck -h --help x "" >"$out" 2>"$err"
	check 0 "" /dev/null
	try gridcheck <&- >"$out" 2>"$err"
	check 0 "" /dev/null
	# Nothing to write, so nothing can fail to be written.
	try gridcheck >/dev/full 2>"$err"
	check 0 ""
	try gridcheck >&- 2>"$err"
	check 0 ""
	try env -i "${checked[@]}" "${emulated[@]}" "$GRIDCHECK" >"$out" 2>"$err"
	check 0 "" /dev/null
}

@test "its manual page is there and formats cleanly" {
	page_is_clean "${GRIDCHECK_PAGE:-}" GRIDCHECK
}

# skip_if_folded: skips the test when this build formed the product when it
# was compiled (constant folding, as GCC does at -O3 -march=native), so that
# changed data reaches only the verification. B is both the right operand
# and what the product is checked against: a new value in it alone changes
# nothing, unless the product was folded.
skip_if_folded() {
	patch B 3 12 99
	try patched >"$out" 2>"$err"
	if cmp -s "$out" <(incorrect 3,12); then
		skip "this build formed the product when it was compiled: changed data reaches only the verification"
	fi
	check 0 "" /dev/null
}

@test "a change to its data is reported element by element, in row-major order" {
	skip_if_folded

	# A NaN in B[3][12] reaches every row of column 12, through 0 x NaN,
	# and never equals itself.
	patch B 3 12 NaN
	incorrect {0..15},12 >"$expected"
	try patched >"$out" 2>"$err"
	check 0 "" "$expected"

	# Twice a value in A[0][0] doubles row 0 of the product, which then
	# differs from B wherever row 0 of B is not 0: all but columns 2, 14.
	patch A 0 0 2
	incorrect 0,{0,1,3,4,5,6,7,8,9,10,11,12,13,15} >"$expected"
	try patched >"$out" 2>"$err"
	check 0 "" "$expected"

	# A[0][1] adds row 0 of B into row 1 of the product; an A that was not
	# transposed would add row 1 of B into row 0 instead.
	patch A 0 1 1
	incorrect 1,{0,1,3,4,5,6,7,8,9,10,11,12,13,15} >"$expected"
	try patched >"$out" 2>"$err"
	check 0 "" "$expected"
}

@test "a report that cannot be written is an error, not a silent success" {
	# NaN across row 0 of B reaches every element of the product: more
	# lines than stdio holds back for /dev/full, so a write fails midway;
	# closed, standard output fails at the flush at the end. A build that
	# formed the product when it was compiled reports row 0 alone.
	local changes=() column
	for column in {0..15}; do changes+=(B 0 "$column" NaN); done
	patch "${changes[@]}"
	try patched >/dev/full 2>"$err"
	check 1 "gridcheck: write error: No space left on device"
	try patched >&- 2>"$err"
	check 1 "gridcheck: write error: Bad file descriptor"
}

@test "subnormal numbers count as IEEE arithmetic says, whatever the flags it was built with" {
	skip_if_folded
	# The smallest subnormal in A[1][0] adds a subnormal multiple of row 1
	# of B into row 0 of the product: lost beside every nonzero B[0][j],
	# but not beside B[0][2] = B[0][14] = 0, where B[1][2] = 17 and
	# B[1][14] = 1. Flushed to zero, or read as zero, it changes nothing.
	patch A 1 0 4.9406564584124654e-324
	incorrect 0,2 0,14 >"$expected"
	try patched >"$out" 2>"$err"
	check 0 "" "$expected"
}

@test "excess precision never changes the result: each multiply and add rounded to double" {
	skip_if_folded
	# Row 1 of the product, column 0: -(1 + 2^-26) x 1, then 0, then
	# (1 + 2^-27)^2 = 1 + 2^-26 + 2^-54. Rounded to double at each step it
	# is 0, as B[1][0] is now; held wider (the x87 unit) or fused, 2^-54.
	# Every other element of row 1 gets terms of B[0][j] and B[2][j], not
	# all zero, and differs.
	patch A 0 1 '-(1 + 2**-26)' B 0 0 1 B 1 0 0 A 2 1 '1 + 2**-27' B 2 0 '1 + 2**-27'
	incorrect 1,{1..15} >"$expected"
	try patched >"$out" 2>"$err"
	check 0 "" "$expected"
}
