#include "platform/files.h"

#include <algorithm>
#include <windows.h>

namespace korvane {

const char* const TextLineEnd = "\r\n";

WriteStatus writeFileBytes(const std::wstring& path, const std::string& data) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return WriteStatus::CannotCreate;
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        DWORD chunk = DWORD(std::min<size_t>(data.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(f, data.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    if (!CloseHandle(f)) ok = false;
    return ok ? WriteStatus::Ok : WriteStatus::WriteFailed;
}

std::wstring fullPathOf(const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    return full;
}

bool appendFileBytes(const std::wstring& path, const std::string& data) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER start{};
    bool ok = SetFilePointerEx(f, LARGE_INTEGER{}, &start, FILE_END) != 0;
    size_t done = 0;
    while (ok && done < data.size()) {
        DWORD chunk = DWORD(std::min<size_t>(data.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(f, data.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    if (!ok && done > 0 && SetFilePointerEx(f, start, nullptr, FILE_BEGIN)) SetEndOfFile(f);
    CloseHandle(f);
    return ok;
}

bool readFileBytes(const std::wstring& path, std::string& data) {
    data.clear();
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(f, buf, sizeof buf, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        data.append(buf, got);
    }
    CloseHandle(f);
    if (!ok) data.clear();
    return ok;
}

bool deleteFile(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != 0;
}

bool moveFileOver(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

} // namespace korvane
