// SPDX-License-Identifier: MIT
// A libFuzzer target (clang -fsanitize=fuzzer): for every name, the line a
// UTF-8 terminal gets is the name as it is, valid UTF-8 that the C library
// prints and whose first character takes a cell, or one $'...' word of
// printable ASCII that reads back to it.
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <unistd.h>

static std::string written;
static ssize_t kept(int /*fd*/, const void *bytes, size_t count)
{
	written.append(static_cast<const char *>(bytes), count);
	return static_cast<ssize_t>(count);
}
#define main pathlist_main
#define write kept
#include "pathlist.cpp" // NOLINT(bugprone-suspicious-include): the program under test
#undef write
#undef main
#include "quoting_check.h"

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/)
{
	setenv("LC_ALL", "C.UTF-8", 1);
	learn_charset();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string name(reinterpret_cast<const char *>(data), size);
	if (name.empty()) // no entry of a directory
		return 0;
	written.clear();
	show("d", 1, true, name.data(), name.size());
	const std::string line = written.substr(0, written.size() - 1);
	const bool as_is = line.compare(0, 2, "$'") != 0;
	if (written.back() != '\n' ||
	    (as_is ? line != "d/" + name : check::unquote(line) != "d/" + name))
		__builtin_trap();
	if (!as_is)
		return 0;
	const std::optional<std::u32string> codes = check::utf8(name);
	if (!codes || codes->empty() || wcwidth(static_cast<wchar_t>(codes->front())) < 1)
		__builtin_trap();
	for (const char32_t code : *codes)
		if (code < 0x20 || code == 0x7f || !std::iswprint(static_cast<wint_t>(code)))
			__builtin_trap();
	return 0;
}
