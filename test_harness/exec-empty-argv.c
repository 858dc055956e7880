// SPDX-License-Identifier: MIT
// usage: exec-empty-argv PROGRAM
// Starts PROGRAM with no arguments at all, not even its own name (argc 0),
// which no shell can do.
#include <stdio.h>
#include <unistd.h>

extern char **environ;

int main(int argc, char *argv[])
{
	if (argc != 2) {
		fputs("usage: exec-empty-argv PROGRAM\n", stderr);
		return 2;
	}
	char *none[] = {NULL};
	execve(argv[1], none, environ);
	perror(argv[1]);
	return 127;
}
