// The eight exported functions. This is the firewall: arguments are checked first and no
// exception crosses the C ABI.
#include <exception>
#include <new>

#include <string>

#include "interface/count.h"
#include "interface/flatten.h"
#include "interface/last_error.h"
#include "kestrin.h"

namespace {

using namespace kestrin::interface;
using kestrin::plan::flatten_mode;

// A failure becomes the error text; a success clears it.
std::int32_t reported(const kestrin::base::status& done)
{
    if (!done) {
        set_error(done.message());
        return -1;
    }
    clear_error();
    return 0;
}

std::int32_t reported(const kestrin::base::result<std::int32_t>& count)
{
    if (!count) {
        set_error(count.message());
        return -1;
    }
    clear_error();
    return count.value();
}

template <typename Work>
std::int32_t guarded(Work work)
{
    try {
        return reported(work());
    } catch (const std::bad_alloc&) {
        set_error("out of memory");
    } catch (const std::exception& e) {
        set_error(std::string("internal error: ") + e.what());
    } catch (...) {
        set_error("internal error");
    }
    return -1;
}

}  // namespace

extern "C" {

KESTRIN_API int32_t kestrin_init(void)
{
    clear_error();
    return 1;
}

KESTRIN_API void kestrin_cleanup(void) { clear_error(); }

KESTRIN_API const char* kestrin_last_error(void) { return error_text(); }

KESTRIN_API int32_t kestrin_all(const char* input_path, const char* output_path)
{
    return guarded([&] { return flatten_file(input_path, output_path, flatten_mode::all); });
}

KESTRIN_API int32_t kestrin_forms(const char* input_path, const char* output_path)
{
    return guarded([&] { return flatten_file(input_path, output_path, flatten_mode::forms); });
}

KESTRIN_API int32_t kestrin_annotations(const char* input_path, const char* output_path)
{
    return guarded([&] { return flatten_file(input_path, output_path, flatten_mode::annotations); });
}

KESTRIN_API int32_t kestrin_field_count(const char* input_path)
{
    return guarded([&] { return field_count(input_path); });
}

KESTRIN_API int32_t kestrin_annotation_count(const char* input_path)
{
    return guarded([&] { return annotation_count(input_path); });
}

}  // extern "C"
