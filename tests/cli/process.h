// Runs a program as a child process with its output captured and a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace ocam_test {

struct ProcessResult {
  int exitCode = -1;  // 128 + signal when killed by one
  bool timedOut = false;
  std::string out;
  std::string err;
  std::chrono::milliseconds elapsed{0};
  long maxResidentKb = 0;  // the child's peak resident memory
};

struct ProcessOptions {
  std::string directory;                 // working directory; empty: the test's
  std::vector<std::string> environment;  // "NAME=value" added to (or replacing in) ours
  std::vector<std::string> unset;        // names removed from the environment
  long fileSizeLimit = -1;               // RLIMIT_FSIZE in bytes; -1: unchanged
  std::chrono::milliseconds timeout{60000};
};

class Process {
 public:
  // Starts `program` with `args`; throws std::runtime_error when it cannot.
  Process(const std::string &program, const std::vector<std::string> &args,
          const ProcessOptions &options = ProcessOptions());
  ~Process();  // kills the child if it still runs
  Process(const Process &) = delete;
  Process &operator=(const Process &) = delete;

  pid_t pid() const { return pid_; }
  // Reads standard error until it holds `needle`, the child ends or the
  // deadline passes; returns whether the text appeared. What was read stays
  // for wait().
  bool waitForError(const std::string &needle, std::chrono::milliseconds timeout);
  const std::string &errorSoFar() const { return err_text_; }
  // Collects the output until the child ends or the deadline passes (then the
  // child is killed and timedOut set).
  ProcessResult wait();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  // Reads what is ready on both pipes, waiting at most until `until`.
  void pump(std::chrono::steady_clock::time_point until);

  std::string out_text_;
  std::string err_text_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point deadline_;
};

ProcessResult run(const std::string &program, const std::vector<std::string> &args,
                  const ProcessOptions &options = ProcessOptions());

}  // namespace ocam_test
