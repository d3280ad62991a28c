#include "jet/index/PageStore.h"

#include <stdexcept>
#include <string>

#include "jet/index/IndexPage.h"

namespace jet::index {

uint8_t* PagerPages::modify(uint32_t) { throw std::logic_error("PagerPages only reads"); }
uint32_t PagerPages::allocate(uint32_t) { throw std::logic_error("PagerPages only reads"); }
void PagerPages::release(uint32_t, uint32_t) { throw std::logic_error("PagerPages only reads"); }

uint32_t MemoryPages::allocate(uint32_t usageMap) {
  const uint32_t n = count();
  bytes_.resize(bytes_.size() + ps_, 0);
  allocated.push_back({n, usageMap});
  return n;
}

uint8_t* MemoryPages::at(uint32_t n) {
  if (n == 0 || n >= count()) throw IndexCorrupt("第 " + std::to_string(n) + " 页不在文件内");
  return &bytes_[size_t{n} * ps_];
}

}  // namespace jet::index
