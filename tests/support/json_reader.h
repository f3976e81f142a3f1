// A small JSON reader for what independent tools print (qpdf --json), so that tests can check
// kestrin against a reading that is not its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::test {

struct json_member;

struct json_value {
    enum class kind { null, boolean, number, string, array, object };
    kind type = kind::null;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<json_value> items;
    std::vector<json_member> members;  // sorted by key

    // The member under key; nullptr when absent or when this is not an object.
    const json_value* member(std::string_view key) const;
};

struct json_member {
    std::string key;
    json_value value;
};

// Nesting deeper than this fails the read: it bounds the reader's recursion.
constexpr int max_json_depth = 200;

// The value the whole text holds; nullopt when the text is not exactly one JSON value.
std::optional<json_value> parse_json(std::string_view text);

}  // namespace kestrin::test
