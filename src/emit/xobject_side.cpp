// The XObject step on a second thread. Each XObject decodes its appearance stream, which makes
// the step the heaviest of the writer; it reads the document and the plan only, so it can run
// while the main thread rewrites the pages and copies the input objects. Its output is the same
// bytes the step writes alone, spliced in after the input objects.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "emit/writer.h"
#include "interface/fl_ctx.h"

namespace kestrin::emit {

namespace {

// Below this many XObjects a thread costs more than it saves.
constexpr std::size_t min_xobjects_beside = 256;
// The side thread waits while it holds this much output that the main thread has not taken.
constexpr std::uint64_t max_waiting_bytes = std::uint64_t{8} << 20;

// Finished pieces of the side thread's output, in order, until the main thread takes them.
class piece_queue final : public piece_sink {
public:
    void take(buf& b) override
    {
        buf empty;
        empty.flushed = b.flushed;
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return waiting_ < max_waiting_bytes || abandoned_; });
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
    bool next(buf& piece)
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
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
    std::deque<buf> pieces_;
    std::uint64_t waiting_ = 0;
    bool closed_ = false;
    bool abandoned_ = false;
};

// The side thread with its own writer over the same context. Destroyed before it was spliced
// (the main part failed), it stops the thread's output and waits for it.
class xobject_side {
public:
    explicit xobject_side(writer& w) : part_(w.ctx)
    {
        part_.xobj_item = w.xobj_item;
        part_.xobj_of_item = w.xobj_of_item;
        part_.offsets.assign(static_cast<std::size_t>(w.ctx.next_obj), -1);
        part_.sink = &queue_;
    }
    xobject_side(const xobject_side&) = delete;
    xobject_side& operator=(const xobject_side&) = delete;

    ~xobject_side()
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

    // Appends the side thread's output to w as it comes, then its offsets and frames.
    void splice_into(writer& w)
    {
        seal_object(w);
        const std::uint64_t base = w.out.flushed + w.out.len;
        for (buf piece; queue_.next(piece);) {
            if (w.sink != nullptr) {
                if (w.out.len > 0) {
                    w.out.flushed += w.out.len;
                    w.sink->take(w.out);
                }
                w.out.flushed += piece.len;
                w.sink->take(piece);
            } else {
                buf_append(w.out, piece.view());
            }
        }
        thread_.join();
        if (failure_) std::rethrow_exception(failure_);
        if (part_.out.failed || base + part_.out.flushed > buf_max_cap) w.out.failed = true;
        for (const xobj_entry& x : w.ctx.xobjs) {
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
            seal_object(part_);
            if (part_.out.len > 0 && !part_.out.failed) {
                part_.out.flushed += part_.out.len;
                queue_.take(part_.out);
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
        queue_.close();
    }

    writer part_;
    piece_queue queue_;
    std::exception_ptr failure_;  // set by the thread, read after joining it
    std::thread thread_;
};

}  // namespace

void write_xobjects_beside(writer& w, const std::function<void()>& main_part)
{
    if (w.ctx.xobjs.size() < min_xobjects_beside) {
        main_part();
        write_xobjects(w);
        return;
    }
    xobject_side side(w);
    if (!side.start()) {
        main_part();
        write_xobjects(w);
        return;
    }
    main_part();
    side.splice_into(w);
}

}  // namespace kestrin::emit
