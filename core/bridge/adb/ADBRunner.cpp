#include "core/bridge/adb/ADBRunner.h"

#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/facade/OVResources.h"
#include "platform/Error.h"
#include "platform/OperationQueue.h"
#include "platform/Thread.h"

namespace orv {

namespace {

// Standard error kept for reporting a failed command: the last few lines.
constexpr size_t kErrorTextLimit = 4096;

void keepTail(std::string& text, std::string_view chunk)
{
    text.append(chunk);
    if (text.size() > kErrorTextLimit)
        text.erase(0, text.size() - kErrorTextLimit);
}

// Ends a child when the operation running it is cancelled.
class StopChildOnCancel {
public:
    explicit StopChildOnCancel(const std::shared_ptr<Process>& child) : operation_(Operation::current())
    {
        if (!operation_)
            return;
        token_ = operation_->addObserver([child](Operation&, Operation::Key key) {
            if (key == Operation::Key::Cancelled)
                child->terminate();
        });
        if (operation_->isCancelled())
            child->terminate();
    }
    ~StopChildOnCancel()
    {
        if (operation_)
            operation_->removeObserver(token_);
    }
    StopChildOnCancel(const StopChildOnCancel&) = delete;
    StopChildOnCancel& operator=(const StopChildOnCancel&) = delete;

private:
    Operation* operation_;
    size_t token_ = 0;
};

}  // namespace

ADBCommandResult ADBRunner::run(const std::vector<std::string>& arguments, const ProgressBlock& progress,
                                const LaunchBlock& onLaunch) const
{
    // The runner blocks until the child exits, which the interface must never do.
    if (isMainThread())
        throw Exception("performADBCommand must be excuted in operation queue", "");

    Process::Options options;
    options.program = resourcePath("adb");
    if (!serial_.empty())
        options.arguments = {"-s", serial_};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    // "adb shell" would otherwise read the terminal of whoever started us.
    options.standardInput = Process::Input::Null;
    options.captureStderr = true;

    ADBCommandResult result;
    auto task = std::make_shared<Process>(options);
    Error launchError;
    if (!task->start(&launchError)) {
        bridgeLog("cannot run adb: " + launchError.description());
        result.errorText = launchError.message;
        return result;
    }
    result.launched = true;
    if (onLaunch)
        onLaunch(task);
    // Cancelling the operation this runs in ends the child, whatever the
    // command: a released manager must not wait for a listing or a count.
    const StopChildOnCancel stopOnCancel(task);

    ADBProgress transfer;
    Process::ChunkHandler onStderr = [&](std::string_view chunk) {
        keepTail(result.errorText, chunk);
        if (progress)
            applyADBProgressChunk(chunk, transfer, [&] { progress(task, transfer); });
    };
    result.exit = task->run({}, onStderr);
    // Kept as bytes: phone names need not be UTF-8, and one such name must
    // not hide the rest of a listing.
    result.output = task->standardOutput();
    return result;
}

std::string ADBCommandResult::said() const
{
    std::string text;
    auto keepLines = [&text](std::string_view from) {
        size_t start = 0;
        while (start < from.size()) {
            size_t end = from.find_first_of("\r\n", start);
            if (end == std::string_view::npos)
                end = from.size();
            std::string_view line = from.substr(start, end - start);
            start = end + 1;
            if (line.find_first_not_of(" \t") == std::string_view::npos || parseADBProgressLine(line))
                continue;
            if (!text.empty())
                text += '\n';
            text.append(line);
        }
    };
    if (output)
        keepLines(*output);
    keepLines(errorText);
    // Shown to the user: names in it that are not UTF-8 are mended.
    return displayableText(text);
}

std::optional<std::string> ADBRunner::shell(const std::vector<std::string>& parts) const
{
    if (serial_.empty())
        return std::nullopt;
    std::string line;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            line += ' ';
        line += parts[i];
    }
    return run({"shell", line}).output;
}

ShellOutcome ADBRunner::shellWithStatus(const std::string& line) const
{
    if (serial_.empty())
        return {};
    ADBCommandResult result = run({"shell", shellLineWithStatus(line)});
    ShellOutcome outcome = shellOutcome(result.output);
    if (outcome.status < 0)
        outcome.output = result.said();
    return outcome;
}

}  // namespace orv
