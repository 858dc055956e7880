// SPDX-License-Identifier: MIT
// usage: on-a-terminal COMMAND [ARG...]
// Runs COMMAND with its standard output on a new pseudo-terminal in raw
// mode, copies what it writes there to standard output, and exits as it
// did (128 + N for signal N). Reading until EIO lost the last kilobytes on
// a loaded machine, as Linux may say the writer is gone while its bytes
// still wait: so, once COMMAND has ended, a mark is written after its
// output, and what comes before it copied.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

static const char mark[] = "\n[on-a-terminal: end of output]\n";
enum { MARK = sizeof mark - 1 };

static int ended[2]; // a pipe: SIGCHLD writes a byte to it

static void on_child(int signal)
{
	(void)signal;
	const int saved = errno;
	(void)!write(ended[1], "", 1);
	errno = saved;
}

// failed(WHAT): says why WHAT failed; the status for a failure of this
// program's own.
static int failed(const char *what)
{
	perror(what);
	return 125;
}

static int copy(const char *bytes, size_t n)
{
	for (size_t done = 0; done < n;) {
		const ssize_t w = write(STDOUT_FILENO, bytes + done, n - done);
		if (w < 0 && errno != EINTR)
			return failed("on-a-terminal: standard output");
		done += w < 0 ? 0 : (size_t)w;
	}
	return 0;
}

int main(int argc, char *argv[])
{
	if (argc < 2) {
		fputs("usage: on-a-terminal COMMAND [ARG...]\n", stderr);
		return 125;
	}
	int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
	if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
		return failed("on-a-terminal: posix_openpt");
	int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
	struct termios mode;
	if (terminal < 0 || tcgetattr(terminal, &mode) != 0)
		return failed("on-a-terminal: the terminal");
	cfmakeraw(&mode);
	tcsetattr(terminal, TCSANOW, &mode);
	struct sigaction action = {0};
	action.sa_handler = on_child;
	action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
	if (pipe2(ended, O_CLOEXEC | O_NONBLOCK) != 0 || sigaction(SIGCHLD, &action, NULL) != 0)
		return failed("on-a-terminal: SIGCHLD");

	pid_t child = fork();
	if (child == 0) {
		dup2(terminal, STDOUT_FILENO);
		execvp(argv[1], argv + 1);
		perror(argv[1]);
		_exit(127);
	}
	if (child < 0)
		return failed("on-a-terminal: fork");
	// bytes[0, held) read, not copied: the last MARK - 1 may begin the mark.
	char bytes[(1 << 16) + MARK];
	size_t held = 0;
	int status = 0;
	for (bool marked = false;;) {
		struct pollfd ready[2] = {{master, POLLIN, 0}, {ended[0], POLLIN, 0}};
		// Interrupted, it sets no revents: the loop goes round.
		if (poll(ready, marked ? 1 : 2, -1) < 0 && errno != EINTR)
			return failed("on-a-terminal: poll");
		char signalled;
		if (!marked && ready[1].revents != 0 && read(ended[0], &signalled, 1) == 1 &&
		    waitpid(child, &status, WNOHANG) == child) {
			if (write(terminal, mark, MARK) != MARK)
				return failed("on-a-terminal: the terminal");
			marked = true;
		}
		if (ready[0].revents == 0)
			continue;
		const ssize_t n = read(master, bytes + held, sizeof bytes - held);
		if (n < 0 && errno != EINTR)
			return failed("on-a-terminal: reading the terminal");
		held += n < 0 ? 0 : (size_t)n;
		if (marked && held >= MARK && memcmp(bytes + held - MARK, mark, MARK) == 0) {
			if (copy(bytes, held - MARK) != 0)
				return 125;
			return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		}
		if (held >= MARK) {
			if (copy(bytes, held - (MARK - 1)) != 0)
				return 125;
			memmove(bytes, bytes + held - (MARK - 1), MARK - 1);
			held = MARK - 1;
		}
	}
}
