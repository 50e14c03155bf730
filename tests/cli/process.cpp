#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char **environ;

namespace ocam_test {

Process::Process(const std::string &program, const std::vector<std::string> &args,
                 const ProcessOptions &options) {
  // Everything the child needs is prepared here: after fork it may only make
  // async-signal-safe calls.
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool drop = false;
    for (const std::string &u : options.unset) drop = drop || name == u;
    for (const std::string &o : options.environment)
      drop = drop || o.substr(0, o.find('=')) == name;
    if (!drop) env.push_back(entry);
  }
  env.insert(env.end(), options.environment.begin(), options.environment.end());
  std::vector<char *> envp, argv;
  for (std::string &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings = {program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  for (std::string &a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    throw std::runtime_error("pipe failed");
  }
  started_ = std::chrono::steady_clock::now();
  deadline_ = started_ + options.timeout;
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
  if (pid_ == 0) {
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit >= 0) {
      struct rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                             static_cast<rlim_t>(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
      signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  out_ = outPipe[0];
  err_ = errPipe[0];
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

void Process::pump(std::chrono::steady_clock::time_point until) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      until - std::chrono::steady_clock::now());
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (poll(fds, 2, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) return;
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[4096];
    ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      (i == 0 ? out_text_ : err_text_).append(buffer, static_cast<std::size_t>(got));
    } else {
      close(fds[i].fd);
      (i == 0 ? out_ : err_) = -1;
    }
  }
}

bool Process::waitForError(const std::string &needle, std::chrono::milliseconds timeout) {
  auto until = std::min(deadline_, std::chrono::steady_clock::now() + timeout);
  while (err_text_.find(needle) == std::string::npos) {
    if (err_ < 0 || std::chrono::steady_clock::now() >= until) return false;
    pump(until);
  }
  return true;
}

ProcessResult Process::wait() {
  ProcessResult result;
  while (out_ >= 0 || err_ >= 0) {
    if (std::chrono::steady_clock::now() >= deadline_) {
      result.timedOut = true;
      kill(pid_, SIGKILL);
      break;
    }
    pump(deadline_);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid_, &status, 0, &usage);
  pid_ = -1;
  result.maxResidentKb = usage.ru_maxrss;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_);
  result.out = std::move(out_text_);
  result.err = std::move(err_text_);
  return result;
}

ProcessResult run(const std::string &program, const std::vector<std::string> &args,
                  const ProcessOptions &options) {
  Process process(program, args, options);
  return process.wait();
}

}  // namespace ocam_test
