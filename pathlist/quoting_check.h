// SPDX-License-Identifier: MIT
// What the unit tests and the fuzz target read pathlist's lines with,
// written apart from it: a reader of the $'...' form, and of UTF-8.
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

} // namespace check
