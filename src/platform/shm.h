#pragma once
// Named shared-memory mappings, as the telemetry plugin publishes them.
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

// A view of a named mapping. data is null when the mapping does not exist or
// cannot be mapped at the asked size.
struct MappedView {
    const uint8_t* data = nullptr;
    size_t size = 0;
    void* handle = nullptr;
    bool found = false; // the mapping exists, even when it could not be mapped
    bool writable = false;
};

// Whether the game's mappings reach this program only through a bridge: on
// Linux the game runs under Proton, whose named mappings stay inside its Wine
// prefix, and a helper started there copies each into a file under /dev/shm.
extern const bool MappingsNeedBridge;

// Opens the mapping by name and maps `size` bytes of it for reading, or for
// reading and writing (a lock word shared with the publisher).
MappedView openMappingView(const char* name, size_t size, bool writable = false);

// A named event another process created, opened only to signal it; null where
// there is none (and always on Linux, where bridges copy no events).
void* openEventToSignal(const char* name);
void signalEvent(void* event);
void closeEvent(void* event);

// The publisher's side (the test rig): an auto-reset event of that name.
void* createNamedEvent(const char* name);

// Whether an open view still shows the named mapping. On Windows a mapping
// lives as long as any handle to it, so an open view always does. On Linux the
// file behind it can be removed (a publisher that starts again creates a new
// one) or cut short (a read past its end would kill the process); such a view
// must be closed and the name opened again.
bool mappingViewCurrent(const MappedView& view);

// Unmaps a view and closes its handle: the diagnostic tools when they finish,
// the main loop only for a view that is no longer current.
void closeMappingView(MappedView& view);

// A writable mapping created by a publisher (the test rig).
struct OwnedMapping {
    uint8_t* data = nullptr;
    size_t size = 0;
    void* handle = nullptr;
    std::string name;
};

// Creates (or opens) the mapping with exactly `size` zeroed bytes.
[[nodiscard]] bool createMapping(const char* name, size_t size, OwnedMapping& out,
                                 std::string& err);

// Unmaps and removes the mapping, so nothing stays behind after the publisher.
void destroyMapping(OwnedMapping& mapping);

} // namespace korvane
