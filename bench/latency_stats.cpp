// Answer latency from a simulator log written with --log FILE --log-timestamps.
//
//   bench_latency_stats LOG...
//
// The device only speaks when it is answered or when its idle window runs out, so every
// byte it receives answers the last byte it sent before it: latency = time of the rx
// line minus time of the tx line before it. All logs given are pooled.
// Prints: count=N p50_us=X p99_us=X max_us=X
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char **argv) {
    std::vector<long long> latencies;
    for (int i = 1; i < argc; ++i) {
        std::FILE *f = std::fopen(argv[i], "r");
        if (!f) {
            std::perror(argv[i]);
            return 1;
        }
        long long at = 0, lastTx = -1;
        char direction[4] = {};
        unsigned byte = 0;
        while (std::fscanf(f, "%lld %3s %u", &at, direction, &byte) == 3) {
            if (!std::strcmp(direction, "tx")) {
                lastTx = at;
            } else if (lastTx >= 0) {
                latencies.push_back(at - lastTx);
                lastTx = -1;  // a second byte in a row answers nothing new
            }
        }
        std::fclose(f);
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
