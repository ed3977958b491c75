// A file as a profile keeps it: whole, or reduced where it is a large image; with its times.
#include "src/capture/FileCopy.h"

#include "src/capture/ReducedImage.h"
#include "src/platform/ScopedHandle.h"

namespace {

// The whole file from its start; it may have grown or shrunk since its size was taken.
DWORD ReadWhole(HANDLE hFile, DWORD cbFile, std::vector<BYTE>& bytes)
{
    SetLastError(ERROR_SUCCESS);
    if (SetFilePointer(hFile, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return GetLastError();
    bytes.assign(cbFile, 0);
    DWORD cbRead = 0;
    if (cbFile > 0 && !ReadFile(hFile, bytes.data(), cbFile, &cbRead, nullptr))
        return GetLastError();
    bytes.resize(cbRead);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ReadFileCopy(LPCSTR pszPath, SFileCopy& copy)
{
    CScopedHandle file(CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return GetLastError();
    DWORD dwHigh = 0;
    SetLastError(ERROR_SUCCESS);
    DWORD dwLow = GetFileSize(file.Get(), &dwHigh);
    if (dwLow == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS)
        return GetLastError();
    copy.cbOriginal = (ULONGLONG(dwHigh) << 32) | dwLow;
    if (!GetFileTime(file.Get(), &copy.ftCreation, nullptr, &copy.ftLastWrite))
        return GetLastError();

    if (copy.cbOriginal > REDUCE_IMAGES_ABOVE) {
        EImageReduction outcome = EImageReduction::NotImage;
        DWORD dwError = ReduceImageFile(file.Get(), copy.cbOriginal, copy.bytes, outcome);
        if (dwError != ERROR_SUCCESS)
            return dwError;
        if (outcome == EImageReduction::Reduced) {
            copy.kind = ECopyKind::Reduced;
            return ERROR_SUCCESS;
        }
    }
    if (dwHigh != 0) {
        copy.kind = ECopyKind::TooLarge;
        copy.bytes.clear();
        return ERROR_SUCCESS;
    }
    copy.kind = ECopyKind::Whole;
    return ReadWhole(file.Get(), dwLow, copy.bytes);
}
