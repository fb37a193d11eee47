#include "feed/poster.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

HttpResponse answered(uint32_t status, std::string body = "") {
    HttpResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

std::string document(size_t n) {
    std::string d;
    for (size_t i = 0; i < n; ++i) d += char('A' + i % 26);
    return d;
}

} // namespace

TEST(PostResult, StatusAndBodyQuote) {
    std::string doc = document(100);
    EXPECT_EQ(describePostResult(answered(200), doc), "");
    EXPECT_EQ(describePostResult(answered(299, "ignored"), doc), "");
    EXPECT_EQ(describePostResult(answered(300), doc), "HTTP 300");
    EXPECT_EQ(describePostResult(answered(500), doc), "HTTP 500");
    EXPECT_EQ(describePostResult(answered(0), doc), "HTTP 0");
    EXPECT_EQ(describePostResult(answered(404, "nope"), doc), "HTTP 404 \xE2\x80\x94 nope");
    std::string big(1000, 'b');
    EXPECT_EQ(describePostResult(answered(503, big), doc),
              "HTTP 503 \xE2\x80\x94 " + std::string(200, 'b'));
}

TEST(PostResult, PositionWindow) {
    std::string doc = document(200);
    doc[12] = '\n';
    doc[13] = char(0xC3);
    struct Case {
        std::string body;
        std::string tail;
    } cases[] = {
        {"bad at position 10",
         "bytes 0-70: "
         "ABCDEFGHIJ>>>KL\\x0A\\xC3OPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQR"},
        {"at position 100 x", "bytes 40-160: "
                              "OPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUV>>>"
                              "WXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCD"},
        {"at position 60", "bytes 0-120: "
                           "ABCDEFGHIJKL\\x0A\\xC3OPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGH>>>"
                           "IJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOP"},
        {"at position 61", "bytes 1-121: "
                           "BCDEFGHIJKL\\x0A\\xC3OPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHI>>>"
                           "JKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQ"},
        {"at position 230", "bytes 170-200: OPQRSTUVWXYZABCDEFGHIJKLMNOPQR"},
        {"at position 99999", "bytes 99939-200: "},
        {"at position   +5",
         "bytes 0-65: "
         "ABCDE>>>FGHIJKL\\x0A\\xC3OPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLM"},
        // A negative position stays inside the document.
        {"at position -40",
         "bytes 0-60: >>>ABCDEFGHIJKL\\x0A\\xC3OPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGH"},
    };
    for (const Case& c : cases) {
        std::string text = describePostResult(answered(400, c.body), doc);
        std::string head = "HTTP 400 \xE2\x80\x94 " + c.body + "\n         ";
        EXPECT_EQ(text, head + c.tail) << c.body;
    }
    // Too short to name a position, or no phrase at all: no second line.
    EXPECT_EQ(describePostResult(answered(400, "at position"), doc),
              "HTTP 400 \xE2\x80\x94 at position");
    EXPECT_EQ(describePostResult(answered(400, "position 5"), doc),
              "HTTP 400 \xE2\x80\x94 position 5");
}
