#pragma once
// Whole-file reads and writes by wide path, for files beside the executable
// and in the game's folders. Nothing here prints.
#include <cstdint>
#include <fstream>
#include <string>

namespace korvane {

enum class WriteStatus { Ok, CannotCreate, WriteFailed };

// Who may read a file the program creates, where the platform has file
// modes: the room code is a credential, a report a document to pass around.
enum class Readers { Everyone, OwnerOnly };

// How a text file ends its lines here: "\r\n" on Windows, "\n" elsewhere.
extern const char* const TextLineEnd;

// Creates or truncates the file and writes the bytes as they are.
[[nodiscard]] WriteStatus writeFileBytes(const std::wstring& path, const std::string& data);

// Creates the file where no file of that name is, never over or through an
// existing name (a link planted there included), and writes the bytes.
[[nodiscard]] WriteStatus writeNewFileBytes(const std::wstring& path, const std::string& data,
                                            Readers readers);

// Appends the bytes to the file, creating it for its owner alone when missing
// (on Linux; an existing file that others could read is made so). A write that fails
// partway (a full disk) is cut back off, so the file only ever grows by whole
// appends; false when nothing was appended. Each call opens and closes the
// file, so one failure leaves nothing behind that blocks the next call.
[[nodiscard]] bool appendFileBytes(const std::wstring& path, const std::string& data);

// A file made for one run and kept open for it, such as a recording. It is
// created where no file of that name is, or not at all: never over or
// through an existing name, a link included, even one that appears between
// a check and the creation. On Linux only its owner may read it, unless
// `readers` says otherwise.
class NewFile {
  public:
    enum class Created { Ok, Exists, Failed };
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    [[nodiscard]] Created create(const std::wstring& path, Readers readers = Readers::OwnerOnly);
    // Appends the bytes whole; a write that fails partway is cut back off, so
    // the file only ever grows by whole appends. False when nothing was added.
    [[nodiscard]] bool append(const std::string& data);

  private:
    intptr_t handle_ = -1;
    uint64_t size_ = 0;
};

// The path made absolute against the current folder, for telling the user
// where a file went.
std::wstring fullPathOf(const std::wstring& path);

// The whole file. False when it cannot be opened or read, is not a regular
// file (a FIFO, a device, a folder), or holds more than maxBytes: a file that
// someone else controls can neither hold the call nor fill the memory.
[[nodiscard]] bool readFileBytes(const std::wstring& path, std::string& data, size_t maxBytes);

// Opens a file on disk for reading as a stream, for files too large to read
// whole. False when it cannot be opened or is not a regular file.
[[nodiscard]] bool openReadStream(const std::wstring& path, std::ifstream& in);

// The file's size in bytes; false when it cannot be seen.
[[nodiscard]] bool fileSizeOf(const std::wstring& path, uint64_t& size);

// False when there was nothing to delete or it could not be deleted.
bool deleteFile(const std::wstring& path);

// Moves `from` over `to`, replacing it. Where the platform has file modes the
// moved file gets those of `to` (so a program stays runnable) when
// `takeTargetModes`, else keeps its own.
[[nodiscard]] bool moveFileOver(const std::wstring& from, const std::wstring& to,
                                bool takeTargetModes = true);

// Writes the bytes beside the file under a temporary name and moves them over
// it only once the whole write succeeded, so a failure never leaves the file
// cut short; the temporary file does not outlive a failure. A file that could
// not be replaced counts as one that could not be created. The temporary
// file is made afresh, never through a name someone planted there. With
// `Readers::OwnerOnly` the file ends up its owner's alone, whatever it was.
[[nodiscard]] inline WriteStatus replaceFileBytes(const std::wstring& path, const std::string& data,
                                                  Readers readers = Readers::Everyone) {
    std::wstring temp = path + L".korvane-new";
    deleteFile(temp); // left by a run that ended part-way
    WriteStatus written = writeNewFileBytes(temp, data, readers);
    if (written == WriteStatus::Ok && !moveFileOver(temp, path, readers == Readers::Everyone))
        written = WriteStatus::CannotCreate;
    if (written != WriteStatus::Ok) deleteFile(temp);
    return written;
}

} // namespace korvane
