#include "core/ProtectedFile.h"

#include <sys/types.h>

static_assert(sizeof(off_t) >= 8, "file offsets must be 64-bit");

ProtectedFile2* ProtectedFile2::FromUri(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    std::FILE* file = std::fopen(path, mode);
    if (!file)
        return nullptr;
    return new ProtectedFile2(file, path);
}

ProtectedFile2::ProtectedFile2(std::FILE* file, const char* path)
    : file_(file)
    , path_(path)
{
}

ProtectedFile2::~ProtectedFile2()
{
    std::fclose(file_);
}

int32_t ProtectedFile2::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (!returnInterface)
        return gmpi::MP_FAIL;

    if (iid == gmpi::MP_IID_PROTECTED_FILE2 || iid == gmpi::MP_IID_UNKNOWN)
    {
        *returnInterface = static_cast<gmpi::IProtectedFile2*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    *returnInterface = nullptr;
    return gmpi::MP_NOSUPPORT;
}

int32_t ProtectedFile2::addRef()
{
    return ++refCount_;
}

int32_t ProtectedFile2::release()
{
    const int32_t remaining = --refCount_;
    if (remaining == 0)
        delete this;
    return remaining;
}

int32_t ProtectedFile2::read(void* buffer, int64_t count, int64_t* bytesRead)
{
    if (bytesRead)
        *bytesRead = 0;
    if (count < 0 || (count > 0 && !buffer))
        return gmpi::MP_FAIL;

    const size_t got = std::fread(buffer, 1, static_cast<size_t>(count), file_);
    if (bytesRead)
        *bytesRead = static_cast<int64_t>(got);

    if (got < static_cast<size_t>(count) && std::ferror(file_))
    {
        // Clear the error so that a later seek and read can try again.
        std::clearerr(file_);
        return gmpi::MP_FAIL;
    }
    return gmpi::MP_OK;
}

int32_t ProtectedFile2::seek(int64_t offset, int32_t origin, int64_t* newPosition)
{
    int whence;
    switch (origin)
    {
    case 0:
        whence = SEEK_SET;
        break;
    case 1:
        whence = SEEK_CUR;
        break;
    case 2:
        whence = SEEK_END;
        break;
    default:
        return gmpi::MP_FAIL;
    }

    if (fseeko(file_, static_cast<off_t>(offset), whence) != 0)
        return gmpi::MP_FAIL;

    const off_t position = ftello(file_);
    if (position < 0)
        return gmpi::MP_FAIL;
    if (newPosition)
        *newPosition = static_cast<int64_t>(position);
    return gmpi::MP_OK;
}

int32_t ProtectedFile2::getSize(int64_t* size)
{
    if (!size)
        return gmpi::MP_FAIL;

    const off_t position = ftello(file_);
    if (position < 0)
        return gmpi::MP_FAIL;

    if (fseeko(file_, 0, SEEK_END) != 0)
        return gmpi::MP_FAIL;
    const off_t end = ftello(file_);

    // Go back even when the length could not be read.
    const bool restored = fseeko(file_, position, SEEK_SET) == 0;
    if (end < 0 || !restored)
        return gmpi::MP_FAIL;

    *size = static_cast<int64_t>(end);
    return gmpi::MP_OK;
}

int32_t ProtectedFile::close()
{
    delete this;
    return gmpi::MP_OK;
}

int32_t ProtectedFile::getSize(int32_t& size)
{
    size = 0;
    return gmpi::MP_FAIL;
}

int32_t ProtectedFile::read(char*, int32_t)
{
    return gmpi::MP_FAIL;
}
