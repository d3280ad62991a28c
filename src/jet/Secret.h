#pragma once
// Text that must not outlive its use: a database password the operator typed. Its bytes
// are overwritten when it is cleared or destroyed, it is never copied by accident (copies
// are explicit), and nothing that holds one writes it anywhere.
//
// GUARANTEES: after clear() or destruction no byte of the text is left in the buffer that
// held it. Copies the standard library made before the text reached a Secret (a string it
// grew or moved out of) are beyond its reach: build the text in a Secret from the start.
#include <cstddef>
#include <string>
#include <string_view>

namespace jet {

// Overwrites n bytes at p with zeros in a way the compiler may not leave out.
void wipe(void* p, size_t n) noexcept;

class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string_view text) { assign(text); }
  // The concatenation of two texts, built in place.
  static Secret concat(std::string_view a, std::string_view b);
  // Moving copies the bytes into this object's own buffer and wipes the other's (a string's
  // own move could leave a short text behind in the object it leaves).
  Secret(Secret&& o) {
    assign(o.view());
    o.clear();
  }
  Secret& operator=(Secret&& o) {
    if (this != &o) {
      assign(o.view());
      o.clear();
    }
    return *this;
  }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  ~Secret() { clear(); }

  std::string_view view() const { return text_; }
  bool empty() const { return text_.empty(); }
  void clear() noexcept {
    wipe(text_.data(), text_.capacity());
    text_.clear();
  }

 private:
  void assign(std::string_view text);
  std::string text_;
};

}  // namespace jet
