// SPDX-License-Identifier: MIT
// pathlist: write the path of every entry of one directory, one a line: the
// directory exactly as given, a slash, the entry's name. Entries come in the
// order the directory stream delivers them, "." and ".." included.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <unistd.h>

// iswprint and wcwidth are asked of code points.
#ifndef __STDC_ISO_10646__
#error "pathlist needs a C library whose wide characters are Unicode code points"
#endif

// A 32-bit system reads entries whose inode numbers or positions pass 2^32
// only through the large-file interfaces; without them readdir fails there.
static_assert(sizeof(dirent::d_ino) == 8 && sizeof(dirent::d_off) == 8,
              "pathlist must be built with the large-file interfaces (_FILE_OFFSET_BITS=64)");

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

// Code points first to last, both included.
struct code_range {
	char32_t first;
	char32_t last;
};

#include "unicode_tables.h"

static bool list(const char *dirname);
[[gnu::always_inline]] static inline bool put_line(const char *dirname, size_t dirname_length,
                                                   const char *name, size_t name_length);
static bool put_in_pieces(const char *dirname, size_t dirname_length, const char *name,
                          size_t name_length);
static bool show(const char *dirname, size_t dirname_length, bool dirname_plain, const char *name,
                 size_t name_length);
static void complain(const char *what, const char *dirname, int error);
static void learn_charset();
static bool names_utf8(const char *codeset);
static bool put(output &to, const char *bytes, size_t length);
static bool put_escaped(output &to, const char *text, size_t length);
static bool plain(const char *text, size_t length, bool ends_line, bool starts_path);
static bool looks_quoted(const char *text, size_t length);
static size_t decode(const char *text, size_t length, char32_t &code);
static int width(char32_t code);
template <size_t N> static bool in(const code_range (&table)[N], char32_t code);
static bool flush(output &to);
static bool await(int fd, unsigned refused);

static char buffer[1 << 16];
// Room for any message in one write: an argument is at most 32 pages, 2 MiB
// with the largest pages Linux has (64 KiB), and quoted at most four times
// that. Its pages are touched only when a message is built.
static char message[4 * (2 << 20) + 1024];
static output out = {STDOUT_FILENO, buffer, sizeof buffer, 0, 0};
static output err = {STDERR_FILENO, message, sizeof message, 0, 0};
static bool on_terminal;
// What a person's terminal may be shown beyond ASCII, once learned: UTF-8
// that both the tables and the C library know, or nothing.
static bool charset_learned;
static bool utf8_shown;

int main(int argc, char *argv[])
{
	const char *dirname = argc > 1 ? argv[1] : "/etc";
	on_terminal = isatty(STDOUT_FILENO) != 0;
	if (on_terminal)
		learn_charset();

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
	const bool dirname_plain = on_terminal && plain(dirname, dirname_length, false, true) &&
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
// Called for every entry, and kept inline in the loop at every level of
// optimisation: one test of the room left, then two copies.
[[gnu::always_inline]] static inline bool put_line(const char *dirname, size_t dirname_length,
                                                   const char *name, size_t name_length)
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
// the buffer each time it fills. Once a write has failed nothing more is
// written, so its pieces need no test of their own.
static bool put_in_pieces(const char *dirname, size_t dirname_length, const char *name,
                          size_t name_length)
{
	put(out, dirname, dirname_length);
	put(out, "/", 1);
	put(out, name, name_length);
	put(out, "\n", 1);
	return out.error == 0;
}

// Writes one entry's line to a terminal, at once: as it is, or quoted when
// it holds characters that would drive the terminal or hide, or when it
// would look quoted itself (dirname_plain is false), so that a quoted line
// only ever comes from a path that needed it.
static bool show(const char *dirname, size_t dirname_length, bool dirname_plain, const char *name,
                 size_t name_length)
{
	if (dirname_plain && plain(name, name_length, true, false)) {
		put_line(dirname, dirname_length, name, name_length);
	} else {
		put(out, "$'", 2);
		put_escaped(out, dirname, dirname_length);
		put(out, "/", 1);
		put_escaped(out, name, name_length);
		put(out, "'\n", 2);
	}
	return flush(out);
}

// Says on standard error, as one line written at once, what failed, on which
// directory if any, and why. DIR is shown between single quotes, or quoted
// as the listing on a terminal quotes a path: a message is read by a
// person, wherever it goes.
static void complain(const char *what, const char *dirname, int error)
{
	learn_charset();
	put(err, "pathlist: ", 10);
	put(err, what, std::strlen(what));
	if (dirname != nullptr) {
		const size_t length = std::strlen(dirname);
		put(err, " ", 1);
		const bool quoted =
		    !plain(dirname, length, true, true) || std::strchr(dirname, '\'') != nullptr;
		put(err, quoted ? "$'" : "'", quoted ? 2 : 1);
		if (quoted)
			put_escaped(err, dirname, length);
		else
			put(err, dirname, length);
		put(err, "'", 1);
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

// Adds text for the inside of a $'...' quote: printable ASCII as it is, but
// for the quote and the backslash, and every other byte as an escape (\n,
// \t or three octal digits). ASCII means the same in every locale a shell
// runs in, so no decoder can join a byte of the path with the closing quote,
// and bash, ksh, mksh and zsh read it back to the same bytes everywhere.
static bool put_escaped(output &to, const char *text, size_t length)
{
	for (size_t at = 0; at < length;) {
		size_t run = at;
		while (run < length && static_cast<unsigned char>(text[run]) - 0x20U < 0x5fU &&
		       text[run] != '\'' && text[run] != '\\')
			run++;
		if (!put(to, text + at, run - at))
			return false;
		if (run == length)
			break;
		const auto byte = static_cast<unsigned char>(text[run]);
		char escape[4] = {'\\', static_cast<char>(byte), '\0', '\0'};
		size_t size = 2;
		if (byte == '\n') {
			escape[1] = 'n';
		} else if (byte == '\t') {
			escape[1] = 't';
		} else if (byte != '\\' && byte != '\'') {
			escape[1] = static_cast<char>('0' + (byte >> 6));
			escape[2] = static_cast<char>('0' + (byte >> 3 & 7));
			escape[3] = static_cast<char>('0' + (byte & 7));
			size = 4;
		}
		if (!put(to, escape, size))
			return false;
		at = run + 1;
	}
	return true;
}

// Learns, once, what the terminal may be shown beyond ASCII, as tools that
// heed the locale do: its character set is that of LC_ALL, LC_CTYPE or
// LANG. One named UTF-8 but not installed here is UTF-8 all the same, the
// terminal being what the name says, and what it knows is asked of
// C.UTF-8. Any other character set, or no UTF-8 locale to ask, and nothing
// beyond ASCII is shown: a terminal in a single-byte mode takes 0x9B for
// CSI and 0x9D for OSC, bytes that UTF-8 holds in most scripts.
static void learn_charset()
{
	if (charset_learned)
		return;
	charset_learned = true;
	if (setlocale(LC_CTYPE, "") != nullptr) {
		utf8_shown = names_utf8(nl_langinfo(CODESET));
		return;
	}
	static const char *const variables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
	const char *name = "";
	// One of them is set, since setlocale fails only on a locale named and
	// not installed: the loop never runs out.
	for (const char *variable : variables) { // GCOVR_EXCL_BR_LINE
		const char *value = std::getenv(variable);
		if (value != nullptr && *value != '\0') {
			name = value;
			break;
		}
	}
	const char *codeset = std::strchr(name, '.');
	utf8_shown = codeset != nullptr && names_utf8(codeset + 1) &&
	             setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
}

// Whether codeset, up to a modifier (@...), names UTF-8 in any of the ways
// the C library takes: ASCII letters and digits alone count, in any case.
static bool names_utf8(const char *codeset)
{
	const char *want = "utf8";
	for (; *codeset != '\0' && *codeset != '@'; codeset++) {
		const char c = *codeset;
		const char lower = static_cast<char>(c | 0x20);
		if ((c < '0' || c > '9') && (lower < 'a' || lower > 'z'))
			continue;
		if (*want == '\0' || lower != *want++)
			return false;
	}
	return *want == '\0';
}

// Whether text may reach a terminal as it is, every character of it seen
// for what it is: printable ASCII, and characters beyond ASCII that are
// valid UTF-8, on a terminal that takes it, shown by the tables (Unicode's
// database: assigned, and neither a control, a format character, a line or
// paragraph separator, default-ignorable nor like a slash) and known to
// the C library as printable. A character that takes no cell of its own
// (width 0 by the C library or the tables: combining marks, Hangul's vowel
// and final jamo) is shown only on a shown character that is not a blank,
// or on others such on one: a terminal drops one at the start of a line,
// and draws one on a blank over nothing. A path starts with text when
// starts_path is set; otherwise text is a name, after the slash,
// printable ASCII like any other but the space. A joiner is shown only
// between two shown characters beyond ASCII that are not blanks (Persian,
// Indic, emoji sequences), a variation selector only right after one. The
// slash look-alikes that Japanese names need are shown only next to
// Japanese, a slash or an end. A name of dots and their look-alikes alone,
// one at least a look-alike, would read as . or ..: it is not shown. And
// when text ends a line, its last character may not be a blank.
static bool plain(const char *text, size_t length, bool ends_line, bool starts_path)
{
	bool after_shown = false;    // the character before may be joined
	bool after_base = false;     // and is a shown one, not a blank
	bool on_base = !starts_path; // a mark here has a shown character, not a blank
	bool blank_last = false;
	char32_t before = 0;         // the character before; 0 at an end of a name
	bool wants_japanese = false; // for the slash look-alike before
	bool dots_alone = true;      // of the characters that take a cell
	bool dot_like_seen = false;
	for (size_t at = 0; at < length;) {
		const auto byte = static_cast<unsigned char>(text[at]);
		if (byte < 0x80) {
			if (byte < 0x20 || byte == 0x7f || (wants_japanese && byte != '/'))
				return false;
			after_shown = after_base = wants_japanese = false;
			blank_last = byte == ' ';
			on_base = !blank_last;
			before = byte == '/' ? 0 : byte;
			dots_alone = dots_alone && byte == '.';
			at++;
			continue;
		}
		char32_t code = 0;
		const size_t size = decode(text + at, length - at, code);
		if (size == 0 || !utf8_shown)
			return false;
		const int cells = width(code);
		if (cells < 0 || (wants_japanese && !in(japanese, code)))
			return false;
		wants_japanese = in(slash_among_own, code);
		if (wants_japanese && before != 0 && (before < 0x80 || !in(japanese, before)))
			return false;
		before = code;
		if (in(shown, code)) {
			const bool no_cell = cells == 0 || in(mark, code);
			if (no_cell && !on_base)
				return false;
			const bool is_blank = in(blank, code);
			after_shown = after_base = on_base = !is_blank;
			blank_last = is_blank;
			if (!no_cell) {
				const bool dot_like_here = in(dot_like, code);
				dots_alone = dots_alone && dot_like_here;
				dot_like_seen = dot_like_seen || dot_like_here;
			}
		} else if (in(variation_selector, code) && after_base) {
			after_base = false;
		} else if (in(joiner, code) && after_shown) {
			char32_t next = 0;
			if (decode(text + at + size, length - at - size, next) == 0 ||
			    !in(shown, next) || in(blank, next))
				return false;
			after_shown = after_base = on_base = false;
		} else {
			return false;
		}
		at += size;
	}
	return !(ends_line && blank_last) && (starts_path || !dots_alone || !dot_like_seen);
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

// The length of the valid UTF-8 sequence of a character beyond ASCII that
// text begins with, its code point in code; 0 when text begins with none
// (ASCII, a stray byte, an overlong form, a surrogate, past U+10FFFF, cut
// short).
static size_t decode(const char *text, size_t length, char32_t &code)
{
	const auto *bytes = reinterpret_cast<const unsigned char *>(text);
	size_t size = 0;
	char32_t least = 0; // below it, an overlong form
	if (length == 0 || bytes[0] < 0xc2 || bytes[0] > 0xf4)
		return 0;
	if (bytes[0] <= 0xdf)
		size = 2, code = bytes[0] & 0x1fU, least = 0x80;
	else if (bytes[0] <= 0xef)
		size = 3, code = bytes[0] & 0x0fU, least = 0x800;
	else
		size = 4, code = bytes[0] & 0x07U, least = 0x10000;
	if (size > length)
		return 0;
	for (size_t i = 1; i < size; i++) {
		if ((bytes[i] & 0xc0U) != 0x80)
			return 0;
		code = code << 6 | (bytes[i] & 0x3fU);
	}
	if (code < least || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
		return 0;
	return size;
}

// How many cells the C library of the system this runs on gives code, a
// printable character; -1 when it does not know it as one: a terminal that
// asks it how wide a character is (tmux) drops one it does not know.
static int width(char32_t code)
{
	return std::iswprint(static_cast<wint_t>(code)) != 0 ? wcwidth(static_cast<wchar_t>(code))
	                                                     : -1;
}

// Whether code is in table, sorted ranges.
template <size_t N> static bool in(const code_range (&table)[N], char32_t code)
{
	const code_range *range = table;
	for (size_t size = N; size > 0;) { // to the first range that ends at or after code
		const size_t half = size / 2;
		if (range[half].last < code) {
			range += half + 1;
			size -= half + 1;
		} else {
			size = half;
		}
	}
	return range != table + N && range->first <= code;
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
		} else if (errno == EAGAIN || errno == EWOULDBLOCK) { // GCOVR_EXCL_BR_LINE
			// (On Linux the two are one: the second test never runs.)
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
