#pragma once
// An open descriptor owned by one object: reads and writes whole buffers and
// closes the descriptor when closed or destroyed.

#include <cstdint>
#include <vector>

namespace orv {

class FileHandle {
public:
    explicit FileHandle(int fileDescriptor) : fd_(fileDescriptor) {}
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // -1 once closed.
    int fileDescriptor() const { return fd_; }

    // Everything until end of file; what was read before an error otherwise.
    std::vector<uint8_t> readDataToEndOfFile();
    // What one read returns, waiting until something arrives; empty at end
    // of file or on error.
    std::vector<uint8_t> availableData();
    // Writes all of `data`. A reader that has gone away fails the write with
    // EPIPE instead of raising SIGPIPE in this process. false with errno set
    // on failure.
    bool writeData(const std::vector<uint8_t>& data);

    void closeFile();

private:
    int fd_;
};

}  // namespace orv
