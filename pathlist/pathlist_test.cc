// SPDX-License-Identifier: MIT
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
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
// backslash, controls, stray bytes, and the UTF-8 of characters just inside
// and outside each table's ranges. The same ones every run.
std::vector<std::string> random_texts(size_t count)
{
	std::mt19937 random(20261208);
	auto pick = [&](uint32_t below) { return static_cast<uint32_t>(random() % below); };
	auto near = [&](const code_range *table, size_t size) {
		const code_range &range = table[pick(static_cast<uint32_t>(size))];
		const char32_t around[] = {range.first - 1, range.first, range.last,
		                           range.last + 1};
		return around[pick(4)];
	};
	std::vector<std::string> texts;
	for (size_t n = 0; n < count; n++) {
		std::string text;
		for (uint32_t pieces = pick(12); pieces > 0; pieces--) {
			switch (pick(13)) {
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
				text += utf8_of(near(shown, std::size(shown)));
				break;
			case 5:
				text += utf8_of(near(blank, std::size(blank)));
				break;
			case 6:
				text += utf8_of(near(joiner, std::size(joiner)));
				break;
			case 7:
				text += utf8_of(
				    near(variation_selector, std::size(variation_selector)));
				break;
			case 8:
				text += utf8_of(near(mark, std::size(mark)));
				break;
			case 9:
				text += utf8_of(near(slash_among_own, std::size(slash_among_own)));
				break;
			case 10:
				text += utf8_of(near(japanese, std::size(japanese)));
				break;
			case 11:
				text += utf8_of(near(dot_like, std::size(dot_like)));
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

TEST(Shown, AgreesWithTheTablesAndTheCLibrary)
{
	for (const std::string &text : random_texts(100000))
		for (const bool ends_line : {false, true})
			for (const bool starts_path : {false, true})
				ASSERT_EQ(plain(text.data(), text.size(), ends_line, starts_path),
				          check::shown_as_is(text, ends_line, starts_path))
				    << ends_line << starts_path << " " << text;
}

TEST(Shown, NothingBeyondAsciiOnATerminalThatIsNotUtf8)
{
	learn_from("C", nullptr, nullptr);
	for (const std::string &text : random_texts(20000)) {
		const bool ascii = text.find_first_not_of(check::ascii) == std::string::npos;
		ASSERT_EQ(plain(text.data(), text.size(), true, false),
		          ascii && check::shown_as_is(text, true))
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
	for (const char *name : {"a\U0001fae8", "a\u0cf3", "a\U0001f6dc"}) {
		const char32_t code = check::utf8(name)->back();
		EXPECT_EQ(plain(name, std::strlen(name), true, false),
		          utf8_shown && check::printable(code))
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
	    {"\uff89\uff70\uff84", true},
	    {"\u5199\u771f\u30ce\u30fc\u30c8", true},
	    {"\u4e3f", true},
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
	    {"file\u2024txt", true},
	    // Korean in conjoining jamo, as macOS writes it: a vowel or final
	    // on its own needs a base, as a mark does
	    {"\u1112\u1161\u11ab\u1100\u1173\u11af", true},
	    {"a \u1175secret", false},
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

TEST(Shown, NothingOfNoWidthWithoutABase)
{
	// What the database gives no cell of its own, then what the C library
	// gives width 0: after a blank or a joiner, or starting a path, every
	// one is quoted.
	std::vector<char32_t> widthless_codes;
	for (const code_range &range : mark)
		for (char32_t code = range.first; code <= range.last; code++)
			widthless_codes.push_back(code);
	for (char32_t code = 0x80; code <= 0x10ffff; code++)
		if ((code < 0xd800 || code > 0xdfff) && wcwidth(static_cast<wchar_t>(code)) == 0)
			widthless_codes.push_back(code);
	size_t sure = 0;
	for (const char32_t code : widthless_codes) {
		const std::string c = utf8_of(code);
		for (const std::string &name :
		     {"a " + c + "b", "a\u00a0" + c + "b", "\u4e2d\u200d" + c + "b"})
			ASSERT_FALSE(plain(name.data(), name.size(), true, false)) << name;
		const std::string path = c + "etc";
		ASSERT_FALSE(plain(path.data(), path.size(), false, true)) << path;
		ASSERT_FALSE(plain(path.data(), path.size(), true, true)) << path;
		sure++;
	}
	EXPECT_GT(sure, 2000U);
}

// The slash look-alikes as Unicode's data give them, derived here apart
// from the tables: what the confusables take for a slash, what decomposes
// to one, every SOLIDUS but a reverse one, and what is the same as any of
// these by compatibility decomposition (NFKC) or by a case mapping.
std::set<char32_t> slash_look_alikes(const std::string &database, const std::string &confusables)
{
	std::map<char32_t, std::u32string> decomposition;
	std::map<char32_t, std::vector<char32_t>> cases;
	std::set<char32_t> found;
	std::ifstream data(database);
	for (std::string line; std::getline(data, line);) {
		std::vector<std::string> field;
		std::istringstream fields(line);
		for (std::string each; std::getline(fields, each, ';');)
			field.push_back(each);
		field.resize(15);
		const auto code = static_cast<char32_t>(std::stoul(field[0], nullptr, 16));
		std::istringstream parts(field[5]);
		for (std::string part; parts >> part;)
			if (part[0] != '<')
				decomposition[code] +=
				    static_cast<char32_t>(std::stoul(part, nullptr, 16));
		for (int i = 12; i < 15; i++)
			if (!field[i].empty())
				cases[code].push_back(
				    static_cast<char32_t>(std::stoul(field[i], nullptr, 16)));
		const size_t solidus = field[1].find("SOLIDUS");
		if (solidus != std::string::npos &&
		    field[1].find("REVERSE SOLIDUS") == std::string::npos)
			found.insert(code);
	}
	std::map<char32_t, std::u32string> form;
	auto full = [&](auto &self, char32_t code) -> std::u32string {
		const auto mapping = decomposition.find(code);
		if (mapping == decomposition.end())
			return std::u32string(1, code);
		std::u32string result;
		for (const char32_t part : mapping->second)
			result += self(self, part);
		return result;
	};
	for (const auto &[code, mapping] : decomposition)
		form[code] = full(full, code);
	auto form_of = [&](char32_t code) {
		const auto known_form = form.find(code);
		return known_form == form.end() ? std::u32string(1, code) : known_form->second;
	};
	for (const auto &[code, mapping] : form)
		if (mapping == U"/")
			found.insert(code);
	// In the confusables' JSON, the entries of the key "/", each {"c": "..."}
	// with \u escapes; direction marks around one are left out.
	std::ifstream json(confusables);
	const std::string text((std::istreambuf_iterator<char>(json)), {});
	size_t at = text.find("\"/\": [");
	const size_t end = text.find(']', at);
	while ((at = text.find("\"c\": \"", at)) < end) {
		std::u32string c;
		for (at += 6; text[at] != '"'; at += 6) {
			char32_t unit =
			    static_cast<char32_t>(std::stoul(text.substr(at + 2, 4), nullptr, 16));
			if (unit >= 0xd800 && unit < 0xdc00) {
				at += 6;
				unit = 0x10000 + ((unit - 0xd800) << 10) +
				       (static_cast<char32_t>(
				            std::stoul(text.substr(at + 2, 4), nullptr, 16)) -
				        0xdc00);
			}
			if (unit != 0x200e && unit != 0x200f)
				c += unit;
		}
		if (c.size() == 1)
			found.insert(c[0]);
	}
	for (size_t before = 0; before != found.size();) {
		before = found.size();
		std::set<std::u32string> forms;
		for (const char32_t code : found)
			forms.insert(form_of(code));
		for (const auto &[code, mapping] : form)
			if (forms.count(mapping) > 0)
				found.insert(code);
		for (const auto &[code, mapped] : cases)
			for (const char32_t each : mapped)
				if (found.count(each) > 0)
					found.insert(code);
	}
	found.erase(U'/');
	return found;
}

TEST(Shown, NoSlashLookAlikeNextToALatinLetter)
{
	const std::string database = "/usr/share/unicode/UnicodeData.txt";
	const std::string confusables =
	    "/usr/lib/python3/dist-packages/confusable_homoglyphs/confusables.json";
	for (const std::string &file : {database, confusables})
		if (!std::ifstream(file))
			GTEST_SKIP()
			    << "missing: " << file
			    << " (Debian's unicode-data and python3-confusable-homoglyphs)";
	const std::set<char32_t> look_alikes = slash_look_alikes(database, confusables);
	for (const char32_t code :
	     {U'\u2215', U'\u2cc6', U'\u2cc7', U'\u30ce', U'\uff89', U'\u4e3f'})
		EXPECT_EQ(look_alikes.count(code), 1U) << std::hex << static_cast<uint32_t>(code);
	for (const char32_t code : look_alikes) {
		const std::string c = utf8_of(code);
		for (const std::string &name : {"a" + c + "b", "a" + c, c + "b"})
			EXPECT_FALSE(plain(name.data(), name.size(), true, false)) << name;
	}
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
