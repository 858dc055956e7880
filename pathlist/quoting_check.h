// SPDX-License-Identifier: MIT
// What the unit tests and the fuzz target check pathlist's quoting against,
// written apart from it: a reader of the $'...' form, and what the tables
// and the C library say of a whole decoded text.
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

namespace check {

// The bytes a shell reads back from line, a quoted path: one $'...' word of
// printable ASCII, its quote and backslash escaped, other bytes as \n, \t
// or three octal digits; nothing when line is not such a word.
inline std::optional<std::string> unquote(const std::string &line)
{
	if (line.size() < 3 || line.compare(0, 2, "$'") != 0 || line.back() != '\'')
		return std::nullopt;
	std::string text;
	for (size_t at = 2; at + 1 < line.size(); at++) {
		const char c = line[at];
		if (c < 0x20 || c > 0x7e || c == '\'')
			return std::nullopt;
		if (c != '\\') {
			text += c;
			continue;
		}
		if (at + 2 >= line.size())
			return std::nullopt;
		const char e = line[++at];
		if (e == 'n' || e == 't' || e == '\\' || e == '\'') {
			text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
		} else if (e >= '0' && e <= '3' && at + 3 < line.size() && line[at + 1] >= '0' &&
		           line[at + 1] <= '7' && line[at + 2] >= '0' && line[at + 2] <= '7') {
			text += static_cast<char>((e - '0') << 6 | (line[at + 1] - '0') << 3 |
			                          (line[at + 2] - '0'));
			at += 2;
		} else {
			return std::nullopt;
		}
	}
	return text;
}

// Every byte of ASCII, for find_first_not_of.
inline const std::string ascii = [] {
	std::string all;
	for (int c = 0; c < 0x80; c++)
		all += static_cast<char>(c);
	return all;
}();

// The code points of text, strict UTF-8; nothing when it is not.
inline std::optional<std::u32string> utf8(const std::string &text)
{
	std::u32string points;
	for (size_t at = 0; at < text.size();) {
		const auto lead = static_cast<unsigned char>(text[at]);
		const size_t size = lead < 0x80       ? 1
		                    : lead >> 5 == 6  ? 2
		                    : lead >> 4 == 14 ? 3
		                    : lead >> 3 == 30 ? 4
		                                      : 0;
		if (size == 0 || at + size > text.size())
			return std::nullopt;
		char32_t code = size == 1 ? lead : lead & (0x7f >> size);
		for (size_t i = 1; i < size; i++) {
			const auto byte = static_cast<unsigned char>(text[at + i]);
			if (byte >> 6 != 2)
				return std::nullopt;
			code = code << 6 | (byte & 0x3f);
		}
		static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
		if (code < least[size] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
			return std::nullopt;
		points += code;
		at += size;
	}
	return points;
}

// Whether code is in table, looked for one range at a time.
template <size_t N> bool listed(const code_range (&table)[N], char32_t code)
{
	for (const code_range &range : table)
		if (range.first <= code && code <= range.last)
			return true;
	return false;
}

// Whether the C library, in the locale set, takes code for printable.
inline bool printable(char32_t code)
{
	return std::iswprint(static_cast<wint_t>(code)) != 0 &&
	       wcwidth(static_cast<wchar_t>(code)) >= 0;
}

// Whether the tables and the C library let text reach a UTF-8 terminal as
// it is: printable ASCII, and shown characters that the C library prints; a
// character that takes no cell (a mark, or width 0) on printable ASCII but
// the space, or on a shown character beyond ASCII that is not a blank, past
// those and variation selectors between (a name's first is on the slash
// before it, a path's on nothing); a joiner between two shown characters
// beyond ASCII that are not blanks (a variation selector after its own may
// be the first); a variation selector right after such a character; a
// slash look-alike of Japanese only between Japanese, slashes and ends; a
// name not made of dots alone with a look-alike of one among them; and,
// ending a line, no blank last but for what takes no cell after it.
inline bool shown_as_is(const std::string &text, bool ends_line, bool starts_path = false)
{
	const std::optional<std::u32string> points = utf8(text);
	if (!points)
		return false;
	const std::u32string &p = *points;
	auto no_cell = [&](size_t i) {
		return p[i] >= 0x80 && listed(shown, p[i]) &&
		       (listed(mark, p[i]) || wcwidth(static_cast<wchar_t>(p[i])) == 0);
	};
	auto base = [&](size_t i) {
		return p[i] >= 0x80 && listed(shown, p[i]) && !listed(blank, p[i]);
	};
	auto on_base = [&](size_t i) {
		while (i > 0 && (no_cell(i - 1) || listed(variation_selector, p[i - 1])))
			i--;
		if (i == 0)
			return !starts_path;
		return p[i - 1] < 0x80 ? p[i - 1] > 0x20 && p[i - 1] != 0x7f : base(i - 1);
	};
	auto japanese_or_end = [&](size_t i) {
		return i >= p.size() || p[i] == '/' || listed(japanese, p[i]);
	};
	bool dots_alone = true, dot_like_seen = false;
	for (size_t i = 0; i < p.size(); i++) {
		if (p[i] >= 0x80 && !printable(p[i]))
			return false;
		if (no_cell(i) && !on_base(i))
			return false;
		if (listed(slash_among_own, p[i]) &&
		    !((i == 0 || japanese_or_end(i - 1)) && japanese_or_end(i + 1)))
			return false;
		if (p[i] < 0x80 || (listed(shown, p[i]) && !no_cell(i))) {
			dots_alone = dots_alone && (p[i] == '.' || listed(dot_like, p[i]));
			dot_like_seen = dot_like_seen || (p[i] >= 0x80 && listed(dot_like, p[i]));
		}
		if (p[i] < 0x80 ? p[i] >= 0x20 && p[i] != 0x7f : listed(shown, p[i]))
			continue;
		const bool after_base = i > 0 && base(i - 1);
		if (listed(variation_selector, p[i]) && after_base)
			continue;
		const bool after_selector =
		    i > 1 && listed(variation_selector, p[i - 1]) && base(i - 2);
		if (listed(joiner, p[i]) && (after_base || after_selector) && i + 1 < p.size() &&
		    base(i + 1))
			continue;
		return false;
	}
	if (!starts_path && dots_alone && dot_like_seen)
		return false;
	size_t last = p.size();
	while (last > 0 && (no_cell(last - 1) || listed(variation_selector, p[last - 1]) ||
	                    listed(joiner, p[last - 1])))
		last--;
	return !(ends_line && last > 0 && (p[last - 1] == ' ' || listed(blank, p[last - 1])));
}

} // namespace check
