#include "retained/gl/gpu_memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

namespace rm::gl {

RangeAllocator::RangeAllocator(std::uint32_t capacity) : capacity_(capacity) {
    if (capacity > 0) AddFree(0, capacity);
}

void RangeAllocator::AddFree(std::uint32_t offset, std::uint32_t count) {
    byOffset_.emplace(offset, count);
    bySize_.emplace(count, offset);
}

std::optional<std::uint32_t> RangeAllocator::Allocate(std::uint32_t count) {
    if (count == 0) return std::nullopt;
    auto fit = bySize_.lower_bound(count);
    if (fit == bySize_.end()) return std::nullopt;
    const std::uint32_t size = fit->first, offset = fit->second;
    bySize_.erase(fit);
    byOffset_.erase(offset);
    if (size > count) AddFree(offset + count, size - count);
    used_ += count;
    return offset;
}

void RangeAllocator::Free(std::uint32_t offset, std::uint32_t count) {
    if (count == 0) return;
    used_ -= count;
    auto eraseSized = [this](std::uint32_t off, std::uint32_t size) {
        auto [first, last] = bySize_.equal_range(size);
        for (auto it = first; it != last; ++it)
            if (it->second == off) {
                bySize_.erase(it);
                return;
            }
    };
    // Merge with the free range that ends where this one starts, and the one that
    // starts where it ends.
    auto next = byOffset_.lower_bound(offset);
    if (next != byOffset_.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second == offset) {
            offset = prev->first;
            count += prev->second;
            eraseSized(prev->first, prev->second);
            byOffset_.erase(prev);
        }
    }
    if (next != byOffset_.end() && offset + count == next->first) {
        count += next->second;
        eraseSized(next->first, next->second);
        byOffset_.erase(next);
    }
    AddFree(offset, count);
}

std::optional<std::uint64_t> MemAvailableBytes(std::string_view meminfo) {
    constexpr std::string_view kKey = "MemAvailable:";
    const std::size_t at = meminfo.find(kKey);
    if (at == std::string_view::npos || (at > 0 && meminfo[at - 1] != '\n')) return std::nullopt;
    std::string_view rest = meminfo.substr(at + kKey.size());
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    std::uint64_t kib = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), kib);
    if (ec != std::errc() || end == rest.data()) return std::nullopt;
    rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    if (rest.substr(0, 3) != " kB" || kib > std::numeric_limits<std::uint64_t>::max() / 1024)
        return std::nullopt;
    return kib * 1024;
}

std::size_t DefaultMemoryLimit() {
    if (const char* env = std::getenv("ORVANE_GPU_MEMORY_MIB")) {
        const std::string_view text(env);
        std::uint64_t mib = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), mib);
        if (ec == std::errc() && end == text.data() + text.size() && mib > 0 &&
            mib <= std::numeric_limits<std::size_t>::max() >> 20)
            return static_cast<std::size_t>(mib) << 20;
    }
    std::ifstream in("/proc/meminfo");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (const auto available = MemAvailableBytes(text))
        return static_cast<std::size_t>(*available / 2);
    return std::numeric_limits<std::size_t>::max();
}

void KeepFrameHeap() {
#if defined(__GLIBC__)
    // Fixing the trim threshold also stops glibc from raising the mmap threshold as it
    // goes, so that one is fixed too, at the highest value glibc would raise it to on
    // its own: blocks up to 32 MiB come from the heap and are reused.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
}

}  // namespace rm::gl
