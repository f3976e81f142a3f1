// The exported functions. This is the firewall: arguments are checked first and no exception
// crosses the C ABI. The original eight are thin calls of the same core with fixed choices.
#include <exception>
#include <new>

#include <string>

#include "base/large_block.h"
#include "interface/count.h"
#include "interface/flatten.h"
#include "interface/last_error.h"
#include "interface/options.h"
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
    return guarded([&] { return field_count(input_source::file(input_path)); });
}

KESTRIN_API int32_t kestrin_annotation_count(const char* input_path)
{
    return guarded([&] { return annotation_count(input_source::file(input_path)); });
}

KESTRIN_API const char* kestrin_version(void) { return KESTRIN_VERSION_STRING; }

KESTRIN_API void kestrin_options_init(kestrin_options* options)
{
    if (options == nullptr) return;
    *options = kestrin_options{};
    options->size = sizeof(kestrin_options);
}

KESTRIN_API int32_t kestrin_flatten(const char* input_path, const char* output_path,
                                    const kestrin_options* options)
{
    return guarded([&]() -> kestrin::base::status {
        const kestrin::base::result<flatten_choices> choices = read_options(options);
        if (!choices) return kestrin::base::status::failure(choices.message());
        return flatten(input_source::file(input_path), choices.value(), output_target::file(output_path));
    });
}

KESTRIN_API int32_t kestrin_flatten_memory(const void* input, size_t input_length, void** output,
                                           size_t* output_length, const kestrin_options* options)
{
    if (output != nullptr) *output = nullptr;
    if (output_length != nullptr) *output_length = 0;
    return guarded([&]() -> kestrin::base::status {
        using kestrin::base::status;
        if (output == nullptr || output_length == nullptr)
            return status::failure("NULL output or output_length pointer");
        const kestrin::base::result<flatten_choices> choices = read_options(options);
        if (!choices) return status::failure(choices.message());
        kestrin::base::byte_buffer built;
        output_target to;
        to.memory = &built;
        if (status done = flatten(input_source::memory(input, input_length), choices.value(), to); !done)
            return done;
        // The buffer is the writer's own block, handed over without a copy; kestrin_free
        // releases it as it was allocated.
        *output_length = static_cast<size_t>(built.len);
        *output = built.data.release();
        return status::success();
    });
}

KESTRIN_API int32_t kestrin_field_count_memory(const void* input, size_t input_length)
{
    return guarded([&] { return field_count(input_source::memory(input, input_length)); });
}

KESTRIN_API int32_t kestrin_annotation_count_memory(const void* input, size_t input_length)
{
    return guarded([&] { return annotation_count(input_source::memory(input, input_length)); });
}

KESTRIN_API void kestrin_free(void* buffer) { kestrin::base::release_large_block(static_cast<char*>(buffer)); }

}  // extern "C"
