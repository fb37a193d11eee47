#include "json_order.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace korvane::fuzz {

namespace {

using Json = nlohmann::json;

// Walks the parser's events without building the document.
class Walker : public nlohmann::json_sax<Json> {
  public:
    Walker(std::map<std::string, std::vector<std::string>>& order, bool learning)
        : order_(order), learning_(learning) {}
    std::string problem;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return open(false); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool key(string_t& k) override {
        Level& level = levels_.back();
        level.key = k;
        auto known = order_.find(level.path);
        if (known == order_.end()) {
            if (!learning_) return true;
            known = order_.emplace(level.path, std::vector<std::string>{}).first;
        }
        std::vector<std::string>& keys = known->second;
        auto at = std::find(keys.begin(), keys.end(), k);
        if (at == keys.end()) {
            if (learning_) keys.push_back(k);
            return true;
        }
        long index = at - keys.begin();
        if (index < level.last) {
            problem = "key " + k + " out of order in " + level.path;
            return false;
        }
        level.last = index;
        return true;
    }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& e) override {
        problem = std::string("not JSON: ") + e.what();
        return false;
    }

  private:
    struct Level {
        std::string path;
        bool array = false;
        std::string key;
        long last = -1;
    };
    bool open(bool array) {
        std::string path;
        if (!levels_.empty())
            path = levels_.back().path + (levels_.back().array ? "[]" : "/" + levels_.back().key);
        levels_.push_back({path, array, {}, -1});
        return true;
    }
    bool close() {
        levels_.pop_back();
        return true;
    }
    std::map<std::string, std::vector<std::string>>& order_;
    bool learning_;
    std::vector<Level> levels_;
};

} // namespace

std::string KeyOrder::walk(const std::string& document, bool learning) {
    Walker walker(order_, learning);
    bool ok = Json::sax_parse(document, &walker);
    if (!ok && walker.problem.empty()) return "not JSON";
    return walker.problem;
}

std::string KeyOrder::learn(const std::string& document) {
    return walk(document, true);
}

std::string KeyOrder::check(const std::string& document) const {
    // Checking never adds a key: unknown keys are looked up and skipped.
    return const_cast<KeyOrder*>(this)->walk(document, false);
}

} // namespace korvane::fuzz
