// The service's error answers: the failure text for any status and body,
// against any sent document.
#include "feed/poster.h"
#include "fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string sent, body;
    korvane::fuzz::splitAtZero(data, size, sent, body);
    korvane::HttpResponse r;
    r.status = size ? 300 + data[0] : 500;
    r.body = body;
    std::string text = korvane::describePostResult(r, sent);
    if (text.compare(0, 5, "HTTP ") != 0) std::abort();
    return 0;
}
