// Starts tests/phonesim/phonesim.py as a child with posix_spawn (tests are threaded, so no fork),
// talks to it over its Unix control socket and reaps it on the way out.
#include "phonesim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef PHONESIM_PYTHON
#error "PHONESIM_PYTHON must name the Python 3 interpreter"
#endif
#ifndef PHONESIM_DIR
#error "PHONESIM_DIR must name the tests/phonesim folder"
#endif

extern char** environ;

namespace phonesim {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what, int error = errno) {
    throw std::runtime_error("phonesim: " + what + (error ? ": " + std::string(std::strerror(error)) : ""));
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) fail("pipe2");
        read = fds[0];
        write = fds[1];
    }
    ~Pipe() {
        closeFd(read);
        closeFd(write);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
};

int msLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Starts `argv` with the given descriptors as its standard streams (-1: inherit).
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0) posix_spawn_file_actions_adddup2(&actions, in, 0);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
    if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) fail("cannot start " + argv[0], rc);
    return pid;
}

int statusOf(int wstatus) {
    if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
    return -1;
}

int reap(pid_t pid) {
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return statusOf(wstatus);
}

// Reads everything from the given descriptors until each reaches end of file or the deadline
// passes; returns false on the deadline.
bool drain(std::vector<std::pair<int, std::string*>> streams, Clock::time_point deadline) {
    char buf[65536];
    while (!streams.empty()) {
        std::vector<pollfd> fds;
        for (auto& s : streams) fds.push_back({s.first, POLLIN, 0});
        int n = ::poll(fds.data(), fds.size(), msLeft(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        for (std::size_t i = fds.size(); i-- > 0;) {
            if (!fds[i].revents) continue;
            ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                streams[i].second->append(buf, static_cast<std::size_t>(got));
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                streams.erase(streams.begin() + static_cast<long>(i));
            }
        }
    }
    return true;
}

// Reads up to the first newline from fd before the deadline; both the readiness announcement
// and a control answer are a single line with nothing after it.
std::string readLine(int fd, Clock::time_point deadline, const std::string& what) {
    std::string text;
    char buf[65536];
    while (text.find('\n') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, msLeft(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) fail(what + ": no answer before the deadline", 0);
        ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) fail(what + ": the simulator closed the stream", got < 0 ? errno : 0);
        text.append(buf, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

std::string base64(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned v = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

void writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("write to the control socket");
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

// ---- Fixture ------------------------------------------------------------------------------

Fixture Fixture::realistic() { return Fixture("realistic"); }
Fixture Fixture::hostile() { return Fixture("hostile"); }
Fixture Fixture::empty() { return Fixture("empty"); }

Fixture& Fixture::withHostileNames() {
    parts_.push_back("hostile");
    return *this;
}

Fixture& Fixture::withManyFiles() {
    parts_.push_back("many");
    return *this;
}

Fixture& Fixture::withHugeFile() {
    parts_.push_back("huge");
    return *this;
}

Fixture& Fixture::serial(std::string serialNumber) {
    serial_ = std::move(serialNumber);
    return *this;
}

std::string Fixture::parts() const {
    std::string out;
    for (const auto& part : parts_) out += (out.empty() ? "" : "+") + part;
    return out;
}

// ---- Simulator ----------------------------------------------------------------------------

std::unique_ptr<Simulator> Simulator::start(const Fixture& fixture) {
    Options options;
    options.phones.push_back(fixture);
    return start(options);
}

std::unique_ptr<Simulator> Simulator::start(const Options& options) {
    std::unique_ptr<Simulator> sim(new Simulator());
    try {
        sim->launch(options);
    } catch (...) {
        sim->stop();
        throw;
    }
    return sim;
}

void Simulator::launch(const Options& options) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/phonesim-XXXXXX";
    if (!::mkdtemp(templ.data())) fail("mkdtemp " + templ);
    folder_ = templ;

    std::vector<std::string> argv = {PHONESIM_PYTHON, "-I", std::string(PHONESIM_DIR) + "/phonesim.py",
                                     "serve", "--dir", folder_.string(), "--mode", options.mode,
                                     "--exit-on-stdin-eof", "--remove-dir"};
    std::vector<Fixture> phones = options.phones;
    if (phones.empty()) phones.push_back(Fixture::realistic());
    for (const auto& phone : phones) {
        argv.push_back("--phone");
        argv.push_back(phone.serialNumber() + ":" + phone.parts());
    }
    Pipe in, out;
    pid_ = spawn(argv, in.read, out.write, -1);
    stdinFd_ = in.write;
    in.write = -1;
    stdoutFd_ = out.read;
    out.read = -1;
    closeFd(out.write);  // only the child holds the write end now, so its exit gives end of file

    info_ = nlohmann::json::parse(
        readLine(stdoutFd_, Clock::now() + options.startTimeout, "simulator start (see its standard error)"));
    resourceDir_ = info_.at("resource_dir").get<std::string>();
    socket_ = info_.at("socket").get<std::string>();
}

Simulator::~Simulator() { stop(); }

void Simulator::stop() {
    if (pid_ > 0) {
        if (!socket_.empty()) {
            try {
                request({{"op", "shutdown"}});
            } catch (const std::exception&) {
                // Already gone; closing its standard input below ends it otherwise.
            }
        }
        closeFd(stdinFd_);
        std::string ignored;
        bool ended = stdoutFd_ < 0 ||
                     drain({{stdoutFd_, &ignored}}, Clock::now() + std::chrono::seconds(20));
        if (!ended) ::kill(pid_, SIGKILL);
        reap(pid_);
        pid_ = -1;
    }
    closeFd(stdinFd_);
    closeFd(stdoutFd_);
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        folder_.clear();
    }
}

std::string Simulator::serial(std::size_t index) const {
    return info_.at("phones").at(index).at("serial").get<std::string>();
}

std::vector<std::string> Simulator::serials() const {
    std::vector<std::string> out;
    for (const auto& phone : info_.at("phones")) out.push_back(phone.at("serial").get<std::string>());
    return out;
}

std::filesystem::path Simulator::phoneRoot(const std::string& serial) const {
    for (const auto& phone : info_.at("phones")) {
        if (phone.at("serial") == serial) return phone.at("root").get<std::string>();
    }
    throw std::invalid_argument("phonesim: no phone " + serial);
}

std::vector<std::string> Simulator::environment() const {
    const char* path = std::getenv("PATH");
    return {"ORVANE_ADB=" + adbPath().string(),
            "PATH=" + resourceDir_.string() + (path && *path ? ":" + std::string(path) : std::string())};
}

nlohmann::json Simulator::request(nlohmann::json req) const {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) fail("socket");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = socket_.string();
    if (path.size() >= sizeof addr.sun_path) fail("control socket path too long", 0);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) fail("connect " + path);
    writeAll(fd, req.dump() + "\n");
    const std::string reply = readLine(fd, Clock::now() + std::chrono::seconds(60), "control request");
    auto answer = nlohmann::json::parse(reply);
    if (answer.contains("error")) fail(answer["error"].get<std::string>(), 0);
    return answer;
}

void Simulator::set(const std::string& serial, const std::string& key, const std::string& value) {
    request({{"op", "set"}, {"serial", serial}, {"key", key}, {"value", value}});
}

void Simulator::setMode(const std::string& mode) {
    request({{"op", "set"}, {"key", "mode"}, {"value", mode}});
}

void Simulator::misbehave(const std::string& serial, const std::string& name, bool on) {
    request({{"op", "misbehave"}, {"serial", serial}, {"name", name}, {"on", on}});
}

void Simulator::unplug(const std::string& serial) { request({{"op", "unplug"}, {"serial", serial}}); }

void Simulator::replug(const std::string& serial) { request({{"op", "replug"}, {"serial", serial}}); }

std::string Simulator::shell(const std::string& serial, const std::string& command) {
    return request({{"op", "shell"}, {"serial", serial}, {"command", command}})
        .at("stdout")
        .get<std::string>();
}

void Simulator::putFile(const std::string& serial, const std::string& phonePath, std::string_view bytes) {
    request({{"op", "put"}, {"serial", serial}, {"path", phonePath}, {"data", base64(bytes)}});
}

int Simulator::inject(const std::string& serial, int type, const nlohmann::json& payload) {
    return request({{"op", "inject"}, {"serial", serial}, {"type", type}, {"json", payload}})
        .at("connections")
        .get<int>();
}

int Simulator::injectRaw(const std::string& serial, std::string_view bytes) {
    return request({{"op", "inject"}, {"serial", serial}, {"hex", hex(bytes)}}).at("connections").get<int>();
}

nlohmann::json Simulator::keepAlive(const std::string& serial) {
    return request({{"op", "keepalive"}, {"serial", serial}}).at("connections");
}

nlohmann::json Simulator::log(const std::string& serial, const std::string& kind) {
    nlohmann::json req = {{"op", "log"}};
    if (!serial.empty()) req["serial"] = serial;
    if (!kind.empty()) req["kind"] = kind;
    return request(req).at("entries");
}

void Simulator::clearLog() { request({{"op", "log"}, {"clear", true}}); }

bool Simulator::waitIdle(std::chrono::milliseconds timeout) {
    return request({{"op", "wait-idle"}, {"timeout", timeout.count() / 1000.0}}).at("idle").get<bool>();
}

AdbResult Simulator::adb(const std::vector<std::string>& args, std::chrono::milliseconds timeout) const {
    std::vector<std::string> argv = {adbPath().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    Pipe out, err;
    pid_t pid = spawn(argv, -1, out.write, err.write);
    closeFd(out.write);
    closeFd(err.write);
    AdbResult result;
    bool done = drain({{out.read, &result.out}, {err.read, &result.err}}, Clock::now() + timeout);
    if (!done) ::kill(pid, SIGKILL);
    result.status = reap(pid);
    if (!done) fail("adb " + (args.empty() ? std::string() : args[0]) + " did not finish in time", 0);
    return result;
}

}  // namespace phonesim
