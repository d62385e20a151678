// Bookkeeping of graphics memory without OpenGL calls: ranges handed out of a shared
// buffer, and how much memory the renderer may use at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

namespace rm::gl {

// Hands out ranges [offset, offset + count) of a buffer of `capacity` units (vertices
// or indices) and takes them back. The smallest free range that fits is used, so that
// large free ranges stay whole; a range given back merges with free neighbours.
class RangeAllocator {
  public:
    RangeAllocator() = default;
    explicit RangeAllocator(std::uint32_t capacity);
    // The offset of a new range of count units (count > 0), or nothing when no free
    // range is that long.
    std::optional<std::uint32_t> Allocate(std::uint32_t count);
    // Gives back a range that Allocate handed out.
    void Free(std::uint32_t offset, std::uint32_t count);
    std::uint32_t Capacity() const { return capacity_; }
    std::uint32_t Used() const { return used_; }

  private:
    void AddFree(std::uint32_t offset, std::uint32_t count);
    std::uint32_t capacity_ = 0;
    std::uint32_t used_ = 0;
    std::map<std::uint32_t, std::uint32_t> byOffset_;     // free ranges: offset → count
    std::multimap<std::uint32_t, std::uint32_t> bySize_;  // the same: count → offset
};

// The MemAvailable line of a /proc/meminfo text, in bytes; nothing when it is missing
// or not a number of kB.
std::optional<std::uint64_t> MemAvailableBytes(std::string_view meminfo);

// The graphics memory a renderer may hold by default. With a software rasteriser
// (llvmpipe) buffers and textures are ordinary process memory, so the limit is half of
// MemAvailable when the renderer is made: the other half stays for the scene itself,
// the driver and the rest of the system. The environment variable ORVANE_GPU_MEMORY_MIB
// (a whole number of MiB) replaces it. Without /proc/meminfo there is no limit.
std::size_t DefaultMemoryLimit();

// Keeps up to 64 MiB of freed heap in the process instead of handing it back to
// the kernel after every free (glibc only; elsewhere nothing). A software rasteriser
// allocates the binned triangles of each frame and frees them when the frame is done;
// given back, the next frame faults every page in again, which took a third of the
// drawing thread's time for 10,000 boxes. The peak stays what it was: only memory the
// process already held is kept. Called once, by the first renderer made.
void KeepFrameHeap();

}  // namespace rm::gl
