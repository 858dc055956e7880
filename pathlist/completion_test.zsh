#!/usr/bin/env zsh
# SPDX-License-Identifier: MIT
# usage: zsh -f completion_test.zsh COMPLETION
# The zsh completion offers directories only, and only for the first
# argument: an interactive zsh on a pseudo-terminal is given each line and a
# Tab, and every candidate its completion adds is written to a log. Each
# input waits for the effect of the one before it: read together, a Tab and
# what follows it may never complete.
emulate -L zsh
zmodload zsh/zpty || exit 1
completion=${1:A}
dir=$(mktemp -d) || exit 1
trap 'zpty -d shell 2>/dev/null; rm -rf -- $dir' EXIT
mkdir -p $dir/fpath $dir/play/{alpha,'alpha beta',another,'q*','x[1]'}
touch $dir/play/{afile,qfile,qzz,x1}
cp $completion $dir/fpath/_pathlist
log=$dir/log

zpty -b shell zsh -f -i
zpty -w shell "fpath=(${(q)dir}/fpath \$fpath); autoload -U compinit; compinit -u -D; cd ${(q)dir}/play"
# compadd, but for what it only computes (-O, -A, -D), also logs each
# candidate it adds.
zpty -w shell "compadd() { if [[ \${(j: :)@[1,(i)--]} != *-[OAD]* ]]; then local -a added; builtin compadd -A added \"\$@\"; print -rl -- \$added >>${(q)log}; fi; builtin compadd \"\$@\"; }"
# Tab completes, then says it has.
zpty -w shell "complete-then-say() { zle expand-or-complete; : >${(q)log}.completed; }; zle -N complete-then-say; bindkey '^I' complete-then-say"

# wait_for FILE: until the shell has made it, polled; two minutes at most,
# for a shell that has died.
wait_for() {
	local i
	for i in {1..2400}; do [[ -e $1 ]] && return; sleep 0.05; done
	print -r -- "completion (zsh): no ${1:t} after two minutes"
	return 1
}
zpty -w shell "touch ${(q)log}.ready"
wait_for $log.ready || { print -r -- "completion (zsh): the shell did not start"; exit 1 }

integer passed failed
# expect LINE CANDIDATE...: a Tab after LINE offers exactly the CANDIDATEs.
expect() {
	local line=$1 got want
	shift
	: >$log
	rm -f $log.completed $log.done
	zpty -w -n shell "$line"$'\t'
	wait_for $log.completed || exit 1
	zpty -w -n shell $'\C-u'"touch ${(q)log}.done"$'\n'
	wait_for $log.done || exit 1
	got=${(F)${(ou)${(f)"$(<$log)"}}}
	want=${(F)${(o)@}}
	if [[ $got == $want ]]; then
		passed+=1
	else
		print -r -- "completing ${(q-)line}: got [${got//$'\n'/|}], want [${want//$'\n'/|}]"
		failed+=1
	fi
}
expect 'pathlist a' alpha 'alpha\ beta' another
expect 'pathlist alpha\ ' 'alpha\ beta'
expect 'pathlist af'
expect 'pathlist alpha x'
expect 'pathlist q' 'q\*'
expect 'pathlist x' 'x\[1\]'
print -r -- "completion (zsh): $passed passed, $failed failed"
(( failed == 0 ))
