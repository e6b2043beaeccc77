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

namespace {

std::string readFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool redirect(int descriptor, const std::string &path) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return file >= 0 && dup2(file, descriptor) >= 0;
}

} // namespace

ChildProcess::ChildProcess() {
    char pattern[] = "/tmp/veltrane-test-XXXXXX";
    const char *made = mkdtemp(pattern);
    workDirectory = made ? made : "/tmp";
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && !exitStatus) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (workDirectory != "/tmp") {
        std::error_code ignored;
        std::filesystem::remove_all(workDirectory, ignored);
    }
}

void ChildProcess::start(const std::string &program, const std::vector<std::string> &arguments,
                         const std::vector<std::string> &environment) {
    std::vector<std::string> texts = environment;
    pid = fork();
    if (pid != 0)
        return;
    if (!redirect(STDOUT_FILENO, workDirectory + "/stdout.txt") ||
        !redirect(STDERR_FILENO, workDirectory + "/stderr.txt") ||
        chdir(workDirectory.c_str()) != 0)
        _exit(127);
    for (std::string &setting : texts)
        putenv(setting.data());
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exitStatus && pid > 0) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return exitStatus;
}

std::string ChildProcess::output() const {
    return readFile(workDirectory + "/stdout.txt");
}

std::string ChildProcess::errors() const {
    return readFile(workDirectory + "/stderr.txt");
}
