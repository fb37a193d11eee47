#include "tools/rest_dump.h"

#include "core/strings.h"
#include "gamerest/rest_fetch.h"
#include "platform/console.h"

#include <cctype>
#include <iostream>

namespace korvane {

namespace {

struct Endpoint {
    const wchar_t* path;
    const char* label;
};

const Endpoint Endpoints[] = {
    {L"/rest/strategy/usage", "virtual energy history"},
    {L"/rest/garage/UIScreen/RepairAndRefuel", "refuel / wearables"},
    {L"/rest/garage/UIScreen/DriverAndPitStop", "pit stop screen"},
    {L"/rest/watch/standings", "standings"},
    {L"/rest/sessions/getAllVehicles", "all vehicles"},
    {L"/rest/garage/getPlayerGarageData", "player garage"},
};

void tyreWindows(std::ostream& out, const std::string& body) {
    for (const char* keyword : {"TIRE:", "TIRES:", "TYRE", "COMPOUND"}) {
        size_t p = body.find(keyword);
        if (p == std::string::npos) continue;
        size_t start = p <= 80 ? 0 : p - 80;
        out << "  [tire] ..." << shownText(body.substr(start, 700), true) << "...\n\n";
    }
}

void energySnippets(std::ostream& out, const std::string& body) {
    std::string lower = body;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* keyword : {"energy", "fuel", "virtual"}) {
        for (size_t p = lower.find(keyword); p != std::string::npos;
             p = lower.find(keyword, p + 1)) {
            size_t start = p <= 60 ? 0 : p - 60;
            out << "  ..." << shownText(body.substr(start, 160), true) << "...\n";
            if (start > 4000) break;
        }
    }
}

} // namespace

void restDump(const RestDumpIo& io) {
    std::ostream& out = *io.out;
    for (const Endpoint& e : Endpoints) {
        out << "\n=== GET ";
        io.writeWide(e.path);
        out << "   (" << e.label << ")\n";
        RestReply reply = io.fetch(e.path);
        const std::string& body = reply.body;
        if (reply.dropped) {
            out << "  (an answer of " << droppedSizeText(reply)
                << " - more than the 16 MiB the program reads, so it is not used)\n";
            continue;
        }
        if (body.empty()) {
            out << "  (no response \xE2\x80\x94 is LMU running and in a session?)\n";
            continue;
        }
        tyreWindows(out, body);
        out << shownText(body.substr(0, 1200), true);
        if (body.size() > 1200) {
            out << "\n  ... " << body.size() - 1200 << " more bytes\n";
            energySnippets(out, body);
        }
        out << "\n";
    }
    out << "\nSend the block containing the energy value and it can be\n"
           "wired to the exact key in one line.\n";
}

int runRestDump() {
    RestDumpIo io;
    io.out = &std::cout;
    io.writeWide = [](const std::wstring& text) {
        std::cout << std::flush;
        consoleWriteWide(text);
    };
    io.fetch = restGet;
    restDump(io);
    std::cout << std::flush;
    return 0;
}

} // namespace korvane
