#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bash completion offers directories, and only for the first argument.
# Not -e: completion functions, like bash, take a failed compgen in stride.
set -uo pipefail
# shellcheck source=pathlist.bash-completion
source "$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
mkdir "alpha" "alpha beta" "another" "q*"
touch "afile" "qfile" "qzz"

passed=0 failed=0
expect() { # words... -- expected candidates, one a line
	local words=() expected
	while [[ $1 != -- ]]; do words+=("$1"); shift; done
	shift
	expected=$(printf '%s\n' "$@")
	COMP_WORDS=("${words[@]}")
	COMP_CWORD=$((${#words[@]} - 1))
	_pathlist
	local got=""
	if ((${#COMPREPLY[@]})); then got=$(printf '%s\n' "${COMPREPLY[@]}" | sort); fi
	if [[ $got != "$expected" ]]; then
		printf 'completing %q: got [%s], want [%s]\n' "${words[*]}" "$got" "$expected"
		((failed += 1))
	else
		((passed += 1))
	fi
}
expect pathlist a -- "alpha" "alpha beta" "another"
expect pathlist "alpha " -- "alpha beta"
expect pathlist af --
expect pathlist alpha x --
expect pathlist q -- "q*"
echo "completion: $passed passed, $failed failed"
((failed == 0))
