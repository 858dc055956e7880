# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# What every CI script shares: strict mode, the top of the clone as the
# working folder, a heading per step, a scratch folder removed at the end,
# and the release build that most checks look at.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# CI=true makes the presets treat every warning as an error.
export CI=true

# The Debian packages the test suite needs (test_harness/packages).
# shellcheck disable=SC2034 # for the scripts that source this
mapfile -t suite_packages < <(awk '!/^#/ && NF { print $1 }' test_harness/packages)

step() { printf '\n=== %s [at %d s]\n' "$*" "$SECONDS"; }

# fail MESSAGE: says what failed, on standard error, and stops.
fail() { printf '%s\n' "$*" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ci.XXXXXX")
# at_exit COMMAND: run COMMAND at the end, before the scratch folder goes.
cleanups=:
at_exit() { cleanups="$1; $cleanups"; }
trap 'eval "$cleanups"; rm -rf "$scratch"' EXIT

# readme_block N: the lines of README.md's Nth shell code block.
readme_block() {
	awk -v n="$1" '/^```sh$/ { block++; inside = 1; next } /^```/ { inside = 0; next }
		inside && block == n { print }' README.md |
		grep . || fail "README.md has no shell code block $1"
}

# all_pass LOG WHAT COMMAND...: COMMAND, its output in LOG, passed and
# skipped no test (ctest's report, or its last line, shown); else LOG is
# shown and WHAT failed.
all_pass() {
	"${@:3}" >"$1" 2>&1 || { cat "$1" >&2; fail "$2 failed"; }
	grep -E 'tests passed|tests failed' "$1" || tail -n 1 "$1"
	! grep -q '(Skipped)$' "$1" || fail "$(printf 'skipped, in %s:\n%s' "$1" "$(grep '(Skipped)$' "$1")")"
}

# release_build: the release preset's build, brought up to date.
release_build() {
	cmake --preset release >/dev/null
	cmake --build --preset release >/dev/null
}

# hardening_check BINARY [OPTION...]: hardening-check but for control-flow
# protection, which Debian's start-up files keep from any program (its own
# ls fails it too), and arm64's branch protection, asked by Debian 13's.
hardening_check() {
	local skipped=(--nocfprotection)
	[[ $(hardening-check --help 2>&1) != *--nobranchprotection* ]] || skipped+=(--nobranchprotection)
	hardening-check "${skipped[@]}" "${@:2}" "$1"
}
