// SPDX-License-Identifier: MIT
// usage: c-library-shows <PATHS
// Of the NUL-ended paths read, writes NUL-ended those that hold what the C
// library, in the environment's locale, cannot decode or takes for not
// printable (iswprint, wcwidth); exits 1 if any, 0 if none.
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

// Whether every character of text, of length bytes, is printable.
static int printable(const char *text, size_t length)
{
	mbstate_t state;
	memset(&state, 0, sizeof state);
	for (size_t at = 0; at < length;) {
		wchar_t c;
		const size_t size = mbrtowc(&c, text + at, length - at, &state);
		if (size == 0 || size > length - at || !iswprint((wint_t)c) || wcwidth(c) < 0)
			return 0;
		at += size;
	}
	return 1;
}

int main(void)
{
	if (setlocale(LC_CTYPE, "") == NULL) {
		fputs("c-library-shows: the locale of the environment is not installed\n", stderr);
		return 2;
	}
	char *path = NULL;
	size_t room = 0;
	int status = 0;
	ssize_t length;
	while ((length = getdelim(&path, &room, '\0', stdin)) > 0) {
		if (path[length - 1] == '\0')
			length--;
		if (!printable(path, (size_t)length)) {
			fwrite(path, 1, (size_t)length + 1, stdout);
			status = 1;
		}
	}
	free(path);
	return ferror(stdin) || fflush(stdout) != 0 ? 2 : status;
}
