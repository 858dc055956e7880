// SPDX-License-Identifier: MIT
// pathlist: write the path of every entry of one directory, one a line: the
// directory exactly as given, a slash, the entry's name. Entries come in the
// order the directory stream delivers them, "." and ".." included.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
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

// What a character is to a terminal, by Unicode's data: each code point has
// one kind (unicode_tables.py says how each is found).
enum kind : uint8_t {
	k_never,    // drawn as nothing, acted on, or taken for something else
	k_blank,    // takes a cell and draws nothing there
	k_base,     // takes a cell and draws in it
	k_mark,     // drawn on the base before it
	k_cellless, // a letter drawn on the one before it, or what the C library gives no cell
	k_selector, // a variation selector: picks a form of the character before
	k_zwj,      // ZERO WIDTH JOINER
	k_zwnj,     // ZERO WIDTH NON-JOINER
	k_slash,    // between the folders of a path
	kinds
};

// And what a rule asks of it, beyond its kind.
enum flag : uint16_t {
	f_letter = 1 << 0,         // words are letters and the marks on them
	f_dot = 1 << 1,            // reads as a dot, or as dots
	f_sign = 1 << 2,           // punctuation or a symbol beyond ASCII that is no emoji
	f_virama = 1 << 3,         // kills a vowel: a joiner may follow
	f_joins_on = 1 << 4,       // joins the letter after it: a non-joiner may follow
	f_joined_to = 1 << 5,      // joins the letter before it: may follow a non-joiner
	f_transparent = 1 << 6,    // lets letters on each side of it join
	f_before_zwj = 1 << 7,     // ends an emoji that a joiner may follow
	f_after_zwj = 1 << 8,      // begins an emoji that may follow a joiner
	f_japanese = 1 << 9,       // Han, Hiragana or Katakana
	f_among_japanese = 1 << 10 // a slash look-alike that Japanese needs
};

// A code point's kind, flags and the scripts it is written in (an index
// of script_sets).
struct char_class {
	uint8_t kind;
	uint16_t flags;
	uint16_t scripts;
};

// A base and a variation selector that Unicode defines on it.
struct variation_sequence {
	char32_t base;
	char32_t selector;
};

#include "unicode_tables.h"

// Where the reading of a text stands, after the characters so far.
enum state : uint8_t {
	s_start,    // at the start of a path or a name, or after a slash
	s_base,     // after a character that draws, and what it carries
	s_blank,    // after a blank
	s_selected, // after a variation selector
	s_joined,   // after a joiner
	s_refused,  // the text may not be shown as it is
};

// Which kind may follow which state, and the state it leads to.
static constexpr state follows[s_refused][kinds] = {
    // never     blank      base       mark       cellless   selector    zwj        zwnj       slash
    // Whatever takes no cell has nothing to be drawn on: a terminal drops it, or draws
    // it on the slash before.
    {s_refused, s_blank, s_base, s_refused, s_refused, s_refused, s_refused, s_refused, s_start},
    // What a base carries: marks, a selector, a joiner.
    {s_refused, s_blank, s_base, s_base, s_base, s_selected, s_joined, s_joined, s_start},
    // On a blank, a mark is drawn over nothing.
    {s_refused, s_blank, s_base, s_refused, s_refused, s_refused, s_refused, s_refused, s_start},
    // A selector ends what it picks a form of; an emoji's joiner may follow.
    {s_refused, s_blank, s_base, s_refused, s_refused, s_refused, s_joined, s_refused, s_start},
    // A joiner stands between two characters that draw.
    {s_refused, s_refused, s_base, s_refused, s_refused, s_refused, s_refused, s_refused,
     s_refused},
};

// The ASCII characters that plain() takes at once, as it says why.
struct byte_set {
	bool has[256];
};
static constexpr byte_set quiet = [] {
	byte_set set = {};
	for (int c = 0; c < 0x80; c++)
		set.has[c] = ascii_classes[c].kind == k_base && c != '$';
	return set;
}();

// What a reading keeps of the characters before.
struct reading {
	state now;
	char32_t before;       // the character before
	uint16_t before_flags; // and its flags
	uint16_t base_scripts; // the scripts of the base that marks are drawn on
	uint16_t needs;        // a flag the next character must have
	bool joins_on;         // the last character but transparent ones joins the next
	// The word (letters, and the marks on them) read so far: the scripts
	// all its letters beyond ASCII share; of UTS #39's augmented sets (Jpan,
	// Hanb, Kore), those they share, a Latin one counting as all three;
	// whether one of its letters is ASCII, and whether one is not.
	uint64_t word_scripts[script_words];
	uint64_t word_cjk;
	bool word_latin;
	bool word_wide;
	// Of the characters that take a cell: how many cells, whether every one
	// is a dot, or a dot or a sign, and whether one is not an ASCII dot.
	unsigned cells;
	bool dots_only;
	bool signs_only;
	bool not_dot;
};

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
static bool step(reading &at, char32_t code, char_class is, int cells);
static bool word_ends(reading &at);
static bool shares_script(uint16_t a, uint16_t b);
static bool looks_quoted(const char *text, size_t length);
static size_t decode(const char *text, size_t length, char32_t &code);
static int width(char32_t code);
static char_class class_of(char32_t code);
static bool defined(char32_t base, char32_t selector);
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

// Whether text may reach a terminal as it is, every character of it seen for
// what it is: UTF-8 on a terminal that takes it, each character classed by
// Unicode's data, printable to the C library, and following what it may
// follow (follows[]). A path starts with text when starts_path is set;
// otherwise text is a name, after the slash. When text ends a line, its
// last character may not be a blank.
static bool plain(const char *text, size_t length, bool ends_line, bool starts_path)
{
	// Most names are ASCII bases alone, every one of which the table takes
	// from s_start and s_base to s_base, and on which no other rule but
	// that of $' bears: they are taken at once.
	size_t at = 0;
	while (at < length && quiet.has[static_cast<unsigned char>(text[at])])
		at++;
	if (at == length)
		return true;

	reading read = {};
	read.word_cjk = ~uint64_t{0};
	std::memset(read.word_scripts, 0xff, sizeof read.word_scripts);
	read.dots_only = read.signs_only = true;
	for (at = 0; at < length;) {
		const auto byte = static_cast<unsigned char>(text[at]);
		if (byte < 0x80) {
			if (!step(read, byte, ascii_classes[byte], 1))
				return false;
			at++;
			continue;
		}
		char32_t code = 0;
		const size_t size = decode(text + at, length - at, code);
		if (size == 0 || !utf8_shown)
			return false;
		const int cells = width(code);
		char_class is = class_of(code);
		// The C library of the system this runs on has the last word: a
		// terminal that asks it how wide a character is drops what it
		// does not know, and draws what it gives no cell on the one
		// before.
		if (cells < 0)
			return false;
		if (cells == 0 && (is.kind == k_base || is.kind == k_blank))
			is.kind = k_cellless;
		if (!step(read, code, is, cells))
			return false;
		at += size;
	}
	if (!word_ends(read) || read.now == s_joined || (ends_line && read.now == s_blank))
		return false;
	// No name reads as . or .. but those two: one of dots and their
	// look-alikes alone, or of at most two cells of dots and signs.
	return starts_path || !read.not_dot ||
	       !(read.dots_only || (read.signs_only && read.cells <= 2));
}

// Reads one more character, code, of class is and taking cells: false when
// it may not stand where it does.
static bool step(reading &at, char32_t code, char_class is, int cells)
{
	const state next = follows[at.now][is.kind];
	if (next == s_refused || (at.needs != 0 && (is.flags & at.needs) == 0))
		return false;
	at.needs = 0;
	switch (is.kind) {
	case k_mark: // drawn only on a base of its own script
		if (!shares_script(at.base_scripts, is.scripts))
			return false;
		break;
	case k_selector: // only in a sequence Unicode defines
		if (!defined(at.before, code))
			return false;
		break;
	case k_zwj: // after a virama, or between two emoji of a sequence
		if ((at.before_flags & f_virama) == 0) {
			if ((at.before_flags & f_before_zwj) == 0)
				return false;
			at.needs = f_after_zwj;
		}
		break;
	case k_zwnj: // after a virama, or between two letters that join
		if ((at.before_flags & f_virama) == 0) {
			if (!at.joins_on)
				return false;
			at.needs = f_joined_to;
		}
		break;
	case k_base:
	case k_blank:
		at.base_scripts = is.scripts;
		at.cells += static_cast<unsigned>(cells);
		at.dots_only = at.dots_only && (is.flags & f_dot) != 0;
		at.signs_only = at.signs_only && (is.flags & (f_dot | f_sign)) != 0;
		at.not_dot = at.not_dot || code != '.';
		break;
	default:
		break;
	}
	// No wrapped row may read as a quoted one.
	if (code == '\'' && at.before == '$')
		return false;
	// Katakana NO, like a slash, only between letters of Japanese.
	if ((is.flags & f_among_japanese) != 0) {
		if (at.now != s_start && (at.before_flags & f_japanese) == 0)
			return false;
		at.needs = f_japanese;
	}
	if ((is.flags & f_letter) != 0 && code >= 0x80) {
		const uint64_t *scripts = script_sets[is.scripts];
		for (int i = 0; i < script_words; i++)
			at.word_scripts[i] &= scripts[i];
		at.word_cjk &= (scripts[0] & latin_script) != 0 ? cjk_scripts : scripts[0];
		at.word_wide = true;
	} else if ((is.flags & f_letter) != 0) {
		at.word_latin = true;
	} else if (is.kind != k_mark && is.kind != k_cellless && !word_ends(at)) {
		return false;
	}
	if ((is.flags & f_transparent) == 0)
		at.joins_on = (is.flags & f_joins_on) != 0;
	at.now = next;
	at.before = code;
	at.before_flags = is.flags;
	return true;
}

// Ends the word read so far: false when it mixes scripts as UTS #39's
// Highly Restrictive level does not allow (one script, or Latin with Han
// and Japanese's kana, Bopomofo or Hangul), as a Latin word with a Cyrillic
// letter in it does.
static bool word_ends(reading &at)
{
	bool one = false;
	for (int i = 0; i < script_words; i++)
		one = one || at.word_scripts[i] != 0;
	if (at.word_latin)
		one = (at.word_scripts[0] & latin_script) != 0;
	const bool allowed = !at.word_wide || one || (at.word_cjk & cjk_scripts) != 0;
	std::memset(at.word_scripts, 0xff, sizeof at.word_scripts);
	at.word_cjk = ~uint64_t{0};
	at.word_latin = at.word_wide = false;
	return allowed;
}

// Whether text, once past what a terminal may show as nothing (characters
// beyond ASCII, spaces), begins as a quoted path does, with ' (plain()
// has quoted any text holding $').
static bool looks_quoted(const char *text, size_t length)
{
	size_t at = 0;
	while (at < length && (static_cast<unsigned char>(text[at]) >= 0x80 || text[at] == ' '))
		at++;
	return at < length && text[at] == '\'';
}

// The length of the valid UTF-8 sequence of a character beyond ASCII that
// text, of one byte at least, begins with, its code point in code; 0 when
// text begins with none (ASCII, a stray byte, an overlong form, a
// surrogate, past U+10FFFF, cut short).
static size_t decode(const char *text, size_t length, char32_t &code)
{
	const auto *bytes = reinterpret_cast<const unsigned char *>(text);
	size_t size = 0;
	char32_t least = 0; // below it, an overlong form
	if (bytes[0] < 0xc2 || bytes[0] > 0xf4)
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

// Whether the script sets of index a and b have a script in common.
static bool shares_script(uint16_t a, uint16_t b)
{
	for (int i = 0; i < script_words; i++)
		if ((script_sets[a][i] & script_sets[b][i]) != 0)
			return true;
	return false;
}

// The class of code, a code point beyond ASCII.
static char_class class_of(char32_t code)
{
	const char32_t *first = class_starts; // the last start at or before code
	for (size_t size = std::size(class_starts); size > 1;) {
		const size_t half = size / 2;
		if (first[half] <= code) {
			first += half;
			size -= half;
		} else {
			size = half;
		}
	}
	return classes[first - class_starts];
}

// Whether Unicode defines the variation sequence of base and selector.
static bool defined(char32_t base, char32_t selector)
{
	size_t low = 0;
	for (size_t high = std::size(variation_sequences); low < high;) {
		const size_t middle = (low + high) / 2;
		const variation_sequence &each = variation_sequences[middle];
		if (each.base < base || (each.base == base && each.selector < selector))
			low = middle + 1;
		else
			high = middle;
	}
	return low < std::size(variation_sequences) && variation_sequences[low].base == base &&
	       variation_sequences[low].selector == selector;
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
