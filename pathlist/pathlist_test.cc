// SPDX-License-Identifier: MIT
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// The program is one unit with static functions; compile it into the test
// with its entry point renamed, and its writes kept here, so that what it
// would write can be looked at, and counted.
static std::string written[3];
static int writes[3];
static ssize_t kept(int fd, const void *bytes, size_t count)
{
	written[fd].append(static_cast<const char *>(bytes), count);
	writes[fd]++;
	return static_cast<ssize_t>(count);
}
// And a C library that knows a character as printable but gives it no
// width, as one may: widthless, when not 0; or gives it width 0, as a newer
// one may give a character the tables take for a base: cellless.
static char32_t widthless;
static char32_t cellless;
static int width_of(wchar_t c)
{
	const auto code = static_cast<char32_t>(c);
	return code == widthless ? -1 : code == cellless ? 0 : wcwidth(c);
}
// And a system where C.UTF-8 does not load either, when told.
static bool no_utf8_locale;
static char *locale_of(int category, const char *name)
{
	return no_utf8_locale && name != nullptr && std::strcmp(name, "C.UTF-8") == 0
	           ? nullptr
	           : setlocale(category, name);
}
#define main pathlist_main
#define write kept
#define wcwidth width_of
#define setlocale locale_of
#include "pathlist.cpp" // NOLINT(bugprone-suspicious-include): the program under test
#undef setlocale
#undef wcwidth
#undef write
#undef main
#include "quoting_check.h"

namespace {

// Sets what the terminal takes as pathlist learns it from LC_ALL, LC_CTYPE
// and LANG, each unset when null; back to C for the next.
void learn_from(const char *lc_all, const char *lc_ctype, const char *lang)
{
	const char *const names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
	const char *const values[] = {lc_all, lc_ctype, lang};
	for (size_t i = 0; i < std::size(names); i++) {
		if (values[i] != nullptr)
			setenv(names[i], values[i], 1);
		else
			unsetenv(names[i]);
	}
	std::setlocale(LC_CTYPE, "C");
	charset_learned = false;
	learn_charset();
}

// Every test but the one of the locale sees a UTF-8 terminal.
class Utf8Terminal : public ::testing::Environment {
	void SetUp() override
	{
		learn_from("C.UTF-8", nullptr, nullptr);
	}
};
const auto *const utf8_terminal = ::testing::AddGlobalTestEnvironment(new Utf8Terminal);

// The line show() writes for the entry name of directory "d" on a terminal.
std::string shown_line(const std::string &name)
{
	written[1].clear();
	show("d", 1, true, name.data(), name.size());
	return written[1];
}

// The UTF-8 of code.
std::string utf8_of(char32_t code)
{
	std::string bytes;
	if (code < 0x80) {
		bytes += static_cast<char>(code);
	} else if (code < 0x800) {
		bytes += static_cast<char>(0xc0 | code >> 6);
	} else if (code < 0x10000) {
		bytes += static_cast<char>(0xe0 | code >> 12);
		bytes += static_cast<char>(0x80 | (code >> 6 & 0x3f));
	} else {
		bytes += static_cast<char>(0xf0 | code >> 18);
		bytes += static_cast<char>(0x80 | (code >> 12 & 0x3f));
		bytes += static_cast<char>(0x80 | (code >> 6 & 0x3f));
	}
	if (code >= 0x80)
		bytes += static_cast<char>(0x80 | (code & 0x3f));
	return bytes;
}

// Byte strings that hit every case: printable ASCII, the quote and the
// backslash, controls, stray bytes, the UTF-8 of code points at either
// edge of a class and of the characters of variation sequences, any code
// point. The same ones every run.
std::vector<std::string> random_texts(size_t count)
{
	std::mt19937 random(20261208);
	auto pick = [&](uint32_t below) { return static_cast<uint32_t>(random() % below); };
	std::vector<std::string> texts;
	for (size_t n = 0; n < count; n++) {
		std::string text;
		for (uint32_t pieces = pick(12); pieces > 0; pieces--) {
			const char32_t start = class_starts[pick(std::size(class_starts))];
			const variation_sequence &sequence =
			    variation_sequences[pick(std::size(variation_sequences))];
			switch (pick(8)) {
			case 0:
				text += static_cast<char>(0x20 + pick(0x5f));
				break;
			case 1:
				text += "'\\ $./"[pick(6)];
				break;
			case 2:
				text += static_cast<char>(pick(0x20));
				break;
			case 3:
				text += static_cast<char>(0x7f + pick(0x81));
				break;
			case 4:
				text += utf8_of(start - pick(2));
				break;
			case 5:
				text += utf8_of(pick(2) == 0 ? sequence.base : sequence.selector);
				break;
			case 6:
				text += utf8_of(U"\u200c\u200d\u0301\u00a0"[pick(4)]);
				break;
			default:
				text += utf8_of(0x80 + pick(0x10ff80));
				break;
			}
		}
		texts.push_back(text);
	}
	return texts;
}

TEST(Quoting, IsPrintableAsciiAndReadsBackToTheSameBytes)
{
	for (const std::string &text : random_texts(100000)) {
		const std::string line = shown_line(text);
		ASSERT_EQ(line.back(), '\n');
		const std::string path = line.substr(0, line.size() - 1);
		if (path.compare(0, 2, "$'") != 0) {
			ASSERT_EQ(path, "d/" + text);
			continue;
		}
		for (const char c : path)
			ASSERT_TRUE(c >= 0x20 && c <= 0x7e) << path;
		ASSERT_EQ(check::unquote(path), "d/" + text) << path;
	}
}

TEST(Shown, NothingBeyondAsciiOnATerminalThatIsNotUtf8)
{
	// What UTF-8 shows of ASCII, and nothing more.
	const std::vector<std::string> texts = random_texts(20000);
	std::vector<bool> in_utf8;
	in_utf8.reserve(texts.size());
	for (const std::string &text : texts)
		in_utf8.push_back(plain(text.data(), text.size(), true, false));
	learn_from("C", nullptr, nullptr);
	for (size_t i = 0; i < texts.size(); i++) {
		const std::string &text = texts[i];
		const bool ascii = text.find_first_not_of(check::ascii) == std::string::npos;
		ASSERT_EQ(plain(text.data(), text.size(), true, false), ascii && in_utf8[i])
		    << text;
	}
	learn_from("C.UTF-8", nullptr, nullptr);
}

TEST(Charset, LearnedAsTheCLibraryChoosesTheLocale)
{
	struct Case {
		const char *lc_all, *lc_ctype, *lang;
		bool utf8;
	};
	static const Case cases[] = {
	    {"C.UTF-8", nullptr, nullptr, true},
	    {"C.utf8", nullptr, nullptr, true},
	    {nullptr, nullptr, "C.UTF-8", true},
	    {"", "", "C.UTF-8", true},
	    {nullptr, "C.UTF-8", "C", true},
	    // not installed here, named UTF-8: what the terminal is
	    {"xx_YY.UTF-8", nullptr, nullptr, true},
	    {nullptr, "xx_YY.utf8@euro", nullptr, true},
	    {nullptr, nullptr, "xx_YY.Utf_8", true},
	    {nullptr, nullptr, nullptr, false},
	    {"C", nullptr, "C.UTF-8", false},
	    {"POSIX", nullptr, nullptr, false},
	    {"", "", "", false},
	    {"xx_YY", nullptr, nullptr, false},
	    {"xx_YY.ISO-8859-1", nullptr, nullptr, false},
	    {"xx_YY.UTF-16", nullptr, nullptr, false},
	    {"xx_YY.UTF", nullptr, nullptr, false},
	    {"xx_YY.UTF-88", nullptr, nullptr, false},
	    {"xx_YY.UTF-8z", nullptr, nullptr, false},
	    {"", "xx_YY.utf8", nullptr, true},
	    {"xx_YY@UTF-8", nullptr, nullptr, false},
	    {"xx_YY.EUC-TW", nullptr, "C.UTF-8", false},
	};
	const bool utf8_loads = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
	for (const Case &c : cases) {
		learn_from(c.lc_all, c.lc_ctype, c.lang);
		EXPECT_EQ(utf8_shown, c.utf8 && utf8_loads)
		    << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_ctype ? c.lc_ctype : "-") << " "
		    << (c.lang ? c.lang : "-");
	}
	// Named UTF-8, but no UTF-8 locale to ask what is printable.
	no_utf8_locale = true;
	learn_from("xx_YY.UTF-8", nullptr, nullptr);
	EXPECT_FALSE(utf8_shown);
	no_utf8_locale = false;
	learn_from("C.UTF-8", nullptr, nullptr);
}

TEST(Shown, OnlyWhatTheCLibraryKnows)
{
	// New in Unicode 15.0, which C libraries before it do not know.
	for (const char *name : {"a\U0001fae8", "\u0c95\u0cf3", "a\U0001f6dc"}) {
		const auto code = static_cast<wchar_t>(check::utf8(name)->back());
		EXPECT_EQ(plain(name, std::strlen(name), true, false),
		          utf8_shown && std::iswprint(static_cast<wint_t>(code)) &&
		              wcwidth(code) >= 0)
		    << name;
	}
	widthless = U'\u00e9';
	EXPECT_FALSE(plain("caf\u00e9", 5, true, false));
	widthless = 0;
	EXPECT_EQ(plain("caf\u00e9", 5, true, false), utf8_shown);
	// Given no cell, it needs a base as a mark does.
	cellless = U'\u00e9';
	EXPECT_EQ(plain("caf\u00e9", 5, true, false), utf8_shown);
	EXPECT_FALSE(plain("caf \u00e9", 6, true, false));
	// A blank too.
	cellless = U'\u3000';
	EXPECT_EQ(plain("ab\u3000", 5, true, false), utf8_shown);
	EXPECT_FALSE(plain("a \u3000", 5, true, false));
	cellless = 0;
}

TEST(Shown, EveryScriptAsItIsAndWhatHidesQuoted)
{
	struct Case {
		const char *name;
		bool as_is;
	};
	static const Case cases[] = {
	    {"café", true},
	    {"Привет", true},
	    {"日本語", true},
	    {"नमस्ते", true},
	    {"می\u200cخواهم", true},
	    {"👨\u200d👩\u200d👧", true},
	    {"❤\ufe0f", true},
	    {"👩\u200d❤\ufe0f\u200d👨", true},
	    {"a b", true},
	    {"🇫🇷", true},
	    {"ߊ", true},
	    {"ｱｲｳ", true},
	    {"ＡＢＣ", true},
	    {"x\u0301", true},
	    {"$HOME", true},
	    {"soft\u00adhyphen", false},
	    {"grapheme\u034fjoiner", false},
	    {"\u115ffiller", false},
	    {"khmer\u17b4", false},
	    {"mongolian\u180b", false},
	    {"music\U0001d173", false},
	    {"report.pdf\U000e0072\U000e006d", false},
	    {"a\ufe0f", false},
	    {"a\u200db", false},
	    {"\u4e2d\u200d\u200d\u4e2d", false},
	    {"un\u0378", false},
	    {"non\ufdd0", false},
	    {"non\uffff", false},
	    {"ab ", false},
	    {"ab\u00a0", false},
	    {"ab\u3000", false},
	    {"ab\u2800", false},
	    // a blank is last whatever shows nothing after it
	    {"ab\u00a0\ufe0f", false},
	    {"ab\u3000\ufe0f", false},
	    {"ab\u2800\ufe00", false},
	    {"\u00a0\ufe0f", false},
	    {"ab\u00a0\u200d", false},
	    {"ab \u0301", false},
	    {"ab\u00a0\u0301\ufe0f", false},
	    {"a\u00a0\ufe0fb", false},
	    {"a\u00a0\u200d\u4e2d", false},
	    {"\u4e2d\u200d\u3000b", false},
	    {"a\u00a0b", true},
	    {"ab\u00a0x\u0301", true},
	    // like a slash, so that no wrapped row reads as another path
	    {"d\u2215secret.key", false},
	    {"d\u2044x", false},
	    {"d\uff0fx", false},
	    {"d\u29f8x", false},
	    {"d\u2571x", false},
	    {"d\u1735x", false},
	    {"d\U0001d23ax", false},
	    // a slash look-alike of Japanese, among Japanese only
	    {"\u30ce\u30fc\u30c8", true},
	    {"\u5199\u771f\u30ce\u30fc\u30c8", true},
	    {"\u30ce\u3099", true},
	    {"\uff89\uff70\uff84", false},
	    {"\u4e3f", false},
	    {"\u66f8\u985e\uff89\u79d8\u5bc6\u9375.pem", false},
	    {"\u66f8\u985e\u4e3f\u79d8\u5bc6\u9375.pem", false},
	    {"a\u31d2b", false},
	    {"t\uff89id_rsa", false},
	    {"t\u30ceid_rsa", false},
	    {"..\uff89..", false},
	    {"2024\u30ce\u30fc\u30c8", false},
	    {"\u5199\u30ce\u00e9", false},
	    {"d\u2cc7secret.key", false},
	    // no name reads as . or .. but those two
	    {"\u2024", false},
	    {"\u2024\u2024", false},
	    {".\u2024", false},
	    {"\u2025", false},
	    {"\uff0e\uff0e", false},
	    {"\ua4f8", false},
	    {"\u2024\ufe0f\u2024", false},
	    {"...", true},
	    {"\u0660", false},
	    {"\u2840", false},
	    {"\u2804\u2804", false},
	    {".\u2840", false},
	    {"\ufffc", false},
	    {"\u00b7\u00b7", false},
	    {"\U0001d16d", false},
	    {"\u2026", false},
	    {"\u00b7\u00b7\u00b7", true},
	    {"\u00b72", true},
	    {"\u2764", true},
	    {"Wait\u2026", true},
	    {"\u0660\u0661\u0662", true},
	    {"2019\u20132020.pdf", true},
	    {"file\u2024txt", false},
	    {"file\uff0etxt", false},
	    // nothing that hides
	    {"real.txt\ufffc", false},
	    {"\u00e9\ufe0f", false},
	    {"\u00e9\U000e0100", false},
	    {"\u4e2d\ufe00", false},
	    {"\u4e2d\U000e0100", false},
	    {"\u00e9\u200c\u00e9", false},
	    {"a\u2229\ufe00b", true},
	    {"#\ufe0f", false},
	    // marks: on a base of their own script, and of no script only as
	    // UTS #39 recommends
	    {"\u0301", false},
	    {"\u20e5", false},
	    {"\u1161", false},
	    {"\u20e5etc", false},
	    {"real.txt\u20d2", false},
	    {"ha\u3099ck.txt", false},
	    {"\u304b\u3099", true},
	    {"x\u05b7", false},
	    {"\u05d0\u05b7", true},
	    {"\u0628\u064e", true},
	    {"b\u064e", false},
	    // words of one script, or Latin with Han and kana, Bopomofo or Hangul
	    {"\u0440\u0430ypal", false},
	    {"\u0455ecret", false},
	    {"\u041c\u043e\u0441\u043a\u0432\u0430", true},
	    {"Report_\u041e\u0442\u0447\u0451\u0442.pdf", true},
	    {"K\u0131rm\u0131z\u0131", true},
	    {"Tokyo\u6771\u4eac", true},
	    {"Seoul\uc11c\uc6b8", true},
	    {"\u6771\u4eac\uc11c\uc6b8", true},
	    {"\uc11c\uc6b8\u304b\u306a", false},
	    {"Kyiv-\u041a\u0438\u0457\u0432", true},
	    // no wrapped row reads as a quoted one
	    {"log   $'t\\057id_rsa'", false},
	    {"$'", false},
	    // Korean in conjoining jamo, as macOS writes it: a vowel or final
	    // on its own needs a base, as a mark does
	    {"\u1112\u1161\u11ab\u1100\u1173\u11af", true},
	    {"a \u1175secret", false},
	    {"\u1112\u1161\u11ab\u1100\u1173\u11af.txt", true},
	    {"\u0915\u094d\u200d\u0937", true},
	    {"\u0915\u094d\u200d", false},
	    {"\u200e", false},
	    {"\x01", false},
	    {"\xdf", false},
	    {"\xef\xbd", false},
	    {"\xf4\x90\x80\x80", false},
	};
	// Where no UTF-8 locale loads (qemu-user with the host's locales of
	// the other byte order), only ASCII.
	for (const Case &c : cases) {
		const std::string name = c.name;
		const bool ascii = name.find_first_not_of(check::ascii) == std::string::npos;
		EXPECT_EQ(plain(c.name, name.size(), true, false), c.as_is && (utf8_shown || ascii))
		    << c.name;
	}
}

// The fields of each line of data of one of Unicode's files that the
// tables are made from, comments left out.
std::vector<std::vector<std::string>> unicode_file(const std::string &name)
{
	std::ifstream file(std::string(UNICODE_DATA) + "/" + name);
	EXPECT_TRUE(file) << UNICODE_DATA << "/" << name;
	std::vector<std::vector<std::string>> lines;
	for (std::string line; std::getline(file, line);) {
		line = line.substr(0, line.find('#'));
		std::vector<std::string> fields;
		std::istringstream split(line);
		for (std::string field; std::getline(split, field, ';');) {
			field.erase(0, field.find_first_not_of(' '));
			field.erase(field.find_last_not_of(' ') + 1);
			fields.push_back(field);
		}
		if (!fields.empty() && !fields[0].empty())
			lines.push_back(fields);
	}
	return lines;
}

// The code points of a field: one, or first..last, or a sequence.
std::u32string code_points(const std::string &field)
{
	std::u32string codes;
	std::istringstream parts(field);
	for (std::string part; parts >> part;) {
		const size_t dots = part.find("..");
		const auto first = static_cast<char32_t>(std::stoul(part, nullptr, 16));
		const auto last =
		    dots == std::string::npos
		        ? first
		        : static_cast<char32_t>(std::stoul(part.substr(dots + 2), nullptr, 16));
		for (char32_t code = first; code <= last; code++)
			codes += code;
	}
	return codes;
}

// The general category of every code point, two letters each.
std::string categories()
{
	std::string category(2 * 0x110000, ' ');
	for (size_t code = 0; code < 0x110000; code++)
		category.replace(2 * code, 2, "Cn");
	char32_t first = 0;
	for (const auto &fields : unicode_file("UnicodeData.txt")) {
		const char32_t code = code_points(fields[0])[0];
		// (a range is given by its first and last)
		if (fields[1].find(", Last>") == std::string::npos)
			first = code;
		for (char32_t each = first; each <= code; each++)
			category.replace(2 * each, 2, fields[2]);
	}
	return category;
}

// The locales of the C library's sources, in folder.
std::vector<std::string> locale_files(const std::string &folder)
{
	std::vector<std::string> names;
	for (const auto &entry : std::filesystem::directory_iterator(folder))
		if (entry.is_regular_file())
			names.push_back(entry.path().filename());
	return names;
}

bool shown(const std::string &text, bool starts_path = false)
{
	return plain(text.data(), text.size(), true, starts_path);
}

bool printable(char32_t code)
{
	return std::iswprint(static_cast<wint_t>(code)) != 0 &&
	       wcwidth(static_cast<wchar_t>(code)) >= 0;
}

// Each cell of the table of what may follow what, with what the rules
// around it ask met: after a virama that ends an emoji and joins the next
// letter, with a defined selector, a mark of every script.
TEST(Shown, EveryKindAfterEveryState)
{
	// what each kind leads to after each state: S start, B base, L blank,
	// V selected, J joined; - refused
	static const char *const leads[s_refused] = {
	    // never, blank, base, mark, cellless, selector, zwj, zwnj, slash
	    "-LB-----S", // at the start
	    "-LBBBVJJS", // after a base
	    "-LB-----S", // after a blank
	    "-LB---J-S", // after a selector
	    "--B------", // after a joiner
	};
	const char *const letters = "SBLVJ";
	for (int from = 0; from < s_refused; from++) {
		for (int kind = 0; kind < kinds; kind++) {
			reading read = {};
			read.now = static_cast<state>(from);
			read.before = U'\u2764';
			read.before_flags = f_virama | f_before_zwj | f_japanese;
			read.joins_on = true;
			const char32_t code = kind == k_selector ? U'\ufe0f' : U'x';
			const char_class is = {static_cast<uint8_t>(kind),
			                       uint16_t{0xffff & ~f_letter}, 0};
			const bool taken = step(read, code, is, 1);
			EXPECT_EQ(taken ? letters[read.now] : '-', leads[from][kind])
			    << "kind " << kind << " after state " << from;
		}
	}
}

// Every code point, alone as a name and between two letters: shown only
// when the C library prints it, what draws nothing or acts never, and
// alone, only what takes a cell.
TEST(Shown, EveryCodePointAloneAndBetweenLetters)
{
	const std::string category = categories();
	std::set<char32_t> ignorable;
	for (const auto &fields : unicode_file("DerivedCoreProperties.txt"))
		if (fields[1] == "Default_Ignorable_Code_Point")
			for (const char32_t code : code_points(fields[0]))
				ignorable.insert(code);
	size_t alone = 0, between = 0;
	for (char32_t code = 0x80; code <= 0x10ffff; code++) {
		if (code >= 0xd800 && code <= 0xdfff)
			continue;
		const std::string c = utf8_of(code);
		const std::string kind = category.substr(2 * code, 2);
		const bool hidden = kind == "Cn" || kind == "Cc" || kind == "Cf" || kind == "Zl" ||
		                    kind == "Zp" || ignorable.count(code) > 0;
		if (shown(c)) {
			ASSERT_TRUE(printable(code) && wcwidth(static_cast<wchar_t>(code)) > 0 &&
			            !hidden)
			    << std::hex << static_cast<uint32_t>(code);
			alone++;
		}
		if (shown("x" + c + "y") || shown("\u0915" + c + "\u0915")) {
			ASSERT_TRUE(printable(code) && !hidden)
			    << std::hex << static_cast<uint32_t>(code);
			between++;
		}
	}
	// (Fewer where the C library is older than the tables; none where no
	// UTF-8 locale loads, as under qemu-user with the host's locales of the
	// other byte order.)
	EXPECT_TRUE(!utf8_shown || alone > 250000U) << alone;
	EXPECT_TRUE(!utf8_shown || between > 250000U) << between;
}

// What takes no cell of its own, by the database (a mark) or the C
// library (width 0): after a blank or a joiner, or starting a name or a
// path, every one is quoted.
TEST(Shown, NothingOfNoWidthWithoutABase)
{
	std::set<char32_t> widthless;
	for (const auto &fields : unicode_file("UnicodeData.txt"))
		if (fields[2][0] == 'M')
			widthless.insert(code_points(fields[0])[0]);
	for (char32_t code = 0x80; code <= 0x10ffff; code++)
		if ((code < 0xd800 || code > 0xdfff) && wcwidth(static_cast<wchar_t>(code)) == 0)
			widthless.insert(code);
	for (const char32_t code : widthless) {
		const std::string c = utf8_of(code);
		for (const std::string &name :
		     {"a " + c + "b", "a\u00a0" + c + "b", "\u0915\u094d\u200d" + c, c, c + "etc"})
			ASSERT_FALSE(shown(name)) << name;
		ASSERT_FALSE(shown(c + "etc", true)) << c;
		ASSERT_FALSE(shown("/" + c + "etc", true)) << c;
	}
	EXPECT_GT(widthless.size(), 2000U);
}

// The look-alikes of a slash, as UTS #39's skeletons, the database's names
// and its CJK Strokes give them, next to letters of every kind; and of a
// dot, inside a name, or making it up.
TEST(Shown, NoLookAlikeOfASlashOrADot)
{
	std::set<char32_t> slashes, dots;
	for (const auto &fields : unicode_file("security.txt"))
		if (fields[1] == "Skeleton")
			(fields[2] == "/" ? slashes : dots).insert(code_points(fields[0])[0]);
	for (const auto &fields : unicode_file("UnicodeData.txt"))
		if ((fields[1].find("SOLIDUS") != std::string::npos &&
		     fields[1].find("REVERSE") == std::string::npos) ||
		    fields[1].rfind("CJK STROKE", 0) == 0)
			slashes.insert(code_points(fields[0])[0]);
	slashes.erase(U'/');
	for (const char32_t code : slashes) {
		const std::string c = utf8_of(code);
		for (const std::string &name : {"a" + c + "b", "a" + c, c + "b", "1" + c + "2"})
			EXPECT_FALSE(shown(name)) << name;
		EXPECT_EQ(shown("\u66f8" + c + "\u985e"), code == U'\u30ce' && utf8_shown) << c;
	}
	for (const char32_t code : dots) {
		const std::string c = utf8_of(code);
		for (const std::string &name : {c, c + c, "." + c, c + "."})
			EXPECT_FALSE(shown(name)) << name;
	}
	EXPECT_GT(slashes.size(), 50U);
	EXPECT_GT(dots.size(), 10U);
}

// Each variation sequence Unicode defines on a character beyond ASCII
// shows as its base alone does; every other selector, after any character,
// is quoted. Each emoji ZWJ sequence is shown, where the C library prints
// its characters; a joiner after anything but a virama, and before a
// letter, is quoted.
TEST(Shown, SelectorsAndJoinersOnlyInTheirSequences)
{
	std::set<std::u32string> defined;
	for (const std::string file :
	     {"StandardizedVariants.txt", "emoji/emoji-variation-sequences.txt"})
		for (const auto &fields : unicode_file(file))
			defined.insert(code_points(fields[0]));
	size_t shown_sequences = 0;
	for (const std::u32string &sequence : defined) {
		const std::string base = utf8_of(sequence[0]), selector = utf8_of(sequence[1]);
		if (sequence[0] >= 0x80) {
			EXPECT_EQ(shown(base + selector), shown(base)) << base + selector;
		}
		shown_sequences += shown(base + selector);
	}
	EXPECT_TRUE(!utf8_shown || shown_sequences > 500U) << shown_sequences;
	const char32_t selectors[] = {U'\ufe00', U'\ufe0e', U'\ufe0f', U'\u180b', U'\U000e0100'};
	std::map<char32_t, int> combining;
	for (const auto &fields : unicode_file("UnicodeData.txt"))
		combining[code_points(fields[0])[0]] = std::stoi(fields[3]);
	// (Every assigned one: the unassigned are quoted on their own.)
	const std::string category = categories();
	for (char32_t code = 0x80; code <= 0x10ffff; code++) {
		if (category.compare(2 * code, 2, "Cn") == 0 ||
		    category.compare(2 * code, 2, "Cs") == 0)
			continue;
		const std::string c = utf8_of(code);
		for (const char32_t selector : selectors) {
			if (defined.count(std::u32string{code, selector}) == 0) {
				ASSERT_FALSE(shown(c + utf8_of(selector)))
				    << std::hex << static_cast<uint32_t>(code);
			}
		}
		for (const char *joiner : {"\u200d", "\u200c"}) {
			if (combining.count(code) == 0 || combining[code] != 9) {
				ASSERT_FALSE(shown(c + joiner + "\u0915"))
				    << std::hex << static_cast<uint32_t>(code);
			}
		}
	}
	size_t emoji = 0;
	for (const auto &fields : unicode_file("emoji/emoji-zwj-sequences.txt")) {
		const std::u32string sequence = code_points(fields[0]);
		std::string name;
		bool printed = true;
		for (const char32_t code : sequence) {
			name += utf8_of(code);
			printed = printed && printable(code);
		}
		EXPECT_EQ(shown(name), printed && utf8_shown) << name;
		emoji += printed && utf8_shown;
	}
	EXPECT_TRUE(!utf8_shown || emoji > 1000U) << emoji;
}

// The month and day names of every locale of the C library: shown as they
// are, but for the words a rule here explains.
TEST(Shown, RealWordsOfEveryLocale)
{
	const std::string folder = "/usr/share/i18n/locales";
	if (!std::ifstream(folder + "/C"))
		GTEST_SKIP() << "missing: " << folder << " (Debian's locales)";
	struct Why {
		const char *why;
		std::u32string holds; // a word quoted for it holds one of these
		bool last;            // last
		size_t words;
	};
	// (counted on glibc 2.36's locales; other versions may have more)
	Why whys[] = {
	    {"a blank last", U" \u00a0", true, 0},
	    {"a format character or one that shows nothing", U"\u200b\u070f", false, 0},
	    {"a joiner that joins nothing, last", U"\u200c\u200d", true, 0},
	    {"a mark UTS #39 does not recommend, of no script", U"\u030d\u0358\u0305", false, 0},
	    {"Latin \u00e6 in a Cyrillic word", U"\u00e6\u00c6", false, 0},
	};
	std::set<std::string> words;
	const std::set<std::string> keys = {"mon",        "abmon", "alt_mon",
	                                    "ab_alt_mon", "day",   "abday"};
	for (const std::string &locale : locale_files(folder)) {
		std::ifstream file(folder + "/" + locale);
		std::string all((std::istreambuf_iterator<char>(file)), {});
		// (a line that ends in the escape character goes on in the next)
		for (size_t at = all.find("/\n"); at != std::string::npos; at = all.find("/\n", at))
			all.erase(at, 2);
		std::istringstream lines(all);
		for (std::string line; std::getline(lines, line);) {
			std::istringstream fields(line);
			std::string key, values;
			if (!(fields >> key) || keys.count(key) == 0)
				continue;
			std::getline(fields, values);
			for (size_t at = values.find('"'); at != std::string::npos;
			     at = values.find('"', values.find('"', at + 1) + 1)) {
				std::string quoted =
				    values.substr(at + 1, values.find('"', at + 1) - at - 1);
				std::string word;
				for (size_t i = 0; i < quoted.size(); i++) {
					const size_t end = quoted.find('>', i);
					if (quoted.compare(i, 2, "<U") != 0 ||
					    end == std::string::npos) {
						word += quoted[i];
						continue;
					}
					word += utf8_of(static_cast<char32_t>(std::stoul(
					    quoted.substr(i + 2, end - i - 2), nullptr, 16)));
					i = end;
				}
				if (word.find_first_not_of(check::ascii) != std::string::npos)
					words.insert(word);
			}
		}
	}
	for (const std::string &word : words) {
		if (shown(word) || !utf8_shown)
			continue;
		const std::u32string codes = *check::utf8(word);
		Why *reason = nullptr;
		for (Why &why : whys)
			if (reason == nullptr &&
			    (why.last ? why.holds.find(codes.back()) != std::u32string::npos
			              : codes.find_first_of(why.holds) != std::u32string::npos))
				reason = &why;
		ASSERT_NE(reason, nullptr) << "quoted for no reason given here: " << word;
		reason->words++;
	}
	EXPECT_GT(words.size(), 2000U);
	for (const Why &why : whys)
		std::printf("quoted for %s: %zu\n", why.why, why.words);
	EXPECT_EQ(whys[3].words, utf8_shown ? 16U : 0U);
	EXPECT_EQ(whys[4].words, utf8_shown ? 6U : 0U);
}

TEST(Message, IsOneWriteForTheLongestArgumentAnyKernelTakes)
{
	const std::string name(2 << 20, '\033');
	std::string escaped;
	for (size_t i = 0; i < name.size(); i++)
		escaped += "\\033";
	written[2].clear();
	writes[2] = 0;
	complain("cannot open directory", name.c_str(), ENOENT);
	EXPECT_EQ(writes[2], 1);
	EXPECT_TRUE(written[2] == "pathlist: cannot open directory $'" + escaped +
	                              "': No such file or directory\n");
}

} // namespace
