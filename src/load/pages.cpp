#include "load/pages.h"

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/frame.h"
#include "scan/reference.h"
#include "scan/keys.h"
#include "scan/token.h"

namespace kestrin::load {

namespace {

using scan::skip_ws;

// Walk results besides a page count.
constexpr int walk_failed = -1;
constexpr int walk_inline_kids = -2;

// Node dictionaries read by one walk, as a multiple of the document's text: the dictionaries of
// a sound tree are disjoint, so only objects that overlap one another (nested headers of a damaged
// file) can exceed it, and such a tree counts as broken rather than costing quadratic time.
constexpr std::int64_t node_text_factor = 4;

// Kids kept per node when the node's length says little; longer nodes get a quarter of their length
// more, since every reference takes at least six bytes.
constexpr std::int32_t base_kids_capacity = 4096;

int type_of(const doc& d, const obj_entry& e)
{
    dict_span span = d.span_of(e);
    return scan::obj_type(span.text, span.start);
}

// Position of the "[" of the first "/Kids" whose value is a direct array, or -1.
std::int32_t kids_array(std::string_view text, std::int32_t start)
{
    std::int32_t size = static_cast<std::int32_t>(text.size());
    for (std::int32_t p = scan::find_key_anywhere(text, start, size, scan::key::kids); p >= 0;
         p = scan::find_key_anywhere(text, p + 1, size, scan::key::kids)) {
        std::int32_t q = scan::value_start(text, p, scan::key::kids);
        if (q < size && scan::byte_at(text, q) == '[') return q;
    }
    return -1;
}

}  // namespace

std::int32_t kids_capacity_for(std::int64_t length)
{
    if (length <= 0) return base_kids_capacity;
    return static_cast<std::int32_t>(length / 4 + base_kids_capacity);
}

std::int32_t kids_capacity(const obj_entry& e)
{
    return kids_capacity_for(e.in_object_stream ? e.text_len : static_cast<std::int64_t>(e.endobj_pos) - e.hdr_pos);
}

std::int32_t kids_in(std::string_view text, std::int32_t start, std::vector<std::int32_t>& out,
                     std::int32_t capacity)
{
    const std::int32_t open = kids_array(text, start);
    if (open < 0) return -1;
    const scan::reference_array read =
        scan::read_reference_array(text, open, capacity, out, scan::on_inline_dictionary::stop);
    return read.holds_dictionary ? -2 : read.stored;
}

std::int32_t parse_kids(const doc& d, const obj_entry& node, std::vector<std::int32_t>& out,
                        std::int32_t capacity)
{
    dict_span span = d.span_of(node);
    if (!span) return -1;
    return kids_in(span.text, span.start, out, capacity);
}

namespace {

// The kids of one node being walked and the next one to visit.
struct kids_frame {
    std::vector<std::int32_t> kids;
    std::size_t next = 0;
};

class page_walk {
public:
    page_walk(doc& d, std::vector<std::uint8_t>&& visited)
        : d_(d), visited_(std::move(visited)), types_(visited_.size(), unknown_type),
          node_text_left_(node_text_factor * (static_cast<std::int64_t>(d.len) +
                                              static_cast<std::int64_t>(d.arena.total)))
    {
    }

    // Walks depth-first in "Kids" order with an explicit stack, so a deep tree cannot exhaust
    // the machine stack; visited marks enter every node once, which ends cycles.
    int run(std::int32_t root_num)
    {
        const obj_entry* root = d_.objs.find(root_num);
        if (root == nullptr) return walk_failed;
        int type = cached_type(*root);
        if (type == scan::type_page) {
            add_page(root_num);
            return 1;
        }
        if (type != scan::type_page_tree_node) return walk_failed;
        int entered = enter(*root);
        if (entered < 0) return entered;
        while (!stack_.empty())
            if (step() != 0) return walk_failed;
        return static_cast<int>(d_.pages.size());
    }

private:
    // Marks a node and pushes its kids: 0, or the walk's failure; a node without usable kids
    // contributes no pages.
    int enter(const obj_entry& node)
    {
        if (node.num <= d_.max_obj) {
            auto& mark = visited_[static_cast<std::size_t>(node.num)];
            if (mark) return walk_failed;
            mark = 1;
        }
        dict_span span = d_.span_of(node);
        node_text_left_ -= static_cast<std::int64_t>(span.text.size()) - span.start;
        if (node_text_left_ < 0) return walk_failed;
        kids_frame frame;
        std::int32_t n = parse_kids(d_, node, frame.kids, kids_capacity(node));
        if (n == -2) return walk_inline_kids;
        if (n > 0) stack_.push_back(std::move(frame));
        return 0;
    }

    // Visits the next kid of the innermost node; 0, or nonzero when the tree is broken.
    int step()
    {
        kids_frame& top = stack_.back();
        if (top.next == top.kids.size()) {
            stack_.pop_back();
            return 0;
        }
        std::int32_t num = top.kids[top.next++];
        const obj_entry* kid = d_.objs.find(num);
        if (kid == nullptr) return walk_failed;
        int type = cached_type(*kid);
        if (type == scan::type_page) {
            add_page(num);
            return 0;
        }
        if (type != scan::type_page_tree_node) return walk_failed;
        // An inline dictionary below the root breaks the tree like any other fault.
        return enter(*kid) == 0 ? 0 : walk_failed;
    }

    // A list that cannot grow loses the page; the walk goes on without it.
    void add_page(std::int32_t num)
    {
        try {
            d_.pages.push_back(num);
        } catch (const std::bad_alloc&) {
        }
    }

    // A page listed many times is classified once.
    int cached_type(const obj_entry& e)
    {
        if (e.num < 0 || static_cast<std::size_t>(e.num) >= types_.size()) return type_of(d_, e);
        std::int8_t& slot = types_[static_cast<std::size_t>(e.num)];
        if (slot == unknown_type) slot = static_cast<std::int8_t>(type_of(d_, e));
        return slot;
    }

    static constexpr std::int8_t unknown_type = -1;

    doc& d_;
    std::vector<std::uint8_t> visited_;
    std::vector<std::int8_t> types_;
    std::int64_t node_text_left_;
    std::vector<kids_frame> stack_;
};

std::int32_t page_tree_root(const doc& d, const obj_entry& catalog)
{
    int type = type_of(d, catalog);
    if (type == scan::type_page || type == scan::type_page_tree_node) return catalog.num;
    return pages_entry(d, catalog);
}

}  // namespace

std::int32_t pages_number_in(std::string_view text, std::int32_t start)
{
    const auto size = static_cast<std::int32_t>(text.size());
    for (std::int32_t p = scan::find_key_anywhere(text, start, size, scan::key::pages); p >= 0;
         p = scan::find_key_anywhere(text, p + 1, size, scan::key::pages)) {
        std::int32_t pos = scan::value_start(text, p, scan::key::pages);
        const std::int32_t v = scan::parse_int_at(text, pos);
        if (v > 0) return v;
    }
    return -1;
}

std::int32_t pages_entry(const doc& d, const obj_entry& catalog)
{
    if (catalog.in_object_stream) {
        if (catalog.text == nullptr) return -1;
        return pages_number_in(std::string_view(catalog.text, static_cast<std::size_t>(catalog.text_len)), 0);
    }
    if (catalog.dict_pos < 0) return -1;
    const std::int32_t stop = catalog.endobj_pos > 0 ? catalog.endobj_pos : d.len;
    return pages_number_in(d.file().substr(0, static_cast<std::size_t>(stop)), catalog.dict_pos);
}

base::status resolve_page_tree(doc& d)
{
    const obj_entry* catalog = d.objs.find(d.root);
    if (catalog == nullptr) return base::status::success();
    std::int32_t root = page_tree_root(d, *catalog);
    if (root <= 0) return base::status::success();
    std::vector<std::uint8_t> visited;
    try {
        visited.assign(static_cast<std::size_t>(d.max_obj) + 1, 0);
    } catch (const std::bad_alloc&) {
        // Without room for the visited marks the tree is not walked at all.
        return base::status::success();
    }
    int result = page_walk(d, std::move(visited)).run(root);
    if (result == walk_inline_kids)
        return base::status::failure(
            "page tree uses inline page dictionaries in /Kids \xE2\x80\x94 pages must be "
            "indirect objects");
    if (result < 0)
        return base::status::failure("could not resolve the page tree (obj " + std::to_string(root) +
                                     " is not a /Pages or /Page object, or tree is broken)");
    return base::status::success();
}

}  // namespace kestrin::load
