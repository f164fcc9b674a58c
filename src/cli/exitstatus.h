#pragma once

namespace orvel::cli {

// What `orvel` exits with; each status means one thing (docs/man/orvel.1).
enum ExitStatus {
    kDone = 0,
    kDiffer = 1,  // differences found, or objects that could not be done or verified
    kUsage = 2,
    kPortFailed = 3,
    kNotAnswering = 4,  // or the port went away during the work
    kInterrupted = 130,
};

}  // namespace orvel::cli
