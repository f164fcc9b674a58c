#pragma once

// Answer latencies from a simulator log written with --log FILE --log-timestamps. The
// device only speaks when it is answered or when its idle window runs out, so every byte it
// receives answers the last byte it sent before it: latency = time of the rx line minus
// time of the tx line before it.
#include <cstdio>
#include <cstring>
#include <vector>

// Appends the log's latencies (microseconds) to `out`; false when the file cannot be read.
inline bool readAnswerLatencies(const char *path, std::vector<long long> &out) {
    std::FILE *f = std::fopen(path, "r");
    if (!f) return false;
    long long at = 0, lastTx = -1;
    char direction[4] = {};
    unsigned byte = 0;
    while (std::fscanf(f, "%lld %3s %u", &at, direction, &byte) == 3) {
        if (!std::strcmp(direction, "tx")) {
            lastTx = at;
        } else if (lastTx >= 0) {
            out.push_back(at - lastTx);
            lastTx = -1;  // a second byte in a row answers nothing new
        }
    }
    std::fclose(f);
    return true;
}
