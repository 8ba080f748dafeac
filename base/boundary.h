// boundary.h - the guard at the C boundary: no exception crosses an exported function.
//
// Inside, the library is C++ and its only exception is std::bad_alloc (a std::string or vector
// that could not grow); outside, callers are C.  Every exported function whose work can throw
// runs that work through guarded, which turns an exception into the function's documented
// failure result.  The floor below platform/: it includes nothing from the tree.
#pragma once

#include <type_traits>

namespace kav::base {

// The result of calling a Body.
template <class Body>
using BodyResult = std::invoke_result_t<Body&>;

// Runs body and gives its result; when it throws, on_failure instead.
template <class Body>
BodyResult<Body> guarded(std::type_identity_t<BodyResult<Body>> on_failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return on_failure;
  }
}

// Runs body, which gives nothing; whether it ran to its end without throwing.  What it did
// before a throw stays done.
template <class Body>
requires std::is_void_v<BodyResult<Body>>
bool guarded(Body body) noexcept {
  try {
    body();
    return true;
  } catch (...) {
    return false;
  }
}

// Runs body and gives its result; when it throws, what on_failure gives, for a failure that must
// also record why (errno) or answer from what is at hand.  on_failure must not throw.
template <class Failure, class Body>
BodyResult<Body> guarded_with(Failure on_failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return on_failure();
  }
}

}  // namespace kav::base
