// Preloaded with LD_PRELOAD, this makes readdir (and readdir64) misbehave the
// ways a real directory rarely does on demand:
//   READDIR_FAULT_AFTER=N        hand out N entries, then fail with EIO, as a
//                                disk going bad in the middle would;
//   READDIR_FAULT_LONG_NAME=N    at the end, hand out one more entry whose
//                                name is N bytes, longer than any file system
//                                here allows;
//   READDIR_FAULT_LOADED=FILE    create FILE on loading, so a test can tell
//                                "the program ignored it" from "nothing
//                                happened".
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static long entries_left = -1;     // -1: fail nothing
static long long_name_length = -1; // -1: no extra entry

// dirent and dirent64 are laid out alike on 64-bit Linux.
static union {
	struct dirent64 entry;
	char bytes[sizeof(struct dirent64) + 8192];
} long_entry;

__attribute__((constructor)) static void loaded(void)
{
	const char *after = getenv("READDIR_FAULT_AFTER");
	if (after != NULL)
		entries_left = strtol(after, NULL, 10);
	const char *length = getenv("READDIR_FAULT_LONG_NAME");
	if (length != NULL)
		long_name_length = strtol(length, NULL, 10);
	const char *marker = getenv("READDIR_FAULT_LOADED");
	if (marker != NULL) {
		int fd = open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
		if (fd >= 0)
			close(fd);
	}
}

static int fail_now(void)
{
	if (entries_left < 0)
		return 0;
	if (entries_left == 0) {
		errno = EIO;
		return 1;
	}
	entries_left--;
	return 0;
}

// What the stream yields once the real entries are over: the long entry,
// once, or the end.
static void *after_the_end(void)
{
	size_t room = sizeof long_entry - offsetof(struct dirent64, d_name) - 1;
	if (long_name_length < 0 || (size_t)long_name_length > room)
		return NULL;
	char *name = long_entry.bytes + offsetof(struct dirent64, d_name);
	memset(name, 'n', (size_t)long_name_length);
	name[long_name_length] = '\0';
	long_name_length = -1;
	return &long_entry.entry;
}

struct dirent *readdir(DIR *directory)
{
	static struct dirent *(*real)(DIR *);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "readdir"); // as POSIX advises
	if (fail_now())
		return NULL;
	struct dirent *entry = real(directory);
	return entry != NULL || errno != 0 ? entry : after_the_end();
}

struct dirent64 *readdir64(DIR *directory)
{
	static struct dirent64 *(*real)(DIR *);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "readdir64");
	if (fail_now())
		return NULL;
	struct dirent64 *entry = real(directory);
	return entry != NULL || errno != 0 ? entry : after_the_end();
}
