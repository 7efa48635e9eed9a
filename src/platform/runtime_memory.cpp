// Memory blocks for every platform: the C runtime's malloc, free, memset
// and memcpy, which both operating systems provide alike.
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace quorvane {
namespace platform {

void* block_obtain(std::size_t bytes) { return std::malloc(bytes); }

void block_give_back(void* block) { std::free(block); }

void block_fill(void* block, unsigned char value, std::size_t bytes) {
  std::memset(block, value, bytes);
}

void block_copy(void* destination, const void* source, std::size_t bytes) {
  std::memcpy(destination, source, bytes);
}

}  // namespace platform
}  // namespace quorvane
