// SPDX-License-Identifier: MIT
// usage: no-32-bit COMMAND [ARG...]
// Runs COMMAND as on a kernel booted with ia32_emulation=off: a 32-bit x86
// system call, from it or any process it starts, ends that process.
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
	if (argc < 2) {
		fputs("usage: no-32-bit COMMAND [ARG...]\n", stderr);
		return 125;
	}
	struct sock_filter only_64_bit[] = {
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 1),
	    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
	    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
	};
	struct sock_fprog program = {sizeof only_64_bit / sizeof only_64_bit[0], only_64_bit};
	if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
	    prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
		perror("no-32-bit: seccomp");
		return 125;
	}
	execvp(argv[1], argv + 1);
	fprintf(stderr, "no-32-bit: %s: %s\n", argv[1], strerror(errno));
	return 127;
}
