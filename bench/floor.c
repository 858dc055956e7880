// SPDX-License-Identifier: MIT
// The floor for listing a directory here: pathlist's lines built in a
// buffer for write(2), read by raw getdents64 with buffer sizes set at
// build (-DRECORDS=, -DLINES=); or, with -DSTREAM, by readdir(3): the
// least a lister on it can do, beyond which pathlist's work is its own.
#include <dirent.h>
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

// add: the line of one entry, after those before it.
static int add(const char *dirname, size_t dirname_length, const char *name)
{
	size_t name_length = strlen(name);
	if (used + dirname_length + name_length + 2 > sizeof out && flush() < 0)
		return -1;
	char *end = out + used;
	// NOLINTBEGIN(bugprone-not-null-terminated-result): lines, not strings
	memcpy(end, dirname, dirname_length);
	end[dirname_length] = '/';
	memcpy(end + dirname_length + 1, name, name_length);
	// NOLINTEND(bugprone-not-null-terminated-result)
	end[dirname_length + 1 + name_length] = '\n';
	used += dirname_length + name_length + 2;
	return 0;
}

int main(int argc, char *argv[])
{
	const char *dirname = argc > 1 ? argv[1] : "/etc";
	size_t dirname_length = strlen(dirname);
#ifdef STREAM
	DIR *directory = opendir(dirname);
	const struct dirent *entry;
	while (directory != NULL && (entry = readdir(directory)) != NULL)
		if (add(dirname, dirname_length, entry->d_name) < 0)
			return 1;
	int failed = directory == NULL || closedir(directory) < 0;
#else
	static char records[RECORDS] __attribute__((aligned(8)));
	int fd = open(dirname, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	long n = -1;
	while (fd >= 0 && (n = syscall(SYS_getdents64, fd, records, sizeof records)) > 0) {
		// The kernel's records, as glibc's dirent64 lays them out.
		const struct dirent64 *r;
		for (long at = 0; at < n; at += r->d_reclen) {
			r = (const struct dirent64 *)(records + at);
			if (add(dirname, dirname_length, r->d_name) < 0)
				return 1;
		}
	}
	int failed = n < 0;
#endif
	if (failed || flush() < 0) {
		perror(dirname);
		return 1;
	}
	return 0;
}
