// SPDX-License-Identifier: MIT
// The floor for listing a directory on this machine: the raw getdents64
// system call, the same lines as pathlist built in a buffer and handed to
// write(2). No stdio, no directory stream. The two buffers' sizes are set
// when it is built (-DRECORDS=..., -DLINES=...), so that the benchmark can
// keep whichever is fastest here.
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RECORDS
#define RECORDS (32 << 10)
#endif
#ifndef LINES
#define LINES (64 << 10)
#endif

struct record {
	unsigned long long inode;
	long long offset;
	unsigned short length;
	unsigned char type;
	char name[];
};

static char records[RECORDS] __attribute__((aligned(8)));
static char out[LINES];
static size_t used;

static int flush(void)
{
	for (size_t done = 0; done < used;) {
		ssize_t n = write(1, out + done, used - done);
		if (n < 0)
			return -1;
		done += (size_t)n;
	}
	used = 0;
	return 0;
}

int main(int argc, char *argv[])
{
	const char *dirname = argc > 1 ? argv[1] : "/etc";
	size_t dirname_length = strlen(dirname);
	int fd = open(dirname, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0) {
		perror(dirname);
		return 1;
	}
	long n;
	while ((n = syscall(SYS_getdents64, fd, records, sizeof records)) > 0) {
		for (long at = 0; at < n;) {
			const struct record *r = (const struct record *)(records + at);
			size_t name_length = strlen(r->name);
			if (used + dirname_length + name_length + 2 > sizeof out && flush() < 0)
				return 1;
			// NOLINTNEXTLINE(bugprone-not-null-terminated-result): lines, not strings
			memcpy(out + used, dirname, dirname_length);
			out[used + dirname_length] = '/';
			memcpy(out + used + dirname_length + 1, r->name, name_length);
			out[used + dirname_length + 1 + name_length] = '\n';
			used += dirname_length + name_length + 2;
			at += r->length;
		}
	}
	if (n < 0 || flush() < 0) {
		perror(dirname);
		return 1;
	}
	return 0;
}
