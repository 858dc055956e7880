// SPDX-License-Identifier: MIT
// pathlist: write the path of every entry of one directory, one a line: the
// directory exactly as given, a slash, the entry's name. Entries come in the
// order the directory stream delivers them, "." and ".." included.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <unistd.h>

static bool list(const char *dirname);
static bool put(const char *bytes, size_t length);
static bool flush();
static void complain(const char *what, const char *dirname, int error);
static void quote(const char *name);
static bool printable(unsigned char byte);

// Lines gather in buffer and go out with write(2) when it is full. Once a
// write has failed, write_error holds its errno and nothing more is written,
// so what reached standard output is always a prefix of the listing.
static char buffer[1 << 16];
static size_t used;
static int write_error;
static bool line_by_line; // on a terminal, each line as soon as it is whole

// A message goes to standard error in one piece, not a write per part.
static char message[1 << 12];

int main(int argc, char *argv[])
{
	const char *dirname = argc > 1 ? argv[1] : "/etc";
	line_by_line = isatty(STDOUT_FILENO) != 0;
	setvbuf(stderr, message, _IOFBF, sizeof message);

	bool listed = list(dirname);
	if (!flush()) {
		std::fprintf(stderr, "pathlist: write error: %s\n", std::strerror(write_error));
		std::fflush(stderr);
		return 1;
	}
	return listed ? 0 : 1;
}

// Writes one line per entry of dirname, and stops at the first write that
// fails; false when the directory could not be opened or read to its end,
// after saying why, or when a write failed.
static bool list(const char *dirname)
{
	DIR *directory = opendir(dirname);
	if (directory == nullptr) {
		complain("cannot open directory", dirname, errno);
		return false;
	}
	const size_t dirname_length = std::strlen(dirname);
	int read_error = 0;
	for (;;) {
		// readdir returns null both at the end and on failure; only a
		// failure sets errno.
		errno = 0;
		const struct dirent *file = readdir(directory);
		if (file == nullptr) {
			read_error = errno;
			break;
		}
		if (!put(dirname, dirname_length) || !put("/", 1) ||
		    !put(file->d_name, std::strlen(file->d_name)) || !put("\n", 1) ||
		    (line_by_line && !flush()))
			break;
	}
	closedir(directory);

	if (read_error != 0) {
		// The lines read before the failure come first, also on a
		// shared terminal or with 2>&1.
		flush();
		complain("reading directory", dirname, read_error);
		return false;
	}
	return write_error == 0;
}

// Adds bytes to the output, writing out the buffer each time it fills.
static bool put(const char *bytes, size_t length)
{
	while (length > sizeof buffer - used) {
		const size_t room = sizeof buffer - used;
		std::memcpy(buffer + used, bytes, room);
		used += room;
		bytes += room;
		length -= room;
		if (!flush())
			return false;
	}
	std::memcpy(buffer + used, bytes, length);
	used += length;
	return true;
}

// Writes out what the buffer holds, to the last byte; false, with
// write_error set, once any write has failed. A non-blocking standard output
// is waited for: its flags are the caller's.
static bool flush()
{
	if (write_error != 0)
		return false;
	for (size_t done = 0; done < used;) {
		const ssize_t n = write(STDOUT_FILENO, buffer + done, used - done);
		if (n > 0) {
			done += static_cast<size_t>(n);
		} else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			struct pollfd out = {.fd = STDOUT_FILENO, .events = POLLOUT, .revents = 0};
			if (poll(&out, 1, -1) < 0 && errno != EINTR) {
				write_error = errno;
				break;
			}
		} else if (n < 0 && errno != EINTR) {
			write_error = errno;
			break;
		} else if (n == 0) {
			// A write that takes nothing and says no more is a
			// device out of room.
			write_error = ENOSPC;
			break;
		}
	}
	used = 0;
	return write_error == 0;
}

// Says on standard error, as one line, what failed on which directory.
static void complain(const char *what, const char *dirname, int error)
{
	std::fprintf(stderr, "pathlist: %s ", what);
	quote(dirname);
	std::fprintf(stderr, ": %s\n", std::strerror(error));
	std::fflush(stderr);
}

// Writes name between single quotes when that shows it as it is; otherwise
// in the $'...' form that bash, ksh and zsh read back to the same bytes, so
// that no newline or other control byte reaches the terminal.
static void quote(const char *name)
{
	bool as_is = true;
	for (const char *c = name; *c != '\0'; c++)
		if (!printable(static_cast<unsigned char>(*c)) || *c == '\'')
			as_is = false;
	if (as_is) {
		std::fprintf(stderr, "'%s'", name);
		return;
	}
	std::fputs("$'", stderr);
	for (const char *c = name; *c != '\0'; c++) {
		const auto byte = static_cast<unsigned char>(*c);
		if (byte == '\n')
			std::fputs("\\n", stderr);
		else if (byte == '\t')
			std::fputs("\\t", stderr);
		else if (byte == '\\' || byte == '\'')
			std::fprintf(stderr, "\\%c", byte);
		else if (!printable(byte))
			std::fprintf(stderr, "\\%03o", byte);
		else
			std::fputc(byte, stderr);
	}
	std::fputc('\'', stderr);
}

// Whether a byte may reach the terminal as it is: not a C0 or C1 control
// byte, nor DEL. Bytes from 0xa0 up pass, as they do in names in UTF-8.
static bool printable(unsigned char byte)
{
	return byte >= 0x20 && byte != 0x7f && (byte < 0x80 || byte >= 0xa0);
}
