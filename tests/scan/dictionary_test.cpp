#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "scan/dictionary.h"

namespace {

using namespace std::string_view_literals;
using kestrin::scan::dict_walk;
using kestrin::scan::entry_value_at;
using kestrin::scan::entry_values_at;

// Each entry as "key=first bytes of the value".
std::vector<std::string> entries(std::string_view text)
{
    std::vector<std::string> out;
    dict_walk walk(text, 0);
    while (walk.next()) out.push_back(std::string(walk.raw_key()) + "=" + std::string(text.substr(walk.value(), 2)));
    return out;
}

TEST(DictWalk, VisitsOnlyTheDictionarysOwnEntries)
{
    struct walk_case {
        const char* why;
        std::string_view text;
        std::vector<std::string> expected;
    };
    const walk_case cases[] = {
        {"plain", "<< /A 1 /B /C >>", {"A=1 ", "B=/C"}},
        {"references", "<< /P 12 0 R /F 4 >>", {"P=12", "F=4 "}},
        {"nested dictionary", "<< /AA << /F 158 0 R >> /F 4 >>", {"AA=<<", "F=4 "}},
        {"array of names", "<< /K [/F /G] /F 4 >>", {"K=[/", "F=4 "}},
        {"string with a key inside", "<< /T (/F 2) /F 4 >>", {"T=(/", "F=4 "}},
        {"hex string", "<< /T <2F46> /F 4 >>", {"T=<2", "F=4 "}},
        {"comment", "<< /A 1 % /B 2\n/C 3 >>", {"A=1 ", "C=3 "}},
        {"compact", "<</A/B/C[1]>>", {"A=/B", "C=[1"}},
        {"ends at its own close", "<< /A << >> >> /B 1", {"A=<<"}},
        {"key without a value", "<< /A >>", {"A=>>"}},
        {"unclosed", "<< /A 1 /B", {"A=1 ", "B="}},
        {"body without <<", "/A 1 /B 2", {"A=1 ", "B=2"}},
    };
    for (const walk_case& c : cases) EXPECT_EQ(entries(c.text), c.expected) << c.why;
}

TEST(EntryValueAt, MatchesDecodedKeys)
{
    const std::string_view text = "<< /MK << /F 2 >> /#46 6 >>";
    const std::int32_t at = entry_value_at(text, 0, "F");
    ASSERT_GE(at, 0);
    EXPECT_EQ(text.substr(static_cast<std::size_t>(at), 1), "6");
    EXPECT_EQ(entry_value_at(text, 0, "G"), -1);
}

// Several keys found in one walk agree with looking each up on its own.
TEST(EntryValuesAt, AgreesWithOneLookupPerKey)
{
    const std::string_view keys[] = {"F", "T", "AP", "Rect"};
    const std::string_view texts[] = {
        "<< /F 4 /T (a) /AP << /N 5 0 R >> /Rect [0 0 1 1] >>",
        "<< /MK << /F 2 /T (x) >> /#46 6 >>",  // nested keys unseen, escaped key decoded
        "<< /F 1 /F 2 /T#20 3 >>",             // the first of two; "T " is another key
        "<< /AP >>",                           // a key without a value
        "<< /Rect [1 2 3 4]",                  // unclosed
        "no dictionary",
    };
    for (std::string_view text : texts) {
        std::int32_t at[std::size(keys)];
        entry_values_at(text, 0, keys, at);
        for (std::size_t i = 0; i < std::size(keys); ++i)
            EXPECT_EQ(at[i], entry_value_at(text, 0, keys[i])) << text << " key " << keys[i];
    }
}

}  // namespace
