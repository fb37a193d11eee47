#include "platform/shm.h"

#include <cstring>
#include <string>
#include <windows.h>

namespace korvane {

const bool MappingsNeedBridge = false;

namespace {

// The names are ASCII; the game opens its own by the wide name.
std::wstring wideName(const char* name) {
    return std::wstring(name, name + std::strlen(name));
}

} // namespace

MappedView openMappingView(const char* name, size_t size, bool writable) {
    MappedView view;
    DWORD access = writable ? FILE_MAP_READ | FILE_MAP_WRITE : FILE_MAP_READ;
    HANDLE mapping = OpenFileMappingW(access, FALSE, wideName(name).c_str());
    if (!mapping) return view;
    view.found = true;
    // A section smaller than `size` cannot be mapped at that size, so nothing
    // past its end is ever read.
    void* p = MapViewOfFile(mapping, access, 0, 0, size);
    if (!p) {
        CloseHandle(mapping);
        return view;
    }
    view.data = static_cast<const uint8_t*>(p);
    view.size = size;
    view.handle = mapping;
    view.writable = writable;
    return view;
}

void* openEventToSignal(const char* name) {
    return OpenEventW(EVENT_MODIFY_STATE, FALSE, wideName(name).c_str());
}

void signalEvent(void* event) {
    if (event) SetEvent(event);
}

void closeEvent(void* event) {
    if (event) CloseHandle(event);
}

void* createNamedEvent(const char* name) {
    return CreateEventW(nullptr, FALSE, FALSE, wideName(name).c_str());
}

bool mappingViewCurrent(const MappedView& view) {
    // The open handle keeps the mapping alive, and a publisher that starts
    // again opens this same mapping by its name.
    return view.data != nullptr;
}

void closeMappingView(MappedView& view) {
    if (view.data) UnmapViewOfFile(view.data);
    if (view.handle) CloseHandle(view.handle);
    view = MappedView{};
}

bool createMapping(const char* name, size_t size, OwnedMapping& out, std::string& err) {
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, DWORD(size), name);
    if (!mapping) {
        err = std::string("CreateFileMapping ") + name + " failed (err " +
              std::to_string(GetLastError()) + ")";
        return false;
    }
    void* p = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!p) {
        err = std::string("MapViewOfFile ") + name + " failed (err " +
              std::to_string(GetLastError()) + ")";
        CloseHandle(mapping);
        return false;
    }
    out.data = static_cast<uint8_t*>(p);
    out.size = size;
    out.handle = mapping;
    out.name = name;
    std::memset(out.data, 0, size);
    return true;
}

void destroyMapping(OwnedMapping& mapping) {
    if (mapping.data) UnmapViewOfFile(mapping.data);
    if (mapping.handle) CloseHandle(mapping.handle);
    mapping = OwnedMapping{};
}

} // namespace korvane
