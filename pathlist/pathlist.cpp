// pathlist: write the path of every entry of one directory, one a line: the
// directory exactly as given, a slash, the entry's name. Entries come in the
// order the directory stream delivers them, "." and ".." included.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

static int list(const char *dirname);
static void write_line(const char *dirname, size_t dirname_length, const char *name,
                       size_t name_length);

// Lines go out in large blocks when nobody is watching them arrive.
static char output_buffer[1 << 16];

int main(int argc, char *argv[])
{
	const char *dirname = argc > 1 ? argv[1] : "/etc";
	if (isatty(STDOUT_FILENO) == 0)
		setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);

	int status = list(dirname);

	// Single writes are not checked: a failure sticks to the stream, and
	// the buffered rest is only written now.
	errno = 0;
	if (fflush(stdout) != 0 || ferror(stdout) != 0) {
		std::fprintf(stderr, "pathlist: write error: %s\n",
		             std::strerror(errno != 0 ? errno : EIO));
		return 1;
	}
	return status;
}

// Writes one line per entry of dirname; returns 0, or 1 after saying why the
// directory could not be opened or read to its end.
static int list(const char *dirname)
{
	DIR *directory = opendir(dirname);
	if (directory == nullptr) {
		std::fprintf(stderr, "pathlist: cannot open directory '%s': %s\n", dirname,
		             std::strerror(errno));
		return 1;
	}

	// Every line starts with the same directory and slash, so they are put
	// in buffer once and each name goes after them. buffer has room for the
	// longest path the system opens, a slash, the longest name and a newline.
	char buffer[PATH_MAX + 1 + NAME_MAX + 1];
	const size_t dirname_length = std::strlen(dirname);
	const size_t name_start = dirname_length + 1;
	// buffer holds lines, not strings: nothing in it is NUL-terminated.
	if (name_start < sizeof buffer) {
		// NOLINTNEXTLINE(bugprone-not-null-terminated-result)
		std::memcpy(buffer, dirname, dirname_length);
		buffer[dirname_length] = '/';
	}

	for (;;) {
		// readdir returns null both at the end and on failure; only a
		// failure sets errno.
		errno = 0;
		const struct dirent *file = readdir(directory);
		if (file == nullptr)
			break;
		const size_t name_length = std::strlen(file->d_name);
		if (name_start + name_length < sizeof buffer) {
			std::memcpy(buffer + name_start, file->d_name, name_length);
			buffer[name_start + name_length] = '\n';
			fwrite_unlocked(buffer, 1, name_start + name_length + 1, stdout);
		} else {
			write_line(dirname, dirname_length, file->d_name, name_length);
		}
	}
	const int read_error = errno;
	closedir(directory);

	if (read_error != 0) {
		std::fprintf(stderr, "pathlist: reading directory '%s': %s\n", dirname,
		             std::strerror(read_error));
		return 1;
	}
	return 0;
}

// The line of an entry too long for buffer, written in pieces rather than
// cut short. No path the kernel accepts comes here; a file system that hands
// out names beyond NAME_MAX would.
static void write_line(const char *dirname, size_t dirname_length, const char *name,
                       size_t name_length)
{
	fwrite_unlocked(dirname, 1, dirname_length, stdout);
	putc_unlocked('/', stdout);
	fwrite_unlocked(name, 1, name_length, stdout);
	putc_unlocked('\n', stdout);
}
