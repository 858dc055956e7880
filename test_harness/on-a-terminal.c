// SPDX-License-Identifier: MIT
// usage: on-a-terminal COMMAND [ARG...]
// Runs COMMAND with its standard output on a new pseudo-terminal, in raw
// mode so that its bytes pass unchanged, copies what it writes there to this
// program's standard output, and exits as COMMAND did (128 + N for signal N).
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
	if (argc < 2) {
		fputs("usage: on-a-terminal COMMAND [ARG...]\n", stderr);
		return 125;
	}
	int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
	if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
		perror("on-a-terminal: posix_openpt");
		return 125;
	}
	int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
	struct termios mode;
	if (terminal < 0 || tcgetattr(terminal, &mode) != 0) {
		perror("on-a-terminal: the terminal");
		return 125;
	}
	cfmakeraw(&mode);
	tcsetattr(terminal, TCSANOW, &mode);

	pid_t child = fork();
	if (child == 0) {
		dup2(terminal, STDOUT_FILENO);
		execvp(argv[1], argv + 1);
		perror(argv[1]);
		_exit(127);
	}
	close(terminal);
	// Once the last holder of the terminal has closed it, reading its other
	// end fails with EIO: the end of what COMMAND wrote. Any other failure
	// would cut the copy short, and is said.
	char bytes[1 << 16];
	ssize_t n;
	while ((n = read(master, bytes, sizeof bytes)) != 0) {
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0 && errno == EIO)
			break;
		if (n < 0) {
			perror("on-a-terminal: reading the terminal");
			return 125;
		}
		for (ssize_t done = 0; done < n;) {
			const ssize_t w = write(STDOUT_FILENO, bytes + done, (size_t)(n - done));
			if (w < 0 && errno == EINTR)
				continue;
			if (w < 0) {
				perror("on-a-terminal: standard output");
				return 125;
			}
			done += w;
		}
	}
	int status;
	if (child < 0 || waitpid(child, &status, 0) != child)
		return 125;
	return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
