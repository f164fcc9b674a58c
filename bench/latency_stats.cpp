// Answer latency from simulator logs (answerlog.h), all logs given pooled.
//
//   bench_latency_stats LOG...
//
// Prints: count=N p50_us=X p99_us=X max_us=X
#include <algorithm>
#include <cstdio>
#include <vector>

#include "answerlog.h"

int main(int argc, char **argv) {
    std::vector<long long> latencies;
    for (int i = 1; i < argc; ++i) {
        if (!readAnswerLatencies(argv[i], latencies)) {
            std::perror(argv[i]);
            return 1;
        }
    }
    if (latencies.empty()) {
        std::fprintf(stderr, "no answered bytes in the logs\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies[size_t(q * double(latencies.size() - 1) + 0.5)]; };
    std::printf("count=%zu p50_us=%lld p99_us=%lld max_us=%lld\n", latencies.size(), at(0.50),
                at(0.99), latencies.back());
    return 0;
}
