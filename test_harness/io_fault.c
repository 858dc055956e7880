// SPDX-License-Identifier: MIT
// Preloaded, makes reading a directory and writing output misbehave:
//   READDIR_FAULT_AFTER=N[:EINTR]  N entries, then EIO ever after, or EINTR once
//   OPENDIR_FAULT=EINTR            the first opendir fails with EINTR
//   READDIR_FAULT_LONG_NAME=N[:B]  a last entry of N bytes n, or byte B (decimal)
//   WRITE_FAULT=N:ERRNO[:ever|:K]  write N to descriptor 1, or K or all from it
//                                  on, fail with ERRNO, or return 0 for ZERO
//   POLL_FAULT=ERRNO[:once]        every poll, or the first, fails with ERRNO
//   SLEEP_FAULT=skip               nanosleep returns at once
//   FAULT_REPORT=FILE              "reads N writes N lines N polls N pauses
//                                  N,N,...": entries asked, writes to 1 and
//                                  those ending a line, polls, pauses asked
//                                  in ms ("-": none); whole after each
//   FAULT_LOADED=FILE              made on loading: "ignored" is not "none"
// pathlist, built with 64-bit offsets, calls readdir64 on every system; a
// fortified poll calls __poll_chk, defined here, so it must not be inline.
#undef _FORTIFY_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long entries_left = -1; // -1: fail nothing
static int readdir_errno = EIO;
static int opendir_errno;          // 0: fail none
static long long_name_length = -1; // -1: no extra entry
static int long_name_byte = 'n';
static long failing_write;      // below 1: fail none
static int write_errno;         // 0: return 0
static long failing_writes = 1; // how many from failing_write on; -1: all
static int poll_errno;          // 0: fail no poll
static int poll_once;
static int sleep_skipped;
static long reads, writes, lines, polls;
// The pauses asked for, in milliseconds, each after a comma.
static char pauses[1024];
static size_t pauses_length;

// The extra entry.
static union {
	struct dirent64 entry;
	char bytes[sizeof(struct dirent64) + (1 << 20)];
} long_entry;

// errno_named(TEXT): the errno TEXT begins with, EIO if none; 0 for ZERO or no TEXT.
static int errno_named(const char *name)
{
	if (name == NULL || *name == '\0')
		return 0;
	static const struct {
		const char *name;
		int value;
	} known[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EAGAIN", EAGAIN}, {"EINTR", EINTR},
	             {"ENOMEM", ENOMEM}, {"EINVAL", EINVAL}, {"ZERO", 0}};
	for (size_t i = 0; i < sizeof known / sizeof known[0]; i++)
		if (strncmp(name, known[i].name, strlen(known[i].name)) == 0)
			return known[i].value;
	return EIO;
}

// number(NAME, &rest): NAME's leading number, -1 if unset; rest what
// follows its ':', or NULL.
static long number(const char *name, const char **rest)
{
	const char *value = getenv(name);
	char *end = NULL;
	long n = value == NULL ? -1 : strtol(value, &end, 10);
	*rest = end != NULL && *end == ':' ? end + 1 : NULL;
	return n;
}

__attribute__((constructor)) static void loaded(void)
{
	const char *rest;
	entries_left = number("READDIR_FAULT_AFTER", &rest);
	if (rest != NULL)
		readdir_errno = errno_named(rest);
	long_name_length = number("READDIR_FAULT_LONG_NAME", &rest);
	if (rest != NULL)
		long_name_byte = (int)strtol(rest, NULL, 10);
	failing_write = number("WRITE_FAULT", &rest);
	if (rest != NULL) {
		write_errno = errno_named(rest);
		const char *count = strchr(rest, ':');
		if (count != NULL)
			failing_writes =
			    strcmp(count, ":ever") == 0 ? -1 : strtol(count + 1, NULL, 10);
	}
	opendir_errno = errno_named(getenv("OPENDIR_FAULT"));
	const char *poll_fault = getenv("POLL_FAULT");
	poll_errno = errno_named(poll_fault);
	poll_once = poll_fault != NULL && strstr(poll_fault, ":once") != NULL;
	const char *sleep_fault = getenv("SLEEP_FAULT");
	sleep_skipped = sleep_fault != NULL && strcmp(sleep_fault, "skip") == 0;
	const char *marker = getenv("FAULT_LOADED");
	if (marker != NULL) {
		int fd = open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
		if (fd >= 0)
			close(fd);
	}
}

__attribute__((destructor)) static void report(void)
{
	const char *file = getenv("FAULT_REPORT");
	if (file == NULL)
		return;
	int saved = errno;
	char line[128 + sizeof pauses];
	int length =
	    snprintf(line, sizeof line, "reads %ld writes %ld lines %ld polls %ld pauses %s\n",
	             reads, writes, lines, polls, pauses_length == 0 ? "-" : pauses + 1);
	// Renamed over the report, whole; not on a standard descriptor the
	// program closed, whose writes are the ones counted.
	char partial[4096];
	if (snprintf(partial, sizeof partial, "%s.%ld", file, (long)getpid()) <
	    (int)sizeof partial) {
		int fd = open(partial, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
		if (fd > STDERR_FILENO && write(fd, line, (size_t)length) == length)
			rename(partial, file);
		else if (fd >= 0)
			unlink(partial);
		if (fd >= 0)
			close(fd);
	}
	errno = saved;
}

ssize_t write(int fd, const void *bytes, size_t count)
{
	static ssize_t (*real)(int, const void *, size_t);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "write"); // as POSIX advises
	if (fd != STDOUT_FILENO)
		return real(fd, bytes, count);
	writes++;
	if (count > 0 && ((const char *)bytes)[count - 1] == '\n')
		lines++;
	report();
	if (failing_write > 0 && writes >= failing_write &&
	    (failing_writes < 0 || writes < failing_write + failing_writes)) {
		errno = write_errno;
		return write_errno == 0 ? 0 : -1;
	}
	return real(fd, bytes, count);
}

int poll(struct pollfd *fds, nfds_t count, int timeout)
{
	static int (*real)(struct pollfd *, nfds_t, int);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "poll");
	polls++;
	report();
	if (poll_errno != 0) {
		errno = poll_errno;
		if (poll_once)
			poll_errno = 0;
		return -1;
	}
	return real(fds, count, timeout);
}

int nanosleep(const struct timespec *pause, struct timespec *left)
{
	static int (*real)(const struct timespec *, struct timespec *);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "nanosleep");
	// A list too long for the report ends.
	const size_t at = pauses_length;
	const int n = snprintf(pauses + at, sizeof pauses - at, ",%ld",
	                       (long)pause->tv_sec * 1000 + pause->tv_nsec / 1000000);
	if (n > 0 && (size_t)n < sizeof pauses - at)
		pauses_length = at + (size_t)n;
	else
		pauses[at] = '\0';
	report();
	return sleep_skipped ? 0 : real(pause, left);
}

// What a fortified poll calls (clang with glibc 2.41).
// NOLINTNEXTLINE(bugprone-reserved-identifier): the C library's own name
int __poll_chk(struct pollfd *fds, nfds_t count, int timeout, size_t size)
{
	(void)size;
	return poll(fds, count, timeout);
}

DIR *opendir(const char *name)
{
	static DIR *(*real)(const char *);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "opendir");
	if (opendir_errno != 0) {
		errno = opendir_errno;
		opendir_errno = 0;
		return NULL;
	}
	return real(name);
}

// The real entries, then the long one, once.
struct dirent64 *readdir64(DIR *directory)
{
	static struct dirent64 *(*real)(DIR *);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "readdir64");
	reads++;
	if (entries_left == 0) {
		errno = readdir_errno;
		entries_left = readdir_errno == EINTR ? -1 : 0;
		return NULL;
	}
	if (entries_left > 0)
		entries_left--;
	struct dirent64 *entry = real(directory);
	char *name = long_entry.entry.d_name;
	if (entry != NULL || errno != 0 || long_name_length < 0 ||
	    (size_t)long_name_length >= sizeof long_entry - offsetof(struct dirent64, d_name))
		return entry;
	memset(name, long_name_byte, (size_t)long_name_length);
	name[long_name_length] = '\0';
	long_name_length = -1;
	return &long_entry.entry;
}
