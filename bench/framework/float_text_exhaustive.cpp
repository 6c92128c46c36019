// Checks floatText against an independent oracle on all 2^32 float bit
// patterns. Not a test (it takes minutes): build and run on demand,
//   cmake --build build/native --target float_text_exhaustive
//   build/native/bench/framework/float_text_exhaustive [THREADS [STRIDE]]
// THREADS: worker threads (default: one per core); STRIDE: check every
// STRIDE-th pattern only (default 1: all of them). All patterns take most of an
// hour on two cores (STRIDE 40 measured 80 s); STRIDE 4099 about a second. A progress line on
// stderr every few seconds; the result on stdout; exit status 1 when any
// pattern differs.
//
// The oracle is tests/support/float_text_oracle.h; CTest runs it on a
// stride of about a million patterns (float_text_oracle_test).
#include "framework/value_text.h"
#include "tests/support/float_text_oracle.h"

#include <atomic>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: float_text_exhaustive [THREADS [STRIDE]]\n"
                        "Checks floatText against an independent oracle on every float bit pattern.\n"
                        "  THREADS  worker threads (default: one per core)\n"
                        "  STRIDE   check every STRIDE-th pattern only (default 1: all 2^32, most of\n"
                        "           an hour on two cores; 4099: about a second)\n"
                        "Progress goes to stderr; exit status 1 when any pattern differs.\n");
            return 0;
        }
        if (argv[i][0] < '0' || argv[i][0] > '9') {
            std::fprintf(stderr, "float_text_exhaustive: '%s' is not a number (see --help)\n", argv[i]);
            return 64;
        }
    }
    unsigned threads = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    const std::uint64_t stride = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    std::atomic<std::uint64_t> differences{0};
    std::atomic<std::uint64_t> done{0}; // patterns checked, counted in batches
    std::mutex printLock;
    auto start = std::chrono::steady_clock::now();

    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            std::fesetround(FE_TOWARDZERO); // per thread: the oracle's truncating conversion
            std::uint64_t begin = (std::uint64_t(1) << 32) * t / threads;
            std::uint64_t end = (std::uint64_t(1) << 32) * (t + 1) / threads;
            std::uint64_t batch = 0;
            for (std::uint64_t b = begin; b < end; b += stride ? stride : 1) {
                if (++batch == 65536) {
                    done += batch;
                    batch = 0;
                }
                auto bits = static_cast<std::uint32_t>(b);
                float f;
                std::memcpy(&f, &bits, sizeof f);
                std::string got = qem::floatText(f);
                std::string want = qem::test::floatTextOracle(bits);
                if (got != want && differences.fetch_add(1) < 20) {
                    std::lock_guard<std::mutex> lock(printLock);
                    std::printf("0x%08X: floatText %s, oracle %s\n", bits, got.c_str(), want.c_str());
                }
            }
            done += batch;
        });
    }
    // Progress: what share is done, and an estimate of the time left.
    const std::uint64_t total = ((std::uint64_t(1) << 32) + (stride ? stride : 1) - 1) / (stride ? stride : 1);
    std::atomic<bool> finished{false};
    std::thread progress([&] {
        while (!finished) {
            for (int i = 0; i < 50 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (finished) break;
            double share = static_cast<double>(done.load()) / static_cast<double>(total);
            double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "%5.1f%% checked, %llu differences, about %.0f s left\n", share * 100,
                         static_cast<unsigned long long>(differences.load()),
                         share > 0 ? elapsed / share - elapsed : 0.0);
        }
    });
    for (std::thread& th : pool) th.join();
    finished = true;
    progress.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu differences in 4294967296 bit patterns (stride %llu), %.0f s on %u threads\n",
                static_cast<unsigned long long>(differences.load()), static_cast<unsigned long long>(stride),
                seconds, threads);
    return differences.load() == 0 ? 0 : 1;
}
