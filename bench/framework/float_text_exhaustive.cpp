// Checks floatText against an independent oracle on all 2^32 float bit
// patterns. Not a test (it takes minutes): build and run on demand,
//   cmake --build build/native --target float_text_exhaustive
//   build/native/bench/framework/float_text_exhaustive [threads [stride]]
// (a stride above 1 checks every stride-th pattern only, for a quick look)
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
    unsigned threads = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    const std::uint64_t stride = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    std::atomic<std::uint64_t> differences{0};
    std::mutex printLock;
    auto start = std::chrono::steady_clock::now();

    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            std::fesetround(FE_TOWARDZERO); // per thread: the oracle's truncating conversion
            std::uint64_t begin = (std::uint64_t(1) << 32) * t / threads;
            std::uint64_t end = (std::uint64_t(1) << 32) * (t + 1) / threads;
            for (std::uint64_t b = begin; b < end; b += stride ? stride : 1) {
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
        });
    }
    for (std::thread& th : pool) th.join();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu differences in 4294967296 bit patterns (stride %llu), %.0f s on %u threads\n",
                static_cast<unsigned long long>(differences.load()), static_cast<unsigned long long>(stride),
                seconds, threads);
    return differences.load() == 0 ? 0 : 1;
}
