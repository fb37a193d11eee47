#include "platform/shm.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// Under Proton the game's mappings live inside its Wine prefix; a bridge
// started there copies each into a file of the same name under /dev/shm,
// '$' characters included.
std::string shmPath(const char* name) {
    return std::string("/dev/shm/") + name;
}

// A publisher may cut its file short at any moment, also between the check
// that the file still has its size and the next read, and a read past the
// end of a mapped file raises SIGBUS. Each open view is registered here; a
// fault inside one puts zero pages in place of the whole view, so the read
// sees zeros, and marks it, so the next check closes it and the name is
// opened again. A fault anywhere else goes on as it would have.
struct ViewSlot {
    std::atomic<uintptr_t> start{0};
    std::atomic<size_t> size{0};
    std::atomic<bool> cut{false};
};
constexpr size_t MaxViews = 64;
ViewSlot viewSlots[MaxViews];
struct sigaction previousBusAction;

ViewSlot* slotOf(const uint8_t* data) {
    for (ViewSlot& slot : viewSlots)
        if (slot.start.load() == uintptr_t(data)) return &slot;
    return nullptr;
}

void onBusError(int sig, siginfo_t* info, void* context) {
    uintptr_t at = uintptr_t(info->si_addr);
    for (ViewSlot& slot : viewSlots) {
        uintptr_t start = slot.start.load();
        size_t size = slot.size.load();
        if (start == 0 || at < start || at - start >= size) continue;
        // mmap is a plain system call here, safe inside the handler.
        if (mmap(reinterpret_cast<void*>(start), size, PROT_READ,
                 MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED)
            break;
        slot.cut.store(true);
        return; // the read is made again, on the zero pages
    }
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        previousBusAction.sa_sigaction(sig, info, context);
        return;
    }
    if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(sig);
        return;
    }
    signal(SIGBUS, SIG_DFL); // the faulting read runs again and ends the process
}

void registerView(const uint8_t* data, size_t size) {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousBusAction);
    });
    static std::mutex slotsMutex; // registering is rare; the handler never locks
    std::lock_guard<std::mutex> lock(slotsMutex);
    for (ViewSlot& slot : viewSlots) {
        if (slot.start.load() != 0) continue;
        slot.cut.store(false);
        slot.size.store(size);
        slot.start.store(uintptr_t(data));
        return;
    }
}

void unregisterView(const uint8_t* data) {
    if (ViewSlot* slot = slotOf(data)) slot->start.store(0);
}

} // namespace

const bool MappingsNeedBridge = true;

MappedView openMappingView(const char* name, size_t size, bool writable) {
    MappedView view;
    // /dev/shm is anyone's to write in. A FIFO planted at the name would
    // hold the open, a link or another user's file would feed invented
    // telemetry into the driver's room: only a regular file of the user's own
    // (or root's) is a mapping.
    int fd = open(shmPath(name).c_str(),
                  (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return view;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_uid != geteuid() && st.st_uid != 0)) {
        close(fd);
        return view;
    }
    view.found = true;
    // A file shorter than the layout would fault on the first read past its
    // end, so it counts as missing.
    if (st.st_size < off_t(size)) {
        close(fd);
        return view;
    }
    void* p = mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        close(fd);
        return view;
    }
    view.data = static_cast<const uint8_t*>(p);
    view.size = size;
    view.writable = writable;
    registerView(view.data, size);
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
    ViewSlot* slot = slotOf(view.data);
    if (slot && slot->cut.load()) return false;
    struct stat st {};
    return fstat(viewFile(view), &st) == 0 && st.st_nlink > 0 && st.st_size >= off_t(view.size);
}

void closeMappingView(MappedView& view) {
    if (view.data) {
        unregisterView(view.data);
        munmap(const_cast<uint8_t*>(view.data), view.size);
    }
    if (view.handle) close(viewFile(view));
    view = MappedView{};
}

void* openEventToSignal(const char*) {
    return nullptr;
}

void signalEvent(void*) {}

void closeEvent(void*) {}

void* createNamedEvent(const char*) {
    return nullptr;
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
