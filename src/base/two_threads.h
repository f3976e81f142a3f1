// Two independent pieces of work run at once: one on a second thread, one on the calling thread.
// Used where a stage splits into halves that only read the document.
#pragma once

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>

namespace kestrin::base {

// Below this many bytes of input a second thread costs more than it saves.
inline constexpr std::size_t min_bytes_for_two_threads = std::size_t{4} << 20;

// Runs side on a second thread and main on this one, and returns when both are done. When no
// thread can be started, both run here, main first. An exception of either reaches the caller,
// main's first, and only once both have stopped.
template <class Side, class Main>
void run_on_two_threads(Side&& side, Main&& main)
{
    std::exception_ptr side_failure;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                side();
            } catch (...) {
                side_failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        main();
        side();
        return;
    }
    try {
        main();
    } catch (...) {
        thread.join();
        throw;
    }
    thread.join();
    if (side_failure) std::rethrow_exception(side_failure);
}

// Runs part(0, count / 2) on this thread and part(count / 2, count) on a second one, as
// run_on_two_threads does.
template <class Part>
void run_in_halves(std::size_t count, Part&& part)
{
    const std::size_t half = count / 2;
    run_on_two_threads([&] { part(half, count); }, [&] { part(0, half); });
}

}  // namespace kestrin::base
