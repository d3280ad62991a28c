#pragma once
// Memory a bulk read fills at once. Touching fresh anonymous memory page by page costs a
// fault per page, and on a virtual machine a fault costs about as much as copying the
// page from the file cache a dozen times over: a short-lived process (the console tool)
// would spend more on faults than on its scan. A PrefaultedBuffer asks the kernel for all
// of its pages in one call instead.
//
// Under AddressSanitizer every buffer comes from the heap, so that a read past its end is
// caught rather than landing in a neighbour.
#include <cstddef>
#include <cstdint>

namespace jet::os {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

class PrefaultedBuffer {
 public:
  PrefaultedBuffer() = default;
  enum class Fill { Uninitialised, Zeroed };
  // Bytes aligned to 4 KiB; throws std::bad_alloc when there is no memory for them.
  explicit PrefaultedBuffer(size_t size, Fill fill = Fill::Uninitialised);
  ~PrefaultedBuffer();
  PrefaultedBuffer(PrefaultedBuffer&& other) noexcept;
  PrefaultedBuffer& operator=(PrefaultedBuffer&& other) noexcept;
  PrefaultedBuffer(const PrefaultedBuffer&) = delete;
  PrefaultedBuffer& operator=(const PrefaultedBuffer&) = delete;

  uint8_t* data() const { return p_; }
  size_t size() const { return size_; }

 private:
  void release() noexcept;
  uint8_t* p_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;  // from mmap; else from operator new (small sizes, or mmap refused)
};

}  // namespace jet::os
