#pragma once

#include <exception>

namespace orvel {

// Continue-on-error: the step is tried, and a step that fails is skipped without a word.
template <class F>
void attempt(F &&step) noexcept {
    try {
        step();
    } catch (const std::exception &) {
    }
}

}  // namespace orvel
