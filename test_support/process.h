// Runs a built program as a child process, the way a user or a script would,
// and collects what it wrote and how it ended. With TEST_UNDER_VALGRIND=1 in
// the environment every run goes through valgrind, and a memory error or a
// descriptor left open by the program fails the run.
#pragma once

#include <string>
#include <vector>

namespace test_support {

enum class Output { Pipe, DevFull, Closed };

struct Command {
	std::string program;
	std::vector<std::string> args; // argv[1] onwards
	bool empty_argv = false;       // exec with argc == 0
	bool empty_environment = false;
	std::vector<std::string> environment; // NAME=value, over the inherited ones
	std::string working_directory;        // empty: the test's own
	bool stdin_closed = false;            // otherwise /dev/null
	Output stdout_to = Output::Pipe;
	bool close_stdout_after_first_line = false; // like `| head -1`
	bool ignore_sigpipe = false;
	bool drop_privileges = false; // run as nobody (needs root)
};

struct Result {
	int exit_status = -1; // -1 when ended by a signal
	int signal = 0;
	std::string out;
	std::string err;
	std::string valgrind_problems; // empty unless valgrind saw errors or open descriptors
};

Result run(const Command &command);

// Whether this process may switch to the unprivileged user for a child.
bool can_drop_privileges();

bool under_valgrind();

} // namespace test_support
