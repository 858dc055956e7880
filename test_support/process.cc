#include "process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace test_support {

namespace {

constexpr uid_t nobody = 65534;

bool drop_to_nobody()
{
	return setgroups(0, nullptr) == 0 && setgid(nobody) == 0 && setuid(nobody) == 0;
}

std::vector<char *> pointers(std::vector<std::string> &strings)
{
	std::vector<char *> result;
	result.reserve(strings.size() + 1);
	for (auto &s : strings)
		result.push_back(s.data());
	result.push_back(nullptr);
	return result;
}

bool overridden(const std::string &variable, const std::vector<std::string> &by)
{
	std::string name = variable.substr(0, variable.find('=') + 1);
	for (const std::string &other : by)
		if (other.compare(0, name.size(), name) == 0)
			return true;
	return false;
}

// Only what a clean valgrind log would not say: errors, and descriptors the
// program opened itself and left open (valgrind marks the ones it was given
// as inherited).
std::string valgrind_problems(const std::string &log_path)
{
	std::ifstream log(log_path);
	std::string line, problems, open_descriptor;
	bool clean_summary = false;
	while (std::getline(log, line)) {
		if (!open_descriptor.empty() &&
		    line.find("<inherited from parent>") == std::string::npos)
			problems += open_descriptor + "\n";
		open_descriptor.clear();
		if (line.find("ERROR SUMMARY: 0 errors") != std::string::npos)
			clean_summary = true;
		else if (line.find("ERROR SUMMARY:") != std::string::npos)
			problems += line + "\n";
		else if (line.find("Open file descriptor") != std::string::npos ||
		         line.find("Open AF_") != std::string::npos)
			open_descriptor = line;
	}
	problems += open_descriptor;
	if (!clean_summary && problems.empty())
		problems = "no error summary in " + log_path + "\n";
	return problems;
}

// Tells the parent why the child could not become the program.
[[noreturn]] void fail(int status_fd, int error)
{
	(void)!write(status_fd, &error, sizeof error);
	_exit(127);
}

[[noreturn]] void child(const Command &command, const char *path, int out_fd, int err_fd,
                        int exec_status_fd, std::vector<char *> &argv, std::vector<char *> &envp)
{
	if (command.stdin_closed) {
		close(0);
	} else {
		int devnull = open("/dev/null", O_RDONLY);
		if (devnull < 0 || dup2(devnull, 0) < 0)
			fail(exec_status_fd, errno);
		close(devnull);
	}
	if (command.stdout_to == Output::Closed) {
		close(1);
	} else if (command.stdout_to == Output::DevFull) {
		int full = open("/dev/full", O_WRONLY);
		if (full < 0 || dup2(full, 1) < 0)
			fail(exec_status_fd, errno);
		close(full);
	} else if (dup2(out_fd, 1) < 0) {
		fail(exec_status_fd, errno);
	}
	if (dup2(err_fd, 2) < 0)
		fail(exec_status_fd, errno);
	// Whatever the test runner left open is not the program's to close.
	if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) < 0)
		fail(exec_status_fd, errno);
	signal(SIGPIPE, command.ignore_sigpipe ? SIG_IGN : SIG_DFL);
	if (!command.working_directory.empty() && chdir(command.working_directory.c_str()) < 0)
		fail(exec_status_fd, errno);
	if (command.drop_privileges && !drop_to_nobody())
		fail(exec_status_fd, errno);
	execve(path, argv.data(), envp.data());
	fail(exec_status_fd, errno);
}

void drain(int out_fd, int err_fd, bool first_line_only, Result &result)
{
	pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
	std::string *sinks[2] = {&result.out, &result.err};
	int open_fds = (out_fd >= 0) + 1;
	if (out_fd < 0)
		fds[0].fd = -1;
	char chunk[65536];
	while (open_fds > 0) {
		if (poll(fds, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			break;
		}
		for (int i = 0; i < 2; i++) {
			if (fds[i].fd < 0 || fds[i].revents == 0)
				continue;
			ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
			if (n > 0)
				sinks[i]->append(chunk, static_cast<size_t>(n));
			bool done = n <= 0;
			if (i == 0 && first_line_only) {
				size_t newline = result.out.find('\n');
				if (newline != std::string::npos) {
					result.out.resize(newline + 1);
					done = true;
				}
			}
			if (done) {
				close(fds[i].fd);
				fds[i].fd = -1;
				open_fds--;
			}
		}
	}
}

} // namespace

bool under_valgrind()
{
	const char *value = std::getenv("TEST_UNDER_VALGRIND");
	return value != nullptr && std::strcmp(value, "1") == 0;
}

bool can_drop_privileges()
{
	if (geteuid() != 0)
		return false;
	pid_t pid = fork();
	if (pid == 0)
		_exit(drop_to_nobody() ? 0 : 1);
	int status = 0;
	return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
	       WEXITSTATUS(status) == 0;
}

Result run(const Command &command)
{
	Result result;
	// valgrind cannot start a program with an empty argument vector.
	bool valgrind = under_valgrind() && !command.empty_argv;
	char log_dir[] = "/tmp/valgrind-log-XXXXXX";
	std::string log_path;
	std::vector<std::string> args;
	if (valgrind) {
		if (mkdtemp(log_dir) == nullptr) {
			result.err = "mkdtemp failed";
			return result;
		}
		// A program run as nobody must be able to create its log here.
		if (command.drop_privileges)
			chmod(log_dir, 0777);
		log_path = std::string(log_dir) + "/log";
		args = {"/usr/bin/valgrind", "--track-fds=yes", "--log-file=" + log_path};
	}
	if (!command.empty_argv) {
		args.push_back(command.program);
		args.insert(args.end(), command.args.begin(), command.args.end());
	}
	std::string path = valgrind ? "/usr/bin/valgrind" : command.program;

	std::vector<std::string> env = command.environment;
	if (!command.empty_environment)
		for (char **e = environ; *e != nullptr; e++)
			if (!overridden(*e, command.environment))
				env.emplace_back(*e);

	std::vector<char *> argv = pointers(args); // just {nullptr} for argc == 0
	std::vector<char *> envp = pointers(env);

	int out[2], err[2], status_pipe[2];
	if (pipe2(out, O_CLOEXEC) < 0 || pipe2(err, O_CLOEXEC) < 0 ||
	    pipe2(status_pipe, O_CLOEXEC) < 0) {
		result.err = "pipe failed";
		return result;
	}
	pid_t pid = fork();
	if (pid == 0)
		child(command, path.c_str(), out[1], err[1], status_pipe[1], argv, envp);
	close(out[1]);
	close(err[1]);
	close(status_pipe[1]);
	if (pid < 0) {
		close(out[0]);
		close(err[0]);
		close(status_pipe[0]);
		result.err = "fork failed";
		return result;
	}
	int out_read = out[0];
	if (command.stdout_to != Output::Pipe) {
		close(out_read);
		out_read = -1;
	}
	drain(out_read, err[0], command.close_stdout_after_first_line, result);
	int exec_error = 0;
	if (read(status_pipe[0], &exec_error, sizeof exec_error) == sizeof exec_error)
		result.err = std::string("cannot start ") + path + ": " + std::strerror(exec_error);
	close(status_pipe[0]);

	int status = 0;
	while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
	}
	if (WIFEXITED(status))
		result.exit_status = WEXITSTATUS(status);
	else if (WIFSIGNALED(status))
		result.signal = WTERMSIG(status);
	if (valgrind) {
		result.valgrind_problems = valgrind_problems(log_path);
		unlink(log_path.c_str());
		rmdir(log_dir);
	}
	return result;
}

} // namespace test_support
