// SPDX-License-Identifier: MIT
// A libFuzzer target (clang -fsanitize=fuzzer): for every name, the line a
// UTF-8 terminal gets is the name as it is, when the tables and the C
// library let it be shown, or one $'...' word of printable ASCII that
// reads back to it.
#include <cstdint>
#include <cstdlib>
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
	written.clear();
	show("d", 1, true, name.data(), name.size());
	const std::string line = written.substr(0, written.size() - 1);
	const bool as_is = check::shown_as_is(name, true);
	if (written.back() != '\n' || as_is != plain(name.data(), name.size(), true, false) ||
	    check::shown_as_is(name, false, true) != plain(name.data(), name.size(), false, true))
		__builtin_trap();
	if (as_is ? line != "d/" + name : check::unquote(line) != "d/" + name)
		__builtin_trap();
	return 0;
}
