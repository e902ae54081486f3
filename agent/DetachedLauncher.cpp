#include <cerrno>
#include <cstring>

#include "agent/Launcher.h"
#include "platform/Spawn.h"

namespace orv::agent {

bool DetachedLauncher::launch(const std::string& program, const std::vector<std::string>& arguments,
                              std::string* error) {
    SpawnRequest request;
    request.program = program;
    request.argv.push_back(program);
    request.argv.insert(request.argv.end(), arguments.begin(), arguments.end());
    request.detached = true;
    if (spawnProcess(request) < 0) {
        if (error) *error = program + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace orv::agent
