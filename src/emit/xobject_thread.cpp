// The XObject step on a second thread. Each XObject decodes its appearance stream, which makes
// the step the heaviest of the writer; it reads the document and the plan only, so it can run
// while the main thread rewrites the pages and copies the input objects. Its output is the same
// bytes the step writes alone, spliced in after the input objects.
#include "emit/xobject_thread.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "emit/object_check.h"
#include "emit/object_writer.h"
#include "emit/xobject.h"

namespace kestrin::emit {

namespace {

// Below this many XObjects a thread costs more than it saves.
constexpr std::size_t min_xobjects_for_a_thread = 256;
// How the second thread hands on its output: the capacity of each piece's first block, the size
// at which a piece is handed on, and how much output it may hold that the main thread has not
// taken before it waits.
struct piece_rule {
    std::uint64_t first_capacity = base::buffer_first_capacity;
    std::uint64_t piece_size = default_piece_size;
    std::uint64_t max_waiting = std::uint64_t{8} << 20;
};

// On a large input the pieces are larger, each taken at once as one block in huge pages, and more
// of them may wait: the thread then spends less on the kernel's first touch of fresh memory and
// less time waiting for the main thread. On a smaller input such pieces would be a large share of
// the memory the call takes.
constexpr std::int32_t min_input_for_large_pieces = std::int32_t{16} << 20;
constexpr std::uint64_t large_piece_capacity = std::uint64_t{4} << 20;
constexpr piece_rule large_pieces{large_piece_capacity, large_piece_capacity - piece_slack, std::uint64_t{12} << 20};

piece_rule piece_rule_for(const load::doc& d)
{
    return d.len >= min_input_for_large_pieces ? large_pieces : piece_rule{};
}

// Finished pieces of the second thread's output, in order, until the main thread takes them.
class piece_queue final : public base::output_sink {
public:
    explicit piece_queue(const piece_rule& rule) : rule_(rule) {}

    void take(base::byte_buffer& b) override
    {
        base::byte_buffer empty;
        empty.flushed = b.flushed;
        empty.first_capacity = rule_.first_capacity;
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return waiting_ < rule_.max_waiting || abandoned_; });
        if (abandoned_) {
            // Nobody takes more: the rest of the step runs out quickly without output.
            empty.failed = true;
        } else {
            waiting_ += b.len;
            pieces_.push_back(std::move(b));
            ready_.notify_one();
        }
        b = std::move(empty);
    }

    void close()
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_one();
    }

    void abandon()
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        room_.notify_one();
    }

    // The next piece, waiting for it; false once the queue is closed and empty.
    bool next(base::byte_buffer& piece)
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !pieces_.empty() || closed_; });
        if (pieces_.empty()) return false;
        piece = std::move(pieces_.front());
        pieces_.pop_front();
        waiting_ -= piece.len;
        room_.notify_one();
        return true;
    }

private:
    const piece_rule rule_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
    std::deque<base::byte_buffer> pieces_;
    std::uint64_t waiting_ = 0;
    bool closed_ = false;
    bool abandoned_ = false;
};

// The second thread with its own writer over the same document and plan, which both writers
// only read. Destroyed before it was spliced (the main part failed), it stops the thread's output
// and waits for it.
class xobject_thread {
public:
    // Takes w's frames, which the compact output settled before the pages: the step fills in
    // the rest, and they come back with its output.
    explicit xobject_thread(writer& w)
        : rule_(piece_rule_for(w.doc)), part_(w.doc, w.plan, w.generated, w.compact), queue_(rule_)
    {
        part_.offsets.assign(static_cast<std::size_t>(w.plan.next_free_obj), -1);
        part_.sink = &queue_;
        part_.piece_size = rule_.piece_size;
        part_.out.first_capacity = rule_.first_capacity;
        part_.compact_forms = w.compact_forms;
        part_.frames = std::move(w.frames);
    }
    xobject_thread(const xobject_thread&) = delete;
    xobject_thread& operator=(const xobject_thread&) = delete;

    ~xobject_thread()
    {
        if (!thread_.joinable()) return;
        queue_.abandon();
        thread_.join();
    }

    // False when no thread could be started.
    bool start()
    {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // Appends the thread's output to w as it comes, then its offsets and frames.
    void splice_into(writer& w)
    {
        check_open_object(w);
        const std::uint64_t base = w.out.flushed + w.out.len;
        for (base::byte_buffer piece; queue_.next(piece);) {
            if (w.sink != nullptr) {
                if (w.out.len > 0) {
                    w.out.flushed += w.out.len;
                    hand_on(w, w.out);
                }
                w.out.flushed += piece.len;
                hand_on(w, piece);
            } else {
                w.out.append(piece.view());
            }
        }
        thread_.join();
        if (failure_) std::rethrow_exception(failure_);
        if (part_.out.failed || base + part_.out.flushed > base::buffer_max_size) w.out.failed = true;
        for (const plan::xobject_entry& x : w.plan.xobjects) {
            const std::int32_t at = part_.offsets[static_cast<std::size_t>(x.obj)];
            if (at >= 0) w.offsets[static_cast<std::size_t>(x.obj)] = static_cast<std::int32_t>(base + static_cast<std::uint64_t>(at));
        }
        w.frames = std::move(part_.frames);
    }

private:
    void run()
    {
        try {
            write_xobjects(part_);
            check_open_object(part_);
            if (part_.out.len > 0 && !part_.out.failed) {
                part_.out.flushed += part_.out.len;
                queue_.take(part_.out);
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
        queue_.close();
    }

    const piece_rule rule_;
    writer part_;
    piece_queue queue_;
    std::exception_ptr failure_;  // set by the thread, read after joining it
    std::thread thread_;
};

}  // namespace

void write_xobjects_alongside(writer& w, const std::function<void()>& main_part)
{
    if (w.plan.xobjects.size() < min_xobjects_for_a_thread) {
        main_part();
        write_xobjects(w);
        return;
    }
    xobject_thread thread(w);
    if (!thread.start()) {
        main_part();
        write_xobjects(w);
        return;
    }
    main_part();
    thread.splice_into(w);
}

}  // namespace kestrin::emit
