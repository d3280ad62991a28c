#pragma once
// How every check and repair command ends: it never throws to its caller and returns what
// it did. A failure is recorded and shown as its description in a message box; when the
// message box itself fails, nothing is left to tell the operator with.
#include <exception>

#include "check/Controls.h"
#include "check/Result.h"
#include "jet/Error.h"

namespace check {

template <typename Body>
Result reporting(Controls& ui, Body&& body) {
  Result result;
  try {
    try {
      body(result);
    } catch (const jet::Error& e) {
      refuse(ui, result, e.description(), e.number());
    } catch (const std::exception& e) {
      refuse(ui, result, e.what());
    }
  } catch (...) {
  }
  return result;
}

}  // namespace check
