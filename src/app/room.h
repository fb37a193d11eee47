#pragma once
// The room code: one line in a text file in the working directory, settled
// once at start-up.
#include <iosfwd>
#include <string>

namespace korvane {

// Reads the first line of the file; false when missing, empty or blank.
[[nodiscard]] bool loadRoomCode(const std::string& path, std::string& roomCode);

// Writes the code and one line feed; a file that cannot be written is skipped.
void saveRoomCode(const std::string& path, const std::string& roomCode);

// The start-up dialogue. Returns false only when input ended before a code
// was given, since no code can ever arrive then.
[[nodiscard]] bool settleRoomCode(const std::string& path, std::istream& in, std::ostream& out,
                                  std::string& roomCode);

} // namespace korvane
