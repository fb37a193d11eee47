#pragma once
// A real JSON parser's verdict on a document, and the order of its keys:
// learnt from one document, then checked on others.
#include <map>
#include <string>
#include <vector>

namespace korvane::fuzz {

class KeyOrder {
  public:
    // Both return why the document is rejected, or empty text.
    std::string learn(const std::string& document);
    std::string check(const std::string& document) const;

  private:
    std::string walk(const std::string& document, bool learning);
    // Keys by path (array positions left out), in first-seen order.
    std::map<std::string, std::vector<std::string>> order_;
};

} // namespace korvane::fuzz
