// SPDX-License-Identifier: MIT
// The least a lister built on readdir(3) can do: the C library's directory
// stream, two copies a line into a 64 KiB buffer, write(2). What pathlist
// does beyond this is its own cost.
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static char out[64 << 10];
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
	DIR *directory = opendir(dirname);
	if (directory == NULL) {
		perror(dirname);
		return 1;
	}
	const struct dirent *file;
	while ((file = readdir(directory)) != NULL) {
		size_t name_length = strlen(file->d_name);
		if (used + dirname_length + name_length + 2 > sizeof out && flush() < 0)
			return 1;
		char *end = out + used;
		// NOLINTNEXTLINE(bugprone-not-null-terminated-result): lines, not strings
		memcpy(end, dirname, dirname_length);
		end[dirname_length] = '/';
		memcpy(end + dirname_length + 1, file->d_name, name_length);
		end[dirname_length + 1 + name_length] = '\n';
		used += dirname_length + name_length + 2;
	}
	closedir(directory);
	return flush() < 0;
}
