#include "jet/os/Memory.h"

#ifndef _WIN32
#include <sys/mman.h>
#endif

#include <cstring>
#include <new>
#include <utility>

namespace jet::os {

namespace {
constexpr size_t kMapAtLeast = 64 * 1024;  // below this the heap's pages are mostly warm
constexpr std::align_val_t kAlign{4096};
}  // namespace

PrefaultedBuffer::PrefaultedBuffer(size_t size, Fill fill) : size_(size) {
#ifndef _WIN32  // Windows: from the heap (it has no populating map)
  if (size >= kMapAtLeast && !kAddressSanitizer) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p != MAP_FAILED) {
      p_ = static_cast<uint8_t*>(p);
      mapped_ = true;  // fresh anonymous pages read as zeros
      return;
    }
  }
#endif
  p_ = static_cast<uint8_t*>(::operator new(size, kAlign));
  if (fill == Fill::Zeroed) std::memset(p_, 0, size);
}

PrefaultedBuffer::~PrefaultedBuffer() { release(); }

PrefaultedBuffer::PrefaultedBuffer(PrefaultedBuffer&& other) noexcept
    : p_(std::exchange(other.p_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

PrefaultedBuffer& PrefaultedBuffer::operator=(PrefaultedBuffer&& other) noexcept {
  if (this != &other) {
    release();
    p_ = std::exchange(other.p_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

void PrefaultedBuffer::release() noexcept {
  if (p_ == nullptr) return;
#ifndef _WIN32
  if (mapped_) {
    ::munmap(p_, size_);
    p_ = nullptr;
    size_ = 0;
    return;
  }
#endif
  ::operator delete(p_, kAlign);
  p_ = nullptr;
  size_ = 0;
}

}  // namespace jet::os
