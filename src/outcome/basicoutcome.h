#pragma once

#include <utility>
#include <variant>

// Outcome (outcome/outcome.h) with the words in a type of the caller's choice, for code that
// does without Qt (the device simulator says its failures in std::string).
namespace orvel {

template <class Why, class Words>
struct BasicFailure {
    Why why;
    Words words;  // the system's own text, or what the parser met; may be empty
};

// A value, or the failure that kept it from being had.
template <class T, class Why, class Words>
class [[nodiscard]] BasicOutcome {
public:
    using Failure = BasicFailure<Why, Words>;

    BasicOutcome(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    BasicOutcome(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T &value() const & { return std::get<0>(m_state); }
    T &value() & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    const T &operator*() const & { return value(); }
    T &operator*() & { return value(); }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }

    // Only when !ok().
    const Failure &failure() const { return std::get<1>(m_state); }
    Why why() const { return failure().why; }
    const Words &words() const { return failure().words; }

private:
    std::variant<T, Failure> m_state;
};

// A step that gives nothing back but may fail.
template <class Why, class Words>
class [[nodiscard]] BasicOutcome<void, Why, Words> {
public:
    using Failure = BasicFailure<Why, Words>;

    BasicOutcome() = default;
    BasicOutcome(Failure failure) : m_failed(true), m_failure(std::move(failure)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }

    // Only when !ok().
    const Failure &failure() const { return m_failure; }
    Why why() const { return m_failure.why; }
    const Words &words() const { return m_failure.words; }

private:
    bool m_failed = false;
    Failure m_failure{};
};

}  // namespace orvel
