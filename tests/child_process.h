#pragma once

// A program under test, run as a child process in a fresh working directory
// of its own, its standard output and error kept in files there.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
  public:
    ChildProcess();
    ~ChildProcess(); // kills the program if it still runs, and removes the directory
    const std::string &directory() const { return workDirectory; }
    // environment: extra "NAME=value" settings on top of this process's own.
    void start(const std::string &program, const std::vector<std::string> &arguments = {},
               const std::vector<std::string> &environment = {});
    // The exit status (128 + signal when killed), or nothing while it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    int endSignal() const { return killedBy; } // the signal that ended it, or 0
    void signal(int number) const;
    std::string output() const { return read("stdout"); }
    std::string errors() const { return read("stderr"); }

  private:
    std::string read(const char *name) const;
    int pid = -1;
    std::string workDirectory;
    std::optional<int> exitStatus;
    int killedBy = 0;
};
