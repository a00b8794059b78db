/*
 * Page-aligned host memory for frame buffers, as a host allocates them for
 * DMA: tests, benches and tools share this one helper.
 */
#ifndef QOR_TESTS_PAGE_BUFFER_H
#define QOR_TESTS_PAGE_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qortest {

constexpr size_t kPageBytes = 4096;

// `bytes` usable bytes starting on a page boundary, filled with `fill`.
// Over-allocates by a page rather than using an aligned allocator, which
// not every C runtime the project builds against provides.
class PageBuffer {
public:
    explicit PageBuffer(size_t bytes, uint8_t fill = 0) : storage_(bytes + kPageBytes, fill), size_(bytes)
    {
        const auto address = reinterpret_cast<uintptr_t>(storage_.data());
        data_ = storage_.data() + (kPageBytes - address % kPageBytes) % kPageBytes;
    }
    PageBuffer(const PageBuffer &) = delete;
    PageBuffer &operator=(const PageBuffer &) = delete;
    PageBuffer(PageBuffer &&) = default;
    PageBuffer &operator=(PageBuffer &&) = default;

    uint8_t *data() { return data_; }
    const uint8_t *data() const { return data_; }
    size_t size() const { return size_; }

private:
    std::vector<uint8_t> storage_;
    uint8_t *data_ = nullptr;
    size_t size_ = 0;
};

// `count` page-aligned buffers of `bytes` each, and the array of their
// addresses a chain set-up takes.
struct PageBufferRing {
    std::vector<PageBuffer> buffers;
    std::vector<void *> pointers;

    PageBufferRing(size_t bytes, size_t count)
    {
        buffers.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            buffers.emplace_back(bytes);
            pointers.push_back(buffers.back().data());
        }
    }
};

}  // namespace qortest

#endif
