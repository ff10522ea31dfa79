#include "platform_child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform_wait.h"

static std::string slurp(const std::filesystem::path& path)
{
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Between fork and exec the child only makes system calls: the test process
// has other threads, whose locks the child would inherit held.
static void exec_child(char** args, const char* out, const char* err)
{
  int in = open("/dev/null", O_RDONLY);
  int outFd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int errFd = open(err, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || outFd < 0 || errFd < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0)
    _exit(126);
  execv(args[0], args);
  _exit(127);
}

ChildResult run_child(const std::vector<std::string>& argv, std::chrono::milliseconds limit)
{
  char pattern[] = "/tmp/platform-child-XXXXXX";
  std::filesystem::path dir = mkdtemp(pattern);
  std::string out = dir / "out", err = dir / "err";
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  ChildResult result;
  pid_t pid = fork();
  if (pid == 0)
    exec_child(args.data(), out.c_str(), err.c_str());
  int status = 0;
  bool ended = pid > 0 && wait_for([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
  if (pid > 0 && !ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  if (ended && WIFEXITED(status)) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  }
  result.out = slurp(out);
  result.err = slurp(err);
  std::filesystem::remove_all(dir);
  return result;
}
