// SPDX-License-Identifier: MIT
// pathlist: write the path of every entry of one directory, one a line: the
// directory exactly as given, a slash, the entry's name. Entries come in the
// order the directory stream delivers them, "." and ".." included.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

// An output: a descriptor and the bytes held for it. Once a write to it has
// failed, error holds why and nothing more is written to it, so what it got
// is always a beginning of what was put.
struct output {
	int fd;
	char *bytes;
	size_t size;
	size_t used;
	int error;
};

// The error of a write that took nothing and gave no reason.
constexpr int NOTHING_WRITTEN = -1;

// Where a path being quoted stands: before its first quote, inside $'...'
// or inside '...'.
enum quoting { UNQUOTED, IN_ESCAPES, IN_LITERAL };

static bool list(const char *dirname);
static inline bool put_line(const char *dirname, size_t dirname_length, const char *name,
                            size_t name_length);
static bool put_in_pieces(const char *dirname, size_t dirname_length, const char *name,
                          size_t name_length);
static bool show(const char *dirname, size_t dirname_length, bool dirname_plain, const char *name,
                 size_t name_length);
static void complain(const char *what, const char *dirname, int error);
static bool put(output &to, const char *bytes, size_t length);
static bool put_quoted(output &to, const char *text, size_t length, quoting &state);
static bool enter(output &to, quoting wanted, quoting &state);
static bool put_escape(output &to, unsigned char byte);
static bool harmless(const char *text, size_t length);
static bool looks_quoted(const char *text, size_t length);
static size_t character(const char *text, size_t length, bool &shown);
static bool flush(output &to);
static bool await(int fd, unsigned refused);

static char buffer[1 << 16];
// Room for any message in one write: an argument is at most 128 KiB, and
// quoted at most four times that.
static char message[4 * (128 << 10) + 1024];
static output out = {STDOUT_FILENO, buffer, sizeof buffer, 0, 0};
static output err = {STDERR_FILENO, message, sizeof message, 0, 0};
static bool on_terminal;

int main(int argc, char *argv[])
{
	const char *dirname = argc > 1 ? argv[1] : "/etc";
	on_terminal = isatty(STDOUT_FILENO) != 0;

	const bool listed = list(dirname);
	if (!flush(out)) {
		complain("write error", nullptr, out.error);
		return 1;
	}
	return listed ? 0 : 1;
}

// Writes one line per entry of dirname, and stops at the first write that
// fails; false when the directory could not be opened or read to its end,
// after saying why, or when a write failed, which main reports.
static bool list(const char *dirname)
{
	DIR *directory;
	while ((directory = opendir(dirname)) == nullptr) {
		if (errno != EINTR) {
			complain("cannot open directory", dirname, errno);
			return false;
		}
	}
	const size_t dirname_length = std::strlen(dirname);
	const bool dirname_plain = on_terminal && harmless(dirname, dirname_length) &&
	                           !looks_quoted(dirname, dirname_length);
	int read_error = 0;
	for (;;) {
		// readdir returns null both at the end and on failure; only a
		// failure sets errno. An interrupted read took nothing from the
		// stream and is made again.
		errno = 0;
		const struct dirent *file = readdir(directory);
		if (file == nullptr) {
			if (errno == EINTR)
				continue;
			read_error = errno;
			break;
		}
		const char *name = file->d_name;
		const size_t name_length = std::strlen(name);
		if (on_terminal ? !show(dirname, dirname_length, dirname_plain, name, name_length)
		                : !put_line(dirname, dirname_length, name, name_length))
			break;
	}
	closedir(directory);

	// The lines read before a failure come first, also with 2>&1. When
	// they cannot be written, the write error is what explains the output,
	// and the only message.
	if (read_error != 0 && flush(out))
		complain("reading directory", dirname, read_error);
	return read_error == 0 && out.error == 0;
}

// Adds one entry's line to the output: dirname, a slash, name, a newline.
// Called for every entry, and kept inline in the loop: one test of the room
// left, then two copies.
static inline bool put_line(const char *dirname, size_t dirname_length, const char *name,
                            size_t name_length)
{
	const size_t length = dirname_length + 1 + name_length + 1;
	if (length > sizeof buffer - out.used) [[unlikely]]
		return put_in_pieces(dirname, dirname_length, name, name_length);
	char *end = static_cast<char *>(std::memcpy(buffer + out.used, dirname, dirname_length));
	end += dirname_length;
	*end++ = '/';
	end = static_cast<char *>(std::memcpy(end, name, name_length)) + name_length;
	*end++ = '\n';
	out.used = static_cast<size_t>(end - buffer);
	return true;
}

// Adds a line that does not fit in what is left of the buffer, writing out
// the buffer each time it fills.
static bool put_in_pieces(const char *dirname, size_t dirname_length, const char *name,
                          size_t name_length)
{
	return put(out, dirname, dirname_length) && put(out, "/", 1) &&
	       put(out, name, name_length) && put(out, "\n", 1);
}

// Writes one entry's line to a terminal, at once: as it is, or quoted when
// it holds characters that would drive the terminal or hide, or when it
// would look quoted itself (dirname_plain is false), so that a quoted line
// only ever comes from a path that needed it.
static bool show(const char *dirname, size_t dirname_length, bool dirname_plain, const char *name,
                 size_t name_length)
{
	if (dirname_plain && harmless(name, name_length)) {
		if (!put_line(dirname, dirname_length, name, name_length))
			return false;
	} else {
		quoting state = UNQUOTED;
		if (!put_quoted(out, dirname, dirname_length, state) ||
		    !put_quoted(out, "/", 1, state) || !put_quoted(out, name, name_length, state) ||
		    !enter(out, UNQUOTED, state) || !put(out, "\n", 1))
			return false;
	}
	return flush(out);
}

// Says on standard error, as one line written at once, what failed, on which
// directory if any, and why. DIR is shown between single quotes, or quoted
// as the listing on a terminal quotes a path.
static void complain(const char *what, const char *dirname, int error)
{
	put(err, "pathlist: ", 10);
	put(err, what, std::strlen(what));
	if (dirname != nullptr) {
		const size_t length = std::strlen(dirname);
		put(err, " ", 1);
		if (harmless(dirname, length) && std::strchr(dirname, '\'') == nullptr) {
			put(err, "'", 1);
			put(err, dirname, length);
			put(err, "'", 1);
		} else {
			quoting state = UNQUOTED;
			put_quoted(err, dirname, length, state);
			enter(err, UNQUOTED, state);
		}
	}
	const char *reason =
	    error == NOTHING_WRITTEN ? "Nothing was written" : std::strerror(error);
	put(err, ": ", 2);
	put(err, reason, std::strlen(reason));
	put(err, "\n", 1);
	flush(err);
}

// Adds bytes to an output, writing it out each time it fills.
static bool put(output &to, const char *bytes, size_t length)
{
	while (length > to.size - to.used) {
		const size_t room = to.size - to.used;
		std::memcpy(to.bytes + to.used, bytes, room);
		to.used += room;
		bytes += room;
		length -= room;
		if (!flush(to))
			return false;
	}
	std::memcpy(to.bytes + to.used, bytes, length);
	to.used += length;
	return true;
}

// Adds text quoted for the shells (bash, ksh, mksh, zsh), which read it back
// to the same bytes in any locale: ASCII inside $'...', with the quote, the
// backslash and every byte that is not a shown character escaped; shown
// characters beyond ASCII inside '...', where nothing is special. So no
// byte beyond ASCII ever stands before a backslash, which a legacy
// multibyte locale (GBK, Big5, Shift_JIS) could take as part of it.
static bool put_quoted(output &to, const char *text, size_t length, quoting &state)
{
	for (size_t at = 0; at < length;) {
		bool shown = false;
		const size_t end = at + character(text + at, length - at, shown);
		const bool beyond_ascii = static_cast<unsigned char>(text[at]) >= 0x80;
		if (!enter(to, shown && beyond_ascii ? IN_LITERAL : IN_ESCAPES, state))
			return false;
		if (shown && text[at] != '\\' && text[at] != '\'') {
			if (!put(to, text + at, end - at))
				return false;
			at = end;
		}
		for (; at < end; at++)
			if (!put_escape(to, static_cast<unsigned char>(text[at])))
				return false;
	}
	return true;
}

// Closes the quotes a quoted path is in, and opens those wanted.
static bool enter(output &to, quoting wanted, quoting &state)
{
	if (state == wanted)
		return true;
	if (state != UNQUOTED && !put(to, "'", 1))
		return false;
	state = wanted;
	if (wanted == IN_ESCAPES)
		return put(to, "$'", 2);
	return wanted == UNQUOTED || put(to, "'", 1);
}

// Adds one byte as an escape of the $'...' form: \n, \t, \\, \' or octal.
static bool put_escape(output &to, unsigned char byte)
{
	char escape[4] = {'\\', static_cast<char>(byte), '\0', '\0'};
	size_t length = 2;
	if (byte == '\n') {
		escape[1] = 'n';
	} else if (byte == '\t') {
		escape[1] = 't';
	} else if (byte != '\\' && byte != '\'') {
		escape[1] = static_cast<char>('0' + (byte >> 6));
		escape[2] = static_cast<char>('0' + (byte >> 3 & 7));
		escape[3] = static_cast<char>('0' + (byte & 7));
		length = 4;
	}
	return put(to, escape, length);
}

// Whether text holds nothing that could drive a terminal or hide.
static bool harmless(const char *text, size_t length)
{
	for (size_t at = 0; at < length;) {
		bool shown = false;
		at += character(text + at, length - at, shown);
		if (!shown)
			return false;
	}
	return true;
}

// Whether text, once past what a terminal may show as nothing (characters
// beyond ASCII, spaces), begins as a quoted path does, with ' or $'.
static bool looks_quoted(const char *text, size_t length)
{
	size_t at = 0;
	while (at < length && (static_cast<unsigned char>(text[at]) >= 0x80 || text[at] == ' '))
		at++;
	return at < length &&
	       (text[at] == '\'' || (text[at] == '$' && at + 1 < length && text[at + 1] == '\''));
}

// The length of the character text begins with, and in shown whether it may
// reach a terminal as it is: printable ASCII, or valid UTF-8 other than the
// C1 controls (U+0080 to U+009F), the marks and embeddings that reorder text
// around them, and the characters that show nothing or break lines (zero
// width space, word joiner, invisible operators, byte order mark, line and
// paragraph separators). The zero width joiner and non-joiner stay: Persian,
// Indic and emoji names need them. A byte that begins no valid UTF-8
// sequence is a character of its own, never shown.
static size_t character(const char *text, size_t length, bool &shown)
{
	const auto *bytes = reinterpret_cast<const unsigned char *>(text);
	shown = false;
	if (bytes[0] < 0x80) {
		shown = bytes[0] >= 0x20 && bytes[0] != 0x7f;
		return 1;
	}
	size_t size = 0;
	char32_t code = 0;
	char32_t least = 0; // below it, an overlong form
	if (bytes[0] >= 0xc2 && bytes[0] <= 0xdf) {
		size = 2, code = bytes[0] & 0x1fU, least = 0x80;
	} else if (bytes[0] >= 0xe0 && bytes[0] <= 0xef) {
		size = 3, code = bytes[0] & 0x0fU, least = 0x800;
	} else if (bytes[0] >= 0xf0 && bytes[0] <= 0xf4) {
		size = 4, code = bytes[0] & 0x07U, least = 0x10000;
	} else {
		return 1;
	}
	if (size > length)
		return 1;
	for (size_t i = 1; i < size; i++) {
		if ((bytes[i] & 0xc0U) != 0x80)
			return 1;
		code = code << 6 | (bytes[i] & 0x3fU);
	}
	if (code < least || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
		return 1;
	shown = code > 0x9f && code != 0x061c && code != 0x180e && code != 0x200b &&
	        (code < 0x200e || code > 0x200f) && (code < 0x2028 || code > 0x202e) &&
	        (code < 0x2060 || code > 0x206f) && code != 0xfeff &&
	        (code < 0xfff9 || code > 0xfffb);
	return size;
}

// Writes out what an output holds, to the last byte; false, with its error
// set, once any write to it has failed.
static bool flush(output &to)
{
	unsigned refused = 0; // writes refused in a row
	for (size_t done = 0; done < to.used && to.error == 0;) {
		const ssize_t n = write(to.fd, to.bytes + done, to.used - done);
		if (n > 0) {
			done += static_cast<size_t>(n);
			refused = 0;
		} else if (n == 0) {
			to.error = NOTHING_WRITTEN;
		} else if (errno == EAGAIN || errno == EWOULDBLOCK) {
			// Only a non-blocking descriptor refuses for now, but
			// another process that shares it may clear the flag before
			// we look: every refusal is waited for. One that is
			// blocking and refuses even once poll has called it ready
			// never takes the bytes; waiting on it would be waiting for
			// ever.
			if (refused > 0 && (fcntl(to.fd, F_GETFL) & O_NONBLOCK) == 0)
				to.error = EAGAIN;
			else if (!await(to.fd, refused++))
				to.error = errno;
		} else if (errno != EINTR) {
			to.error = errno;
		}
	}
	to.used = 0;
	return to.error == 0;
}

// Waits until a non-blocking descriptor may take more. One that refused a
// write although poll said it would take it (a file on a file system that
// cannot poll) would make poll return at once for ever, so after a refusal
// it also sleeps, longer each time up to a quarter of a second.
static bool await(int fd, unsigned refused)
{
	if (refused > 0) {
		const long milliseconds = 1L << (refused < 9 ? refused - 1 : 8);
		const struct timespec pause = {0, milliseconds * 1000000};
		nanosleep(&pause, nullptr); // cut short by a signal, it is only shorter
	}
	struct pollfd ready = {.fd = fd, .events = POLLOUT, .revents = 0};
	while (poll(&ready, 1, -1) < 0)
		if (errno != EINTR)
			return false;
	return true;
}
