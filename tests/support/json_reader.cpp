#include "json_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "pdf_builder.h"

namespace kestrin::test {

namespace {

class json_parser {
public:
    explicit json_parser(std::string_view text) : text_(text) {}

    std::optional<json_value> whole()
    {
        json_value v;
        if (!value(v, 0)) return std::nullopt;
        skip_space();
        if (pos_ != text_.size()) return std::nullopt;
        return v;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;

    bool at_end() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skip_space()
    {
        while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++pos_;
    }

    bool literal(std::string_view word)
    {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool value(json_value& out, int depth)
    {
        if (depth >= max_json_depth) return false;
        skip_space();
        if (at_end()) return false;
        switch (peek()) {
        case '{': return object(out, depth);
        case '[': return array(out, depth);
        case '"': out.type = json_value::kind::string; return string(out.text);
        case 't': out.type = json_value::kind::boolean; out.flag = true; return literal("true");
        case 'f': out.type = json_value::kind::boolean; return literal("false");
        case 'n': return literal("null");
        default: out.type = json_value::kind::number; return number(out.number);
        }
    }

    bool object(json_value& out, int depth)
    {
        out.type = json_value::kind::object;
        ++pos_;
        skip_space();
        if (!at_end() && peek() == '}') { ++pos_; return true; }
        for (;;) {
            json_member m;
            skip_space();
            if (at_end() || peek() != '"' || !string(m.key)) return false;
            skip_space();
            if (at_end() || peek() != ':') return false;
            ++pos_;
            if (!value(m.value, depth + 1)) return false;
            out.members.push_back(std::move(m));
            skip_space();
            if (at_end()) return false;
            if (peek() == '}') break;
            if (peek() != ',') return false;
            ++pos_;
        }
        ++pos_;
        std::stable_sort(out.members.begin(), out.members.end(),
                         [](const json_member& a, const json_member& b) { return a.key < b.key; });
        return true;
    }

    bool array(json_value& out, int depth)
    {
        out.type = json_value::kind::array;
        ++pos_;
        skip_space();
        if (!at_end() && peek() == ']') { ++pos_; return true; }
        for (;;) {
            out.items.emplace_back();
            if (!value(out.items.back(), depth + 1)) return false;
            skip_space();
            if (at_end()) return false;
            if (peek() == ']') break;
            if (peek() != ',') return false;
            ++pos_;
        }
        ++pos_;
        return true;
    }

    bool number(double& out)
    {
        size_t start = pos_;
        while (!at_end() && (peek() == '-' || peek() == '+' || peek() == '.' || peek() == 'e' ||
                             peek() == 'E' || (peek() >= '0' && peek() <= '9')))
            ++pos_;
        if (pos_ == start) return false;
        auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + pos_, out);
        return ec == std::errc() && end == text_.data() + pos_;
    }

    bool hex4(uint32_t& out)
    {
        if (text_.size() - pos_ < 4) return false;
        auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, out, 16);
        if (ec != std::errc() || end != text_.data() + pos_ + 4) return false;
        pos_ += 4;
        return true;
    }

    // \uXXXX, joining a surrogate pair into one code point.
    bool unicode_escape(std::string& out)
    {
        uint32_t cp = 0;
        if (!hex4(cp)) return false;
        if (cp >= 0xD800 && cp < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
            size_t back = pos_;
            pos_ += 2;
            uint32_t low = 0;
            if (hex4(low) && low >= 0xDC00 && low < 0xE000)
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else
                pos_ = back;
        }
        append_utf8(out, cp);
        return true;
    }

    bool escape(std::string& out)
    {
        if (at_end()) return false;
        char c = text_[pos_++];
        switch (c) {
        case '"': case '\\': case '/': out += c; return true;
        case 'b': out += '\b'; return true;
        case 'f': out += '\f'; return true;
        case 'n': out += '\n'; return true;
        case 'r': out += '\r'; return true;
        case 't': out += '\t'; return true;
        case 'u': return unicode_escape(out);
        default: return false;
        }
    }

    bool string(std::string& out)
    {
        ++pos_;
        while (!at_end()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (c != '\\') out += c;
            else if (!escape(out)) return false;
        }
        return false;
    }
};

}  // namespace

const json_value* json_value::member(std::string_view key) const
{
    auto it = std::lower_bound(members.begin(), members.end(), key,
                               [](const json_member& m, std::string_view k) { return m.key < k; });
    return it != members.end() && it->key == key ? &it->value : nullptr;
}

std::optional<json_value> parse_json(std::string_view text) { return json_parser(text).whole(); }

}  // namespace kestrin::test
