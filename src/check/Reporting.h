#pragma once
// How every check and repair command ends: it never throws to its caller and returns what
// it did. A failure becomes the result's last refusal, with its description and number.
#include <exception>

#include "check/Messages.h"
#include "check/Result.h"
#include "jet/Error.h"

namespace check {

template <typename Body>
Result reporting(Body&& body) {
  Result result;
  try {
    body(result);
  } catch (const jet::Error& e) {
    result.refuse(e.description(), e.number());
  } catch (const std::exception& e) {
    result.refuse(e.what());
  } catch (...) {
    result.refuse(msg::kUnknownError);
  }
  return result;
}

}  // namespace check
