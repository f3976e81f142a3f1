// Overlapping calls: many threads flatten and count different corpus files at once, through every
// kind of call, and each output, count and error text must be the serial run's. CI runs this test
// under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "kestrin.h"
#include "manifest.h"
#include "pdf_builder.h"

namespace {

using kestrin::test::read_file;
using kestrin::test::run_command;
using kestrin::test::temp_dir;

struct outcome {
    int32_t flatten_rc = 0;
    std::string output;  // the flattened bytes, or the error text
    int32_t fields = 0;
    int32_t annots = 0;
    std::string count_error;
    bool operator==(const outcome&) const = default;
};

// Call kind by job index: the three original calls, kestrin_flatten with options (compact output
// among them), and memory.
outcome run_job(const std::string& in, std::size_t index, const std::string& out_path)
{
    outcome r;
    kestrin_options o = KESTRIN_OPTIONS_INIT;
    switch (index % 5) {
    case 0: r.flatten_rc = kestrin_all(in.c_str(), out_path.c_str()); break;
    case 1: r.flatten_rc = kestrin_forms(in.c_str(), out_path.c_str()); break;
    case 2: r.flatten_rc = kestrin_annotations(in.c_str(), out_path.c_str()); break;
    case 3:
        o.keep_links = 1;
        o.print_only = 1;
        o.compact = 1;
        r.flatten_rc = kestrin_flatten(in.c_str(), out_path.c_str(), &o);
        break;
    default: {
        const std::string bytes = read_file(in);
        void* out = nullptr;
        size_t len = 0;
        o.print_only = 1;
        o.non_printing = KESTRIN_NON_PRINTING_KEEP;
        r.flatten_rc = kestrin_flatten_memory(bytes.data(), bytes.size(), &out, &len, &o);
        if (r.flatten_rc == 0) r.output.assign(static_cast<const char*>(out), len);
        kestrin_free(out);
        break;
    }
    }
    if (r.flatten_rc != 0)
        r.output = kestrin_last_error();
    else if (index % 5 != 4)
        r.output = read_file(out_path);
    r.fields = kestrin_field_count(in.c_str());
    r.annots = kestrin_annotation_count(in.c_str());
    r.count_error = kestrin_last_error();
    return r;
}

// The corpus files (the first KESTRIN_CONCURRENCY_FILES of them when that is set, for slow
// checkers), one large generated file whose calls use their own second thread, and two failures.
std::vector<std::string> inputs(const temp_dir& dir)
{
    std::vector<std::string> files;
    for (const auto& row : kestrin::test::read_manifest(KESTRIN_CORPUS_DIR)) files.push_back(row.path());
    if (files.empty()) return files;
    if (const char* limit = std::getenv("KESTRIN_CONCURRENCY_FILES"))
        files.resize(std::min<std::size_t>(files.size(), std::strtoul(limit, nullptr, 10)));
    const std::string gen = std::string(KESTRIN_CORPUS_DIR) + "/../tools/gen_bench_pdf.py";
    const std::string big = dir.file("big.pdf");
    if (run_command("python3 '" + gen + "' -n 1000 -k 10 --objstm '" + big + "' >/dev/null 2>&1") == 0) {
        // Early, so that it overlaps with many small files.
        files.insert(files.begin() + static_cast<long>(files.size() / 3), big);
        files.insert(files.begin(), big);
    }
    files.push_back(dir.file("missing.pdf"));
    files.push_back(dir.write("junk.pdf", "not a pdf"));
    return files;
}

TEST(Concurrency, ManyThreadsGiveTheSerialResults)
{
    temp_dir dir;
    const std::vector<std::string> files = inputs(dir);
    if (files.empty()) GTEST_SKIP() << "corpus not found at " << KESTRIN_CORPUS_DIR;
    const std::size_t n = files.size();

    std::vector<outcome> serial(n);
    for (std::size_t i = 0; i < n; ++i) serial[i] = run_job(files[i], i, dir.file("serial.pdf"));

    const unsigned threads = 8;
    std::vector<outcome> parallel(n);
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            const std::string out = dir.file("thread" + std::to_string(t) + ".pdf");
            for (std::size_t i = next++; i < n; i = next++) parallel[i] = run_job(files[i], i, out);
        });
    for (std::thread& t : pool) t.join();

    std::size_t failed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_TRUE(parallel[i] == serial[i]) << files[i] << " (call kind " << i % 5 << ")";
        if (serial[i].flatten_rc != 0) ++failed;
    }
    EXPECT_GE(failed, 2u);  // the missing and the junk file at least: error texts were compared
    EXPECT_LT(failed, n);
}

// Each thread sees the error text of its own last call only.
TEST(Concurrency, EachThreadKeepsItsOwnError)
{
    temp_dir dir;
    const std::string good = std::string(KESTRIN_SOURCE_DIR) + "/examples/example_form.pdf";
    std::atomic<int> wrong{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < 8; ++t)
        pool.emplace_back([&, t] {
            const std::string missing = dir.file("missing" + std::to_string(t) + ".pdf");
            for (int k = 0; k < 50; ++k) {
                if (t % 2 == 0) {
                    if (kestrin_field_count(missing.c_str()) != -1 ||
                        std::string(kestrin_last_error()) != "cannot open " + missing)
                        ++wrong;
                } else if (kestrin_field_count(good.c_str()) != 2 || kestrin_last_error()[0] != '\0') {
                    ++wrong;
                }
            }
        });
    for (std::thread& t : pool) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
