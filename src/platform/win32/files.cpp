#include "platform/files.h"

#include <algorithm>
#include <filesystem>
#include <windows.h>

namespace korvane {

const char* const TextLineEnd = "\r\n";

namespace {

// Writes all the bytes at the file's position; how many went out in `done`.
bool writeAll(HANDLE f, const std::string& data, size_t& done) {
    done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        DWORD chunk = DWORD(std::min<size_t>(data.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(f, data.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    return ok;
}

// Writes the bytes at the file's position, `start`; a write that fails
// partway is cut back off there, so the file only grows by whole appends.
bool appendWhole(HANDLE f, LARGE_INTEGER start, const std::string& data) {
    size_t done = 0;
    bool ok = writeAll(f, data, done);
    if (!ok && done > 0 && SetFilePointerEx(f, start, nullptr, FILE_BEGIN)) SetEndOfFile(f);
    return ok;
}

} // namespace

namespace {

WriteStatus writeWhole(const std::wstring& path, const std::string& data, DWORD disposition) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return WriteStatus::CannotCreate;
    size_t done = 0;
    bool ok = writeAll(f, data, done);
    if (!CloseHandle(f)) ok = false;
    return ok ? WriteStatus::Ok : WriteStatus::WriteFailed;
}

} // namespace

WriteStatus writeFileBytes(const std::wstring& path, const std::string& data) {
    return writeWhole(path, data, CREATE_ALWAYS);
}

WriteStatus writeNewFileBytes(const std::wstring& path, const std::string& data, Readers) {
    // CREATE_NEW fails on any existing name, a link included.
    return writeWhole(path, data, CREATE_NEW);
}

NewFile::~NewFile() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

NewFile::Created NewFile::create(const std::wstring& path, Readers) {
    // CREATE_NEW fails on any existing name; others may read while it grows.
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS
                   ? Created::Exists
                   : Created::Failed;
    handle_ = reinterpret_cast<intptr_t>(f);
    return Created::Ok;
}

bool NewFile::append(const std::string& data) {
    if (handle_ == -1) return false;
    LARGE_INTEGER start{};
    start.QuadPart = LONGLONG(size_);
    HANDLE f = reinterpret_cast<HANDLE>(handle_);
    if (!SetFilePointerEx(f, start, nullptr, FILE_BEGIN) || !appendWhole(f, start, data))
        return false;
    size_ += data.size();
    return true;
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
    bool ok = SetFilePointerEx(f, LARGE_INTEGER{}, &start, FILE_END) && appendWhole(f, start, data);
    CloseHandle(f);
    return ok;
}

bool readFileBytes(const std::wstring& path, std::string& data, size_t maxBytes) {
    data.clear();
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    // A file on a disk only: not a pipe, a console or a device.
    LARGE_INTEGER size{};
    bool ok = GetFileType(f) == FILE_TYPE_DISK && GetFileSizeEx(f, &size) &&
              uint64_t(size.QuadPart) <= maxBytes;
    char buf[65536];
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(f, buf, sizeof buf, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        data.append(buf, got);
        // A file that grows while it is read is held to the same limit.
        if (data.size() > maxBytes) ok = false;
    }
    CloseHandle(f);
    if (!ok) data.clear();
    return ok;
}

bool openReadStream(const std::wstring& path, std::ifstream& in) {
    // A file on a disk only: not a folder, a pipe, a console or a device.
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    bool disk = GetFileType(f) == FILE_TYPE_DISK;
    CloseHandle(f);
    if (disk) in.open(std::filesystem::path(path), std::ios::binary);
    return disk && in.is_open();
}

bool deleteFile(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != 0;
}

bool fileSizeOf(const std::wstring& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return true;
}

// Files take their access from the folder they are made in.
bool moveFileOver(const std::wstring& from, const std::wstring& to, bool) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

} // namespace korvane
