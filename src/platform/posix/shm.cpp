#include "platform/shm.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// The Linux build of the plugin backs each mapping with a file of the same
// name under /dev/shm, '$' characters included.
std::string shmPath(const char* name) {
    return std::string("/dev/shm/") + name;
}

} // namespace

MappedView openMappingView(const char* name, size_t size) {
    MappedView view;
    int fd = open(shmPath(name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return view;
    view.found = true;
    struct stat st {};
    // A file shorter than the layout would fault on the first read past its
    // end, so it counts as missing.
    if (fstat(fd, &st) != 0 || st.st_size < off_t(size)) {
        close(fd);
        return view;
    }
    void* p = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        close(fd);
        return view;
    }
    view.data = static_cast<const uint8_t*>(p);
    view.size = size;
    // The file stays open so later checks can see whether it was removed or cut.
    view.handle = reinterpret_cast<void*>(intptr_t(fd) + 1);
    return view;
}

namespace {

int viewFile(const MappedView& view) {
    return int(reinterpret_cast<intptr_t>(view.handle) - 1);
}

} // namespace

bool mappingViewCurrent(const MappedView& view) {
    if (!view.data || !view.handle) return false;
    struct stat st {};
    return fstat(viewFile(view), &st) == 0 && st.st_nlink > 0 && st.st_size >= off_t(view.size);
}

void closeMappingView(MappedView& view) {
    if (view.data) munmap(const_cast<uint8_t*>(view.data), view.size);
    if (view.handle) close(viewFile(view));
    view = MappedView{};
}

bool createMapping(const char* name, size_t size, OwnedMapping& out, std::string& err) {
    std::string path = shmPath(name);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        err = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    if (ftruncate(fd, off_t(size)) != 0) {
        err = "cannot size " + path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) {
        err = "cannot map " + path + ": " + std::strerror(errno);
        return false;
    }
    out.data = static_cast<uint8_t*>(p);
    out.size = size;
    out.name = name;
    std::memset(out.data, 0, size);
    return true;
}

void destroyMapping(OwnedMapping& mapping) {
    if (mapping.data) munmap(mapping.data, mapping.size);
    if (!mapping.name.empty()) unlink(shmPath(mapping.name.c_str()).c_str());
    mapping = OwnedMapping{};
}

} // namespace korvane
