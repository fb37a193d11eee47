#include "app/companion.h"

#include "app/main_loop.h"
#include "app/options.h"
#include "app/report.h"
#include "app/room.h"
#include "core/build_info.h"
#include "core/strings.h"
#include "gamerest/poller.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tools/probe.h"
#include "tools/recorder.h"
#include "tools/rest_dump.h"
#include "update/stage.h"
#include "update/update_check.h"

#include <iostream>
#include <string>

namespace korvane {

namespace {

std::vector<std::wstring> reportPaths(const Options& options, const char* const* argv) {
    std::vector<std::wstring> paths;
    for (int i : options.reportFiles) paths.push_back(argumentText(i, argv[i]));
    return paths;
}

} // namespace

int runCompanion(int argc, const char* const* argv) {
    ignoreBrokenPipes();
    consoleUseWideText();
    httpGlobalInit();
    Options options;
    switch (firstOptionPass(argc, argv, options)) {
    case ToolRequest::Probe:
        return runProbe();
    case ToolRequest::RestDump:
        return runRestDump();
    case ToolRequest::Record:
        return runRecorder(options.recordFile
                               ? argumentText(options.recordFile, argv[options.recordFile])
                               : std::wstring());
    case ToolRequest::Report:
        return runReport(reportPaths(options, argv), options.raceOnly, options.reserveLaps, false);
    case ToolRequest::Dropped: {
        std::vector<std::wstring> dropped = reportPaths(options, argv);
        std::ifstream file;
        if (openReadStream(dropped[0], file))
            return runReport(dropped, options.raceOnly, options.reserveLaps, true);
        break; // not a file: arguments like any other, ignored
    }
    case ToolRequest::BadOption:
        std::cout << options.error << "\n" << std::flush;
        return 2;
    case ToolRequest::None:
        break;
    }

    std::cout << "Korvane Companion " << BuildVersion << "\n" << std::flush;
    checkFinishedUpdate();
    secondOptionPass(argc, argv, options);
    if (!options.skipUpdate && checkForUpdate()) return 0;

    std::string err;
    if (!startRestPoller(err)) {
        std::cout << "ERROR: Could not start the game REST poller: " << err << "\n" << std::flush;
        return 1;
    }
    std::cout << "Multi-driver + room-scoped live + pit-stop streaming\n";

    std::string roomCode;
    if (!settleRoomCode(RoomFileName, std::cin, std::cout, roomCode)) return 1;

    consoleWriteWide(std::wstring(L"POST ") + L"https://" + ServiceHost + L":" +
                     std::to_wstring(ServicePort) + L"/api/live" + L"\n");
    std::cout << "Room: " << shownText(roomCode) << "\n\n" << std::flush;

    // Opened once here to tell the driver at once when it cannot be written;
    // each line is then appended on its own.
    std::wstring logPath = utf8ToWide(LiveLogFileName);
    if (!appendFileBytes(logPath, "")) {
        std::cout << "ERROR: Could not open " << LiveLogFileName << "\n" << std::flush;
        return 1;
    }
    runMainLoop(options, roomCode, logPath);
}

} // namespace korvane
