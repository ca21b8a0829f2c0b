#pragma once
// Runs the command as a child process with its arguments exactly as bytes
// (QProcess would re-encode them), standard input from a text, and standard
// output where a test wants it: a file, a full disk, no descriptor at all or
// a pipe nobody reads. Killed after 60 s, so that a hang fails the test.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tabulory::testing {

enum class StandardOutput { File, FullDisk, Closed, PipeClosedByItsReader };

struct Finished {
  int status = -1;  // exit status; -1 when it had to be killed or died of a signal
  std::string out, err;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the command with args, its files (stdin, stdout, stderr) in folder.
inline Finished RunCommand(const std::vector<std::string>& args, const std::string& input, const std::string& folder,
                           StandardOutput output = StandardOutput::File) {
  const std::string in = folder + "/stdin", out = folder + "/stdout", err = folder + "/stderr";
  std::ofstream(in, std::ios::binary) << input;
  std::ofstream(out, std::ios::binary).close();
  int pipe[2] = {-1, -1};
  if (output == StandardOutput::PipeClosedByItsReader && ::pipe(pipe) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(::open(in.c_str(), O_RDONLY), 0);
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    switch (output) {
      case StandardOutput::File: ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1); break;
      case StandardOutput::FullDisk: ::dup2(::open("/dev/full", O_WRONLY), 1); break;
      case StandardOutput::Closed: ::close(1); break;
      case StandardOutput::PipeClosedByItsReader:
        ::close(pipe[0]);
        ::dup2(pipe[1], 1);
        break;
    }
    std::vector<char*> argv{const_cast<char*>(TABULORY_BATCH_COMMAND)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pipe[0] >= 0) ::close(pipe[0]), ::close(pipe[1]);  // nobody reads it now
  Finished finished;
  int status = 0;
  for (int waited = 0; ::waitpid(child, &status, WNOHANG) == 0; waited += 20) {
    if (waited > 60000) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status)) finished.status = WEXITSTATUS(status);
  finished.out = ReadWholeFile(out);
  finished.err = ReadWholeFile(err);
  return finished;
}

}  // namespace tabulory::testing
