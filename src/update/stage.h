#pragma once
// Replacing the running program with a verified download, and the report on
// the next start of whether that really happened.
#include "update/signature.h"

#include <iosfwd>
#include <string>

namespace korvane {

// Stages the verified body beside the executable, checks its signature when
// the rule names a signer, and hands over to it. `detachedSignature` is the
// signature file's content where the platform keeps it apart from the build.
// True: the process must end now.
[[nodiscard]] bool stageUpdate(const std::string& body, const std::string& version,
                               const SignerRule& signer, const std::string& detachedSignature,
                               std::ostream& out);

// Whether an update can be installed where this program lies: where a script
// does the swap, it must be able to name the program and the staged build.
// False with the message that says why and what to do.
bool updateCanBeInstalled(std::string& message);

// Reads and removes the note a staged update left beside `exePath`, and says
// whether the running build is the version it expected.
void checkFinishedUpdate(const std::wstring& exePath, std::ostream& out);
void checkFinishedUpdate();

// The command script that waits for this process to end, moves the staged
// build over the executable and starts it again (22 lines, CR LF).
std::string updateScript(const std::string& target, const std::string& staged);

} // namespace korvane
