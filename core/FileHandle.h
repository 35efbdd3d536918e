// An open file handle owned by a scope: closed when the scope ends, or earlier
// by Close when the caller must know whether closing succeeded.
#pragma once

#include "core/Platform.h"

namespace kx {

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }
    bool Close() {
        bool closed = IsOpen() && CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

} // namespace kx
