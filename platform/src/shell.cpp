#include "platform/shell.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace platform {
namespace {

std::mutex g_openerMutex;
std::string g_opener;  // empty: xdg-open

// How long ShellOpen waits for the opener to report. xdg-open hands off to
// the handler and exits quickly; a handler that keeps it running is taken
// as started.
constexpr auto kOpenerWait = std::chrono::milliseconds(1500);

}  // namespace

void SetShellOpenerForTest(const std::string &program) {
    std::lock_guard<std::mutex> lock(g_openerMutex);
    g_opener = program;
}

bool ShellOpen(const std::string &pathOrUrl) {
    if (pathOrUrl.empty()) return false;
    std::string opener;
    {
        std::lock_guard<std::mutex> lock(g_openerMutex);
        opener = g_opener.empty() ? "xdg-open" : g_opener;
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Own session, so the handler outlives us and takes no terminal signals.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string arg0 = opener, arg1 = pathOrUrl;
    char *argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, opener.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;

    auto deadline = std::chrono::steady_clock::now() + kOpenerWait;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0 && errno != EINTR) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Still running: reap it whenever it ends so it leaves no zombie.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool DeleteFolderTree(const std::string &folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return !ec && !std::filesystem::exists(std::filesystem::symlink_status(folder, ec));
}

bool CreateFolders(const std::string &folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

bool DeleteFileAt(const std::string &path) {
    if (path.empty()) return false;
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace platform
