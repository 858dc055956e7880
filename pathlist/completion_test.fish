#!/usr/bin/env fish
# SPDX-License-Identifier: MIT
# usage: fish --no-config completion_test.fish COMPLETION
# The fish completion offers directories only, and only for the first
# argument, as fish's own completion engine computes it.
source $argv[1]; or exit 1
set -l dir (mktemp -d); or exit 1
cd $dir
mkdir alpha 'alpha beta' another 'q*' 'x[1]'
touch afile qfile qzz x1

set -g passed 0
set -g failed 0
# expect LINE CANDIDATE...: completing LINE offers exactly the CANDIDATEs.
function expect
	set -l line $argv[1]
	set -l got (complete -C"$line" | string replace -r '\t.*' '' | sort | string join '|')
	set -l want (printf '%s\n' $argv[2..] | sort | string join '|')
	if test "$got" = "$want"
		set passed (math $passed + 1)
	else
		printf 'completing %s: got [%s], want [%s]\n' (string escape -- $line) "$got" "$want"
		set failed (math $failed + 1)
	end
end
expect 'pathlist a' 'alpha/' 'alpha beta/' 'another/'
expect 'pathlist alpha\ ' 'alpha beta/'
expect 'pathlist af'
expect 'pathlist alpha x'
expect 'pathlist q' 'q*/'
expect 'pathlist x' 'x[1]/'
cd /
rm -rf -- $dir
echo "completion (fish): $passed passed, $failed failed"
test $failed -eq 0
