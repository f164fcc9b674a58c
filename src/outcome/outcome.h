#pragma once

#include <QString>

#include <utility>
#include <variant>

// The one way a step says it failed, in every library: what failed, as an enum the caller
// switches on, and the system's (or the parser's) own words for it. Only the window and the
// command turn a failure into a message for the operator.
namespace orvel {

template <class Why>
struct Failure {
    Why why;
    QString words;  // the system's own text, or what the parser met; may be empty
};

// A value, or the failure that kept it from being had.
template <class T, class Why>
class [[nodiscard]] Outcome {
public:
    Outcome(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Outcome(Failure<Why> failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

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
    const Failure<Why> &failure() const { return std::get<1>(m_state); }
    Why why() const { return failure().why; }
    const QString &words() const { return failure().words; }

private:
    std::variant<T, Failure<Why>> m_state;
};

// A step that gives nothing back but may fail.
template <class Why>
class [[nodiscard]] Outcome<void, Why> {
public:
    Outcome() = default;
    Outcome(Failure<Why> failure) : m_failed(true), m_failure(std::move(failure)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }

    // Only when !ok().
    const Failure<Why> &failure() const { return m_failure; }
    Why why() const { return m_failure.why; }
    const QString &words() const { return m_failure.words; }

private:
    bool m_failed = false;
    Failure<Why> m_failure{};
};

// A step that gives nothing back, under a shorter name.
template <class Why>
using Done = Outcome<void, Why>;

}  // namespace orvel
