#include "platform/files.h"

#include "platform/text.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

const char* const TextLineEnd = "\n";

namespace {

mode_t modeFor(Readers readers) {
    return readers == Readers::OwnerOnly ? 0600 : 0644;
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

WriteStatus writeFileBytes(const std::wstring& path, const std::string& data) {
    int fd = ::open(wideToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return WriteStatus::CannotCreate;
    bool ok = writeAll(fd, data);
    if (::close(fd) != 0) ok = false;
    return ok ? WriteStatus::Ok : WriteStatus::WriteFailed;
}

NewFile::~NewFile() {
    if (handle_ >= 0) ::close(int(handle_));
}


WriteStatus writeNewFileBytes(const std::wstring& path, const std::string& data, Readers readers) {
    int fd = ::open(wideToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    modeFor(readers));
    if (fd < 0) return WriteStatus::CannotCreate;
    bool ok = writeAll(fd, data);
    if (::close(fd) != 0) ok = false;
    return ok ? WriteStatus::Ok : WriteStatus::WriteFailed;
}

NewFile::Created NewFile::create(const std::wstring& path, Readers readers) {
    int fd = ::open(wideToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    modeFor(readers));
    if (fd < 0) return errno == EEXIST ? Created::Exists : Created::Failed;
    handle_ = fd;
    return Created::Ok;
}

bool NewFile::append(const std::string& data) {
    if (handle_ < 0) return false;
    int fd = int(handle_);
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, off_t(size_ + done));
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += size_t(n);
    }
    if (!ok) {
        // Cut the piece back off; should even that fail, the next append
        // writes over it from where the whole ones end.
        if (done > 0) (void)::ftruncate(fd, off_t(size_));
        return false;
    }
    size_ += done;
    return true;
}

std::wstring fullPathOf(const std::wstring& path) {
    if (!path.empty() && path[0] == L'/') return path;
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return path;
    return utf8ToWide(buf) + L"/" + path;
}

bool appendFileBytes(const std::wstring& path, const std::string& data) {
    int fd = ::open(wideToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    // A log an earlier version made readable to all is its owner's from now on.
    if (ok && (st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        (void)::fchmod(fd, st.st_mode & 0700);
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += size_t(n);
    }
    if (!ok && done > 0) {
        // Cut the piece back off; should even that fail, the next append
        // starts after it and the lines before stay whole.
        int cut = ::ftruncate(fd, st.st_size);
        (void)cut;
    }
    ::close(fd);
    return ok;
}

bool readFileBytes(const std::wstring& path, std::string& data, size_t maxBytes) {
    data.clear();
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    int fd = ::open(wideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= maxBytes;
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        data.append(buf, size_t(n));
        // A file that grows while it is read is held to the same limit.
        if (data.size() > maxBytes) ok = false;
    }
    ::close(fd);
    if (!ok) data.clear();
    return ok;
}

bool openReadStream(const std::wstring& path, std::ifstream& in) {
    std::string name = wideToUtf8(path);
    struct stat st {};
    // Never a FIFO: opening one waits for a writer that may never come.
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    in.open(name, std::ios::binary);
    return in.is_open();
}

bool deleteFile(const std::wstring& path) {
    return ::unlink(wideToUtf8(path).c_str()) == 0;
}

bool fileSizeOf(const std::wstring& path, uint64_t& size) {
    struct stat st {};
    if (::stat(wideToUtf8(path).c_str(), &st) != 0) return false;
    size = uint64_t(st.st_size);
    return true;
}

bool moveFileOver(const std::wstring& from, const std::wstring& to, bool takeTargetModes) {
    std::string src = wideToUtf8(from), dst = wideToUtf8(to);
    struct stat st {};
    if (takeTargetModes && ::stat(dst.c_str(), &st) == 0 &&
        ::chmod(src.c_str(), st.st_mode & 07777) != 0)
        return false;
    return std::rename(src.c_str(), dst.c_str()) == 0;
}

} // namespace korvane
