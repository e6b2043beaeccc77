#include "child_process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ChildProcess::ChildProcess() {
    char pattern[] = "/tmp/veltrane-test-XXXXXX";
    workDirectory = mkdtemp(pattern) ? pattern : "/tmp";
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && !exitStatus) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::error_code ignored;
    if (workDirectory != "/tmp")
        std::filesystem::remove_all(workDirectory, ignored);
}

void ChildProcess::start(const std::string &program, const std::vector<std::string> &arguments,
                         const std::vector<std::string> &environment) {
    std::vector<std::string> settings = environment;
    pid = fork();
    if (pid != 0)
        return;
    for (const char *name : {"stdout", "stderr"}) {
        const int file =
            open((workDirectory + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file < 0 || dup2(file, name[3] == 'o' ? STDOUT_FILENO : STDERR_FILENO) < 0)
            _exit(127);
    }
    for (std::string &setting : settings)
        putenv(setting.data());
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    if (chdir(workDirectory.c_str()) == 0)
        execv(program.c_str(), argv.data());
    _exit(127);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exitStatus && pid > 0) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            killedBy = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        } else if (std::chrono::steady_clock::now() > deadline)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return exitStatus;
}

void ChildProcess::signal(int number) const {
    if (pid > 0 && !exitStatus)
        kill(pid, number);
}

std::string ChildProcess::read(const char *name) const {
    std::ifstream file(workDirectory + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
