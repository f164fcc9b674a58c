#pragma once

#include <QString>

#include "outcome/basicoutcome.h"

// The one way a step says it failed, in every library: what failed, as an enum the caller
// switches on, and the system's (or the parser's) own words for it. Only the window and the
// command turn a failure into a message for the operator.
namespace orvel {

template <class Why>
using Failure = BasicFailure<Why, QString>;

// A value, or the failure that kept it from being had: ok(), value() (only when ok), why()
// and words() (only when not).
template <class T, class Why>
using Outcome = BasicOutcome<T, Why, QString>;

// A step that gives nothing back, under a shorter name.
template <class Why>
using Done = Outcome<void, Why>;

}  // namespace orvel
