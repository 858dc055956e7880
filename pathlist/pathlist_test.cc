#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "process.h"

namespace {

using test_support::Command;
using test_support::Output;
using test_support::Result;
using test_support::run;

// A fresh folder, removed with everything in it at the end: in TMPDIR, or
// else in memory where the system offers it, as making thousands of files on
// some disks takes seconds. It is open to all so that a run as nobody can
// reach the directories inside.
struct TempDir {
	std::string path;
	TempDir()
	{
		const char *base = std::getenv("TMPDIR");
		if (base == nullptr || *base == '\0')
			base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
		std::string name = std::string(base) + "/pathlist-test-XXXXXX";
		if (mkdtemp(name.data()) == nullptr || chmod(name.c_str(), 0755) != 0)
			ADD_FAILURE() << "cannot make a temporary folder: " << std::strerror(errno);
		path = name;
	}
	~TempDir()
	{
		nftw(
		    path.c_str(),
		    [](const char *file, const struct stat *, int kind, FTW *) {
			    if (kind == FTW_DP) {
				    chmod(file, 0700);
				    return rmdir(file);
			    }
			    return unlink(file);
		    },
		    16, FTW_DEPTH | FTW_PHYS);
	}
	TempDir(const TempDir &) = delete;
	TempDir &operator=(const TempDir &) = delete;
};

std::string make_dir(const std::string &path, mode_t mode = 0755)
{
	if (mkdir(path.c_str(), mode) != 0)
		ADD_FAILURE() << "mkdir " << path << ": " << std::strerror(errno);
	return path;
}

void make_file(const std::string &path)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
	if (fd < 0)
		ADD_FAILURE() << "create " << path << ": " << std::strerror(errno);
	else
		close(fd);
}

// The directory's entries in the order the kernel hands them out, read with
// the raw system call rather than the C library the program uses.
std::vector<std::string> kernel_entries(const std::string &dir)
{
	std::vector<std::string> names;
	int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0) {
		ADD_FAILURE() << "open " << dir << ": " << std::strerror(errno);
		return names;
	}
	alignas(8) char records[1 << 16];
	long n;
	while ((n = syscall(SYS_getdents64, fd, records, sizeof records)) > 0) {
		struct record { // as getdents64 lays it out, the name running on
			ino64_t inode;
			off64_t offset;
			unsigned short length;
			unsigned char type;
			char name[1];
		};
		for (long at = 0; at < n;) {
			names.emplace_back(records + at + offsetof(record, name));
			at += reinterpret_cast<const record *>(records + at)->length;
		}
	}
	if (n < 0)
		ADD_FAILURE() << "getdents64 " << dir << ": " << std::strerror(errno);
	close(fd);
	return names;
}

std::string listing(const std::string &dirname, const std::vector<std::string> &names)
{
	std::string text;
	for (const std::string &name : names)
		text += dirname + "/" + name + "\n";
	return text;
}

// Names that trip up careless code: spaces, option-like and format-like
// names, a newline, every byte from 0x80 up, the longest name allowed, and
// entries of other kinds, which are listed and not entered. Made relative to
// the directory, whose own path may leave no room for a name.
void fill_with_awkward_names(const std::string &dir)
{
	int at = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	ASSERT_GE(at, 0) << dir << ": " << std::strerror(errno);
	std::string high_bytes;
	for (int byte = 0x80; byte <= 0xff; byte++)
		high_bytes += static_cast<char>(byte);
	for (const std::string &name :
	     {std::string("a space"), std::string(" "), std::string("-n"), std::string("--help"),
	      std::string("%s%n%d"), std::string("line\nbreak"), std::string("\\"),
	      std::string(".hidden"), std::string("..."), high_bytes, std::string(255, 'x')}) {
		int fd = openat(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
		EXPECT_GE(fd, 0) << "create " << name << ": " << std::strerror(errno);
		close(fd);
	}
	EXPECT_EQ(mkdirat(at, "subdirectory", 0755), 0);
	EXPECT_EQ(
	    close(openat(at, "subdirectory/not-listed", O_WRONLY | O_CREAT | O_CLOEXEC, 0644)), 0);
	EXPECT_EQ(symlinkat("/nonexistent", at, "dangling link"), 0);
	close(at);
}

// A directory whose path is about `length` bytes: nested folders of 200.
std::string deep_dir(const std::string &base, size_t length)
{
	std::string path = base;
	while (path.size() + 201 <= length)
		path = make_dir(path + "/" + std::string(200, 'd'));
	return make_dir(path + "/" + std::string(length - path.size() - 1, 'e'));
}

Command pathlist(std::vector<std::string> args)
{
	return Command{.program = PATHLIST_BINARY, .args = std::move(args)};
}

void expect_success(const Result &r, const std::string &out, const std::string &what)
{
	EXPECT_EQ(r.exit_status, 0) << what;
	EXPECT_EQ(r.err, "") << what;
	EXPECT_TRUE(r.out == out) << what << ": output differs";
	EXPECT_EQ(r.valgrind_problems, "") << what;
}

void expect_failure(const Result &r, const std::string &out, const std::string &err,
                    const std::string &what)
{
	EXPECT_EQ(r.exit_status, 1) << what;
	EXPECT_EQ(r.err, err) << what;
	EXPECT_TRUE(r.out == out) << what << ": output differs";
	EXPECT_EQ(r.valgrind_problems, "") << what;
}

TEST(Listing, WritesEveryEntryByteForByte)
{
	TempDir tmp;
	std::string empty = make_dir(tmp.path + "/empty");
	std::string awkward = make_dir(tmp.path + "/awkward");
	fill_with_awkward_names(awkward);
	std::string deep = deep_dir(tmp.path, 4000);
	fill_with_awkward_names(deep);
	ASSERT_GE(deep.size(), 3990u);

	struct Case {
		const char *what;
		std::string dir;     // what is listed
		std::string dirname; // how it is named on the command line
		std::string working_directory;
	};
	const Case cases[] = {
	    {"awkward names", awkward, awkward, ""},
	    {"awkward names under a 4000-byte path", deep, deep, ""},
	    {"a trailing slash is kept, and another added", awkward, awkward + "/", ""},
	    {"a relative path is used unchanged", awkward, ".", awkward},
	    {"so is a path with dot-dot in it", awkward, "../awkward", empty},
	    {"and the root", "/", "/", ""},
	};
	for (const Case &c : cases) {
		Command command = pathlist({c.dirname});
		command.working_directory = c.working_directory;
		expect_success(run(command), listing(c.dirname, kernel_entries(c.dir)), c.what);
	}
}

TEST(Listing, OfAnEmptyDirectoryIsDotAndDotDot)
{
	TempDir tmp;
	std::string empty = make_dir(tmp.path + "/empty");
	Result r = run(pathlist({empty}));
	EXPECT_EQ(r.exit_status, 0);
	EXPECT_TRUE(r.out == empty + "/.\n" + empty + "/..\n" ||
	            r.out == empty + "/..\n" + empty + "/.\n")
	    << r.out;
}

TEST(Arguments, TheFirstIsTheDirectoryAndEtcTheDefault)
{
	TempDir tmp;
	std::string first = make_dir(tmp.path + "/first");
	make_file(first + "/only here");
	std::string etc = listing("/etc", kernel_entries("/etc"));

	expect_success(run(pathlist({})), etc, "no argument");
	expect_success(run(pathlist({first, "/etc", "-x"})), listing(first, kernel_entries(first)),
	               "later arguments are ignored");
	Command no_argv = pathlist({});
	no_argv.empty_argv = true;
	expect_success(run(no_argv), etc, "an empty argument vector");
}

TEST(Failure, ADirectoryThatCannotBeOpened)
{
	TempDir tmp;
	std::string file = tmp.path + "/file";
	make_file(file);
	std::string too_long(5000, 'x');
	struct Case {
		std::string dirname;
		const char *reason;
	};
	const Case cases[] = {
	    {tmp.path + "/missing", "No such file or directory"},
	    {"", "No such file or directory"},
	    {file, "Not a directory"},
	    {"/dev/null", "Not a directory"},
	    {file + "/below a file", "Not a directory"},
	    {too_long, "File name too long"},
	};
	for (const Case &c : cases)
		expect_failure(run(pathlist({c.dirname})), "",
		               "pathlist: cannot open directory '" + c.dirname + "': " + c.reason +
		                   "\n",
		               c.dirname.substr(0, 80));
}

TEST(Failure, AnUnreadableDirectory)
{
	TempDir tmp;
	std::string locked = make_dir(tmp.path + "/locked", 0);
	Command command = pathlist({locked});
	if (geteuid() == 0) {
		if (!test_support::can_drop_privileges())
			GTEST_SKIP() << "running as root and cannot switch to nobody";
		command.drop_privileges = true;
	}
	expect_failure(run(command), "",
	               "pathlist: cannot open directory '" + locked + "': Permission denied\n",
	               "mode 000");
}

// Runs pathlist on dirname with the readdir fault library preloaded and
// told what to do by `settings` (READDIR_FAULT_...=value).
Result run_with_faults(const TempDir &tmp, const std::string &dirname,
                       std::vector<std::string> settings)
{
	std::string marker = tmp.path + "/fault-library-loaded";
	unlink(marker.c_str());
	// AddressSanitizer wants to be the first library; here it comes second.
	std::string asan_options = "verify_asan_link_order=0";
	if (const char *inherited = std::getenv("ASAN_OPTIONS"))
		asan_options = std::string(inherited) + ":" + asan_options;
	Command command = pathlist({dirname});
	command.environment = std::move(settings);
	command.environment.insert(command.environment.end(), {"LD_PRELOAD=" READDIR_FAULT_LIBRARY,
	                                                       "READDIR_FAULT_LOADED=" + marker,
	                                                       "ASAN_OPTIONS=" + asan_options});
	Result r = run(command);
	EXPECT_EQ(access(marker.c_str(), F_OK), 0) << "the readdir fault library was not loaded";
	return r;
}

TEST(Failure, AReadThatFailsMidway)
{
	TempDir tmp;
	std::string dir = make_dir(tmp.path + "/dir");
	for (int i = 0; i < 10; i++)
		make_file(dir + "/file" + std::to_string(i));
	std::vector<std::string> entries = kernel_entries(dir);
	for (int after : {0, 3, 11}) {
		Result r =
		    run_with_faults(tmp, dir, {"READDIR_FAULT_AFTER=" + std::to_string(after)});
		std::vector<std::string> read(entries.begin(), entries.begin() + after);
		expect_failure(r, listing(dir, read),
		               "pathlist: reading directory '" + dir + "': Input/output error\n",
		               "after " + std::to_string(after) + " entries");
	}
}

TEST(Listing, NamesLongerThanAnyFileSystemAllowsAreWrittenWhole)
{
	TempDir tmp;
	std::string shallow = make_dir(tmp.path + "/shallow");
	std::string deep = deep_dir(tmp.path, 4000);
	struct Case {
		std::string dir;
		size_t name_length;
	};
	for (const Case &c : {Case{shallow, 300}, Case{shallow, 5000}, Case{deep, 300}}) {
		std::vector<std::string> names = kernel_entries(c.dir);
		names.push_back(std::string(c.name_length, 'n'));
		expect_success(
		    run_with_faults(tmp, c.dir,
		                    {"READDIR_FAULT_LONG_NAME=" + std::to_string(c.name_length)}),
		    listing(c.dir, names), "a name of " + std::to_string(c.name_length) + " bytes");
	}
}

// Enough output to fill a pipe and the program's buffer several times over.
std::string big_dir(const TempDir &tmp)
{
	std::string dir = make_dir(tmp.path + "/big");
	for (int i = 0; i < 5000; i++)
		make_file(dir + "/cache-entry-" + std::to_string(1000000 + i) + "-abcdef");
	return dir;
}

TEST(Failure, OutputThatCannotBeWritten)
{
	TempDir tmp;
	std::string small = make_dir(tmp.path + "/small");
	std::string big = big_dir(tmp);
	struct Case {
		Output to;
		const char *reason;
	};
	for (const std::string &dir : {small, big}) {
		for (const Case &c : {Case{Output::DevFull, "No space left on device"},
		                      Case{Output::Closed, "Bad file descriptor"}}) {
			// valgrind takes a closed descriptor 1 for its own files.
			if (c.to == Output::Closed && test_support::under_valgrind())
				continue;
			Command command = pathlist({dir});
			command.stdout_to = c.to;
			expect_failure(run(command), "",
			               std::string("pathlist: write error: ") + c.reason + "\n",
			               dir + " " + c.reason);
		}
	}
}

TEST(Failure, AReaderThatGoesAway)
{
	TempDir tmp;
	std::string big = big_dir(tmp);
	std::string first_line = listing(big, {kernel_entries(big).front()});

	Command head = pathlist({big});
	head.close_stdout_after_first_line = true;
	Result r = run(head);
	EXPECT_EQ(r.signal, SIGPIPE) << "exit status " << r.exit_status;
	EXPECT_EQ(r.out, first_line);
	EXPECT_EQ(r.err, "");

	head.ignore_sigpipe = true;
	expect_failure(run(head), first_line, "pathlist: write error: Broken pipe\n",
	               "SIGPIPE ignored");
}

TEST(Listing, ADirectoryThatChangesUnderneath)
{
	TempDir tmp;
	std::string dir = big_dir(tmp);
	pid_t churn = fork();
	ASSERT_GE(churn, 0);
	if (churn == 0) {
		prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a test that crashed
		for (unsigned long i = 0;; i++) {
			std::string name = dir + "/churn-" + std::to_string(i % 500);
			int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
			if (fd >= 0)
				close(fd);
			unlink((dir + "/churn-" + std::to_string((i + 250) % 500)).c_str());
		}
	}
	const int runs = test_support::under_valgrind() ? 3 : 30;
	for (int i = 0; i < runs; i++) {
		Result r = run(pathlist({dir}));
		EXPECT_EQ(r.exit_status, 0);
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.valgrind_problems, "");
		EXPECT_NE(("\n" + r.out).find("\n" + dir + "/.\n"), std::string::npos);
		EXPECT_NE(("\n" + r.out).find("\n" + dir + "/..\n"), std::string::npos);
	}
	kill(churn, SIGKILL);
	waitpid(churn, nullptr, 0);
}

} // namespace
