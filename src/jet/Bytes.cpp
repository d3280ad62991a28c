#include "jet/Bytes.h"

namespace jet::format {

void corrupt(const std::string& where) { throw Corrupt(where); }

void corruptPage(uint32_t page, const std::string& what) {
  throw Corrupt("第 " + std::to_string(page) + " 页：" + what);
}

void ByteView::overrun(size_t off, size_t len) const {
  corrupt(std::string(what_) + "越界（偏移 " + std::to_string(off) + "，长度 " +
          std::to_string(len) + "，共 " + std::to_string(n_) + " 字节）");
}

}  // namespace jet::format
