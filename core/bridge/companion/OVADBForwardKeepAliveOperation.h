#pragma once
// The long-lived connection on which the phone speaks unasked: after one
// keep-alive request (00 00 00 03 05 03 01) it reads frames until the
// connection ends, answers heartbeats, and hands pushed device information,
// folder changes and media-library changes to its blocks. Folder watches are
// asked for on this connection, and asked for again when a new connection
// takes over the registrations. A connection that stays silent longer than
// its length-read timeout (heartbeats included) ends. The end of the
// connection is reported to nobody: the manager notices that its keep-alive
// queue is empty.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/bridge/companion/OVADBForwardOperation.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/model/OVFile.h"

extern "C" {
// Names of folder-change events, ending in nullptr: five about an entry of a
// watched folder, then two about the watched folder itself.
extern const char* const OVFileChangType[8];
}

namespace orv {

class OVADBForwardKeepAliveOperation : public OVADBForwardOperation {
public:
    using HeartBeatBlock = std::function<void()>;
    using DeviceInfoChangedBlock = OVADBManager::DeviceInfoChangedBlock;
    using LibraryChangedBlock = OVADBManager::LibraryChangedBlock;
    using FileChangeBlock = OVADBManager::FileChangeBlock;
    using FileChangeBlocks = std::map<std::string, FileChangeBlock>;

    enum PushType : uint8_t { PushDeviceInfo = 1, PushFileChange = 2, PushMediaChange = 3 };
    enum WatchType : uint8_t { Watch = 1, Unwatch = 2 };

    static std::shared_ptr<OVADBForwardKeepAliveOperation> make();

    HeartBeatBlock didReceiveHeartBeatBlock() const;
    void setDidReceiveHeartBeatBlock(HeartBeatBlock block);
    // Called on the socket callback queue.
    DeviceInfoChangedBlock deviceInfoChangedBlock() const;
    void setDeviceInfoChangedBlock(DeviceInfoChangedBlock block);
    // Called with a change on the main queue, and with nullopt on the socket
    // callback queue when the phone's media provider announced a change.
    LibraryChangedBlock photoLibraryChangedBlock() const;
    void setPhotoLibraryChangedBlock(LibraryChangedBlock block);
    LibraryChangedBlock videoLibraryChangedBlock() const;
    void setVideoLibraryChangedBlock(LibraryChangedBlock block);
    LibraryChangedBlock audioLibraryChangedBlock() const;
    void setAudioLibraryChangedBlock(LibraryChangedBlock block);
    // Watched folder (relative to the storage root) -> block, called on the
    // socket callback queue with the event name and the full phone path.
    FileChangeBlocks fileChangeBlocks() const;
    void setFileChangeBlocks(FileChangeBlocks blocks);
    bool avoidMutiMediaPush() const;

    // Keeps the block for each folder with a relative path and asks the phone
    // to watch them 1 s later (on the main queue). Returns the table.
    FileChangeBlocks watchFiles(const std::vector<OVFileRef>& files, FileChangeBlock block);
    // Forgets the folders and asks the phone at once to stop watching them.
    FileChangeBlocks unwatchFileChange(const std::vector<OVFileRef>& files);
    void sendWatchRequestWithPaths(const std::vector<std::string>& paths, uint8_t requestType);
    void sendHeartBeatResponse();

    static ForwardBytes requestData();
    static ForwardBytes heartBeatResponseData();
    static ForwardBytes watchRequestData(const std::vector<std::string>& paths, uint8_t requestType);
    // A body after its three header bytes as JSON; nullopt when empty, and
    // with an error when it does not decode.
    static std::optional<nlohmann::json> convertResponseToDictionary(const ForwardBytes& body,
                                                                     std::optional<Error>& error);

    void socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t tag) override;

    struct Passkey {};
    explicit OVADBForwardKeepAliveOperation(Passkey);

protected:
    void sendRequest() override;
    void finishWithError(const Error&) override {}

private:
    void handleFrame(const ForwardBytes& body);
    void parsePushResponse(const ForwardBytes& body);
    void parseDeviceInfoChangedResponse(const ForwardBytes& body);
    void parseFileChangedResponse(const ForwardBytes& body);
    void parseMediaChangedResponse(const ForwardBytes& body);
    void openMediaURIWindow(const std::string& uri);

    HeartBeatBlock didReceiveHeartBeatBlock_;
    DeviceInfoChangedBlock deviceInfoChangedBlock_;
    LibraryChangedBlock photoLibraryChangedBlock_;
    LibraryChangedBlock videoLibraryChangedBlock_;
    LibraryChangedBlock audioLibraryChangedBlock_;
    FileChangeBlocks fileChangeBlocks_;
    bool avoidMutiMediaPush_ = false;
};

}  // namespace orv
