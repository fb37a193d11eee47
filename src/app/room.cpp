#include "app/room.h"

#include "core/strings.h"
#include "platform/files.h"
#include "platform/machine.h"

#include <istream>
#include <ostream>

namespace korvane {

bool loadRoomCode(const std::string& path, std::string& roomCode) {
    // A room code is a line; anything far larger is not a room file.
    std::string text;
    if (!readFileBytes(widePath(path), text, 4096)) return false;
    std::string code = trimSpace(text.substr(0, text.find('\n')));
    if (code.empty()) return false;
    roomCode = code;
    return true;
}

void saveRoomCode(const std::string& path, const std::string& roomCode) {
    // The room code is all it takes to post into the room.
    (void)replaceFileBytes(widePath(path), roomCode + "\n", Readers::OwnerOnly);
}

bool settleRoomCode(const std::string& path, std::istream& in, std::ostream& out,
                    std::string& roomCode) {
    std::string line;
    if (loadRoomCode(path, roomCode)) {
        out << "Room (from " << shownText(path) << "): " << shownText(roomCode) << "\n";
        out << "New room (Enter to keep): " << std::flush;
        // Input that has ended reads as Enter: the stored code stays.
        if (!std::getline(in, line)) line.clear();
        std::string typed = trimSpace(line);
        if (!typed.empty()) {
            roomCode = typed;
            saveRoomCode(path, roomCode);
        }
        return true;
    }
    for (;;) {
        out << "Room code (from website ?room=): " << std::flush;
        if (!std::getline(in, line)) {
            out << "\nNo room code given (input ended). Copy the code from the website and "
                   "start again.\n"
                << std::flush;
            return false;
        }
        std::string typed = trimSpace(line);
        if (typed.empty()) {
            out << "Room is required.\n";
            continue;
        }
        roomCode = typed;
        saveRoomCode(path, roomCode);
        out << "Saved to " << shownText(path) << "\n";
        return true;
    }
}

} // namespace korvane
