#pragma once
// File objects handed to SDK modules. ProtectedFile2 reads a file through the
// C library with 64-bit offsets and lives while references to it remain.
// ProtectedFile is the older interface: it offers no file at all.

#include "core/mp_interfaces.h"

#include <cstdio>
#include <string>

class ProtectedFile2 final : public gmpi::IProtectedFile2
{
public:
    // A new object holding one reference, or null when the file cannot be opened.
    static ProtectedFile2* FromUri(const char* path, const char* mode);

    ProtectedFile2(const ProtectedFile2&) = delete;
    ProtectedFile2& operator=(const ProtectedFile2&) = delete;

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override;
    int32_t release() override;

    // A short read at the end of the file succeeds with the count read.
    int32_t read(void* buffer, int64_t count, int64_t* bytesRead) override;
    // Origin 0 from the start, 1 from the current position, 2 from the end.
    int32_t seek(int64_t offset, int32_t origin, int64_t* newPosition) override;
    // The file's length; the read position stays where it was.
    int32_t getSize(int64_t* size) override;

    const std::string& Path() const { return path_; }

private:
    ProtectedFile2(std::FILE* file, const char* path);
    ~ProtectedFile2();

    std::FILE* file_;
    std::string path_;
    int32_t refCount_ = 1;
};

class ProtectedFile final : public gmpi::IProtectedFile
{
public:
    ProtectedFile() = default;
    ProtectedFile(const ProtectedFile&) = delete;
    ProtectedFile& operator=(const ProtectedFile&) = delete;

    // Deletes the object.
    int32_t close() override;
    int32_t getSize(int32_t& size) override;
    int32_t read(char* buffer, int32_t size) override;

private:
    ~ProtectedFile() = default;
};
