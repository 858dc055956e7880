// Preloaded with LD_PRELOAD, this makes readdir (and readdir64) hand out the
// number of entries given in READDIR_FAULT_AFTER and then fail with EIO, as
// a disk going bad in the middle of a directory would. It announces that it
// was loaded by creating the file named in READDIR_FAULT_LOADED, so a test
// can tell "the program ignored the failure" from "no failure happened".
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

static long entries_left = -1; // -1: fail nothing

__attribute__((constructor)) static void loaded(void)
{
	const char *after = getenv("READDIR_FAULT_AFTER");
	if (after != NULL)
		entries_left = strtol(after, NULL, 10);
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

struct dirent *readdir(DIR *directory)
{
	static struct dirent *(*real)(DIR *);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "readdir"); // as POSIX advises
	return fail_now() ? NULL : real(directory);
}

struct dirent64 *readdir64(DIR *directory)
{
	static struct dirent64 *(*real)(DIR *);
	if (real == NULL)
		*(void **)&real = dlsym(RTLD_NEXT, "readdir64");
	return fail_now() ? NULL : real(directory);
}
