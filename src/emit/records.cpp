#include "emit/records.h"

namespace kestrin::emit {

std::string* ov_list::find(std::int32_t num)
{
    auto it = index.find(num);
    return it == index.end() ? nullptr : &texts[static_cast<std::size_t>(it->second)];
}

const std::string* ov_list::find(std::int32_t num) const
{
    auto it = index.find(num);
    return it == index.end() ? nullptr : &texts[static_cast<std::size_t>(it->second)];
}

}  // namespace kestrin::emit
