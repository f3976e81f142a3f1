#include "scan/dictionary.h"

#include <algorithm>

#include "scan/chars.h"
#include "scan/strings.h"
#include "scan/token.h"
#include "scan/value.h"

namespace kestrin::scan {

namespace {

// Index just past the name whose first byte (after '/') is at pos.
std::int32_t name_end(std::string_view text, std::int32_t pos)
{
    const std::int32_t limit = text_limit(text);
    while (pos < limit && is_regular(byte_at(text, pos))) ++pos;
    return pos;
}

bool closes_dictionary(std::string_view text, std::int32_t pos)
{
    return has_room(pos, 2, text_limit(text)) && text[static_cast<std::size_t>(pos)] == '>' &&
           text[static_cast<std::size_t>(pos) + 1] == '>';
}

std::int32_t past_value(std::string_view text, std::int32_t pos)
{
    if (pos < text_limit(text) && text[static_cast<std::size_t>(pos)] == '/') return name_end(text, pos + 1);
    return skip_value_or_byte(text, pos);
}

}  // namespace

bool name_equals(std::string_view raw, std::string_view name)
{
    // An escape is three bytes for one, so only a longer raw name can decode to name.
    if (raw.size() <= name.size()) return raw == name;
    return raw.find('#') != std::string_view::npos && decode_name(raw) == name;
}

dict_walk::dict_walk(std::string_view text, std::int32_t start) : text_(text)
{
    pos_ = skip_ws_and_comments(text, start < 0 ? 0 : start);
    if (opens_dictionary(text, pos_)) pos_ += 2;
}

bool dict_walk::next()
{
    const std::int32_t limit = text_limit(text_);
    for (;;) {
        pos_ = skip_ws_and_comments(text_, pos_);
        if (pos_ >= limit || closes_dictionary(text_, pos_)) return false;
        if (text_[static_cast<std::size_t>(pos_)] != '/') {
            // The rest of a value such as "0 R", or a stray token: not a key.
            pos_ = past_value(text_, pos_);
            continue;
        }
        const std::int32_t end = name_end(text_, pos_ + 1);
        key_pos_ = pos_;
        raw_key_ = text_.substr(static_cast<std::size_t>(pos_) + 1, static_cast<std::size_t>(end - pos_ - 1));
        value_ = skip_ws_and_comments(text_, end);
        // A key without a value before the dictionary's end keeps the ">>" for the next step.
        pos_ = value_ >= limit || closes_dictionary(text_, value_) ? value_ : past_value(text_, value_);
        return true;
    }
}

std::int32_t entry_value_at(std::string_view text, std::int32_t start, std::string_view key)
{
    dict_walk walk(text, start);
    while (walk.next())
        if (name_equals(walk.raw_key(), key)) return walk.value();
    return -1;
}

void entry_values_at(std::string_view text, std::int32_t start, std::span<const std::string_view> keys,
                     std::span<std::int32_t> at)
{
    std::fill(at.begin(), at.end(), -1);
    const std::size_t count = std::min(keys.size(), at.size());
    std::string decoded;
    dict_walk walk(text, start);
    while (walk.next()) {
        // A key is decoded once, not once per wanted key; most keys have no escape.
        std::string_view key = walk.raw_key();
        if (key.find('#') != std::string_view::npos) {
            decoded = decode_name(key);
            key = decoded;
        }
        for (std::size_t i = 0; i < count; ++i)
            if (key == keys[i]) {
                if (at[i] < 0) at[i] = walk.value();
                break;
            }
    }
}

std::optional<std::string> name_at(std::string_view text, std::int32_t pos)
{
    if (pos < 0 || pos >= text_limit(text) || text[static_cast<std::size_t>(pos)] != '/') return std::nullopt;
    const std::int32_t end = name_end(text, pos + 1);
    return decode_name(text.substr(static_cast<std::size_t>(pos) + 1, static_cast<std::size_t>(end - pos - 1)));
}

bool name_value_is(std::string_view text, std::int32_t pos, std::string_view name)
{
    if (pos < 0 || pos >= text_limit(text) || text[static_cast<std::size_t>(pos)] != '/') return false;
    const std::int32_t end = name_end(text, pos + 1);
    return name_equals(text.substr(static_cast<std::size_t>(pos) + 1, static_cast<std::size_t>(end - pos - 1)), name);
}

}  // namespace kestrin::scan
