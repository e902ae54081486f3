#include "core/adbtool/AdbInvocation.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace orv::adbtool {

namespace {

bool takesValue(std::string_view option)
{
    static constexpr std::array<std::string_view, 5> withValue{"-s", "-t", "-H", "-P", "-L"};
    return std::find(withValue.begin(), withValue.end(), option) != withValue.end();
}

bool isOption(const std::string& arg)
{
    return arg.size() > 1 && arg[0] == '-';
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool namesPackage(const std::string& arg)
{
    std::string lower = arg;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return endsWith(lower, ".apk") || endsWith(lower, ".apex");
}

std::vector<std::string> operandsOf(const std::vector<std::string>& args)
{
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (const auto& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (optionsEnded || !isOption(arg)) {
            operands.push_back(arg);
        }
    }
    return operands;
}

Plan planShell(const AdbInvocation& invocation)
{
    return {Plan::How::ExecMergingStderr, invocation.toArgv(), {}};
}

Plan planInstall(const AdbInvocation& invocation)
{
    AdbInvocation rewritten = invocation;
    rewritten.args.clear();
    bool packageSeen = false;
    for (const auto& arg : invocation.args) {
        if (packageSeen && !isOption(arg) && !namesPackage(arg))
            continue;
        if (!isOption(arg) && namesPackage(arg))
            packageSeen = true;
        rewritten.args.push_back(arg);
    }
    return {Plan::How::ExecMergingStderr, rewritten.toArgv(), {}};
}

Plan planTransfer(const AdbInvocation& invocation, TransferDirection direction)
{
    Plan plan{Plan::How::SuperviseTransfer, invocation.toArgv(), {direction}};
    std::vector<std::string> operands = operandsOf(invocation.args);
    if (direction == TransferDirection::Pull && operands.size() == 1)
        operands.push_back(".");
    if (operands.size() == 2) {
        plan.transfer.singleSource = true;
        plan.transfer.remote = direction == TransferDirection::Pull ? operands[0] : operands[1];
        plan.transfer.local = direction == TransferDirection::Pull ? operands[1] : operands[0];
    }
    return plan;
}

}  // namespace

AdbInvocation AdbInvocation::parse(const std::vector<std::string>& argv)
{
    AdbInvocation invocation;
    size_t i = 0;
    while (i < argv.size() && isOption(argv[i])) {
        invocation.globals.push_back(argv[i]);
        if (takesValue(argv[i]) && i + 1 < argv.size())
            invocation.globals.push_back(argv[++i]);
        ++i;
    }
    if (i < argv.size())
        invocation.command = argv[i++];
    invocation.args.assign(argv.begin() + static_cast<std::ptrdiff_t>(i), argv.end());
    return invocation;
}

std::vector<std::string> AdbInvocation::toArgv() const
{
    std::vector<std::string> argv = globals;
    if (!command.empty())
        argv.push_back(command);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

Plan planInvocation(const AdbInvocation& invocation)
{
    if (invocation.command == "shell")
        return planShell(invocation);
    if (invocation.command == "install")
        return planInstall(invocation);
    if (invocation.command == "pull")
        return planTransfer(invocation, TransferDirection::Pull);
    if (invocation.command == "push")
        return planTransfer(invocation, TransferDirection::Push);
    return {Plan::How::Exec, invocation.toArgv(), {}};
}

}  // namespace orv::adbtool
