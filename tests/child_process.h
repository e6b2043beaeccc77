#pragma once

// A program under test, run as a child process in a fresh working directory
// of its own, with its standard output and error kept in files there.

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
  public:
    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The working directory, ready for files the program should find there.
    const std::string &directory() const { return workDirectory; }

    // environment: extra "NAME=value" settings on top of this process's own.
    void start(const std::string &program, const std::vector<std::string> &arguments = {},
               const std::vector<std::string> &environment = {});

    // The exit status (128 + signal for a killed program), or nothing if the
    // program still runs when the timeout ends.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    std::string output() const;
    std::string errors() const;

  private:
    pid_t pid = -1;
    std::string workDirectory;
    std::optional<int> exitStatus;
};
