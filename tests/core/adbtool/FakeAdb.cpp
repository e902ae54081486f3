// A scriptable adb for the resource program's tests: it reports how it was
// started (arguments, terminal, environment, descriptors) to the file named by
// FAKE_ADB_REPORT, and for "pull" does what FAKE_ADB_PULL asks:
//   hang          draw one progress update, then wait to be stopped
//   partial-hang  write part of the destination file first, then as "hang"
//   partial-fail  write part of the destination file, print an error, exit 1
//   complete      write the destination file (where its folder exists), exit 0
// "shell" answers the size listing with a file of FAKE_ADB_SIZE bytes.

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void say(int fd, const std::string& text)
{
    ssize_t ignored = write(fd, text.data(), text.size());
    (void)ignored;
}

std::vector<std::string> openDescriptors()
{
    std::vector<std::string> lines;
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return lines;
    int own = dirfd(folder);
    while (dirent* entry = readdir(folder)) {
        int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] == '.' || fd <= 2 || fd == own)
            continue;
        char target[4096] = {};
        std::string path = std::string("/proc/self/fd/") + entry->d_name;
        ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        lines.push_back(std::to_string(fd) + " " + std::string(target, n > 0 ? size_t(n) : 0));
    }
    closedir(folder);
    return lines;
}

void report(int argc, char** argv)
{
    std::vector<std::string> fds = openDescriptors();
    std::ofstream out(env("FAKE_ADB_REPORT"), std::ios::app);
    out << "argv:";
    for (int i = 1; i < argc; ++i)
        out << ' ' << argv[i];
    out << "\npid: " << getpid() << "\ntty: " << (isatty(STDOUT_FILENO) ? 1 : 0) << "\nTERM: " << env("TERM") << '\n';
    for (const auto& fd : fds)
        out << "fd: " << fd << '\n';
}

[[noreturn]] void waitToBeStopped()
{
    for (;;)
        pause();
}

}  // namespace

int main(int argc, char** argv)
{
    report(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    while (!args.empty() && args[0] == "-s")
        args.erase(args.begin(), args.begin() + 2);
    if (args.empty())
        return 0;
    if (args[0] == "shell") {
        say(STDOUT_FILENO, "-rw-rw---- root     sdcard_r   " + env("FAKE_ADB_SIZE") +
                               " 2015-03-01 10:20 file\n");
        return 0;
    }
    if (args[0] != "pull" || args.size() < 3)
        return 0;
    const std::string& remote = args[args.size() - 2];
    std::string local = args.back();
    if (std::filesystem::is_directory(local))
        local += "/" + std::filesystem::path(remote).filename().string();
    const std::string mode = env("FAKE_ADB_PULL");
    if (mode.rfind("partial", 0) == 0) {
        std::ofstream partial(local, std::ios::trunc);
        partial << "the first part";
    }
    if (mode == "complete") {
        std::ofstream whole(local, std::ios::trunc);
        whole << "the whole file";
        return whole ? 0 : 1;
    }
    if (mode == "partial-fail") {
        say(STDOUT_FILENO, "\radb: error: failed to copy '" + remote + "': connection lost\n");
        return 1;
    }
    say(STDOUT_FILENO, "\r[ 10%] " + remote + "\x1b[K");
    waitToBeStopped();
}
