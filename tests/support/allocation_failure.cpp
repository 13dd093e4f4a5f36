#include "tests/support/allocation_failure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local FailingAllocation* current = nullptr;
thread_local int pauses = 0;
std::atomic<std::uint64_t> nextSerial{1};

// Every block starts with this header, which keeps the alignment of
// malloc's blocks: its size, and the serial of the FailingAllocation that
// counted it (0: none).
struct alignas(16) BlockHeader {
    std::size_t size;
    std::uint64_t owner;
};

void* Allocate(std::size_t size)
{
    FailingAllocation* counting = pauses == 0 ? current : nullptr;
    if (counting != nullptr && counting->CountOne()) {
        throw std::bad_alloc();
    }
    void* block = std::malloc(sizeof(BlockHeader) + size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    auto* header = static_cast<BlockHeader*>(block);
    header->size = size;
    header->owner = counting != nullptr ? counting->Serial() : 0;
    if (counting != nullptr) {
        counting->Hold(size);
    }
    return header + 1;
}

void* AllocateOrNull(std::size_t size) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void Free(void* block) noexcept
{
    if (block == nullptr) {
        return;
    }
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->owner != 0 && current != nullptr && current->Serial() == header->owner) {
        current->Release(header->size);
    }
    std::free(header);
}

}  // namespace

FailingAllocation::FailingAllocation(std::size_t failAt)
    : failAt_(failAt), serial_(nextSerial.fetch_add(1)), outer_(current)
{
    current = this;
}

FailingAllocation::~FailingAllocation()
{
    current = outer_;
}

bool FailingAllocation::CountOne()
{
    if (++count_ != failAt_) {
        return false;
    }
    if (note_ != nullptr) {
        note_(noteContext_);
    }
    return true;
}

AllocationPause::AllocationPause()
{
    ++pauses;
}

AllocationPause::~AllocationPause()
{
    --pauses;
}

AllocationResume::AllocationResume() : pauses_(pauses)
{
    pauses = 0;
}

AllocationResume::~AllocationResume()
{
    pauses = pauses_;
}

void* operator new(std::size_t size)
{
    return Allocate(size);
}

void* operator new[](std::size_t size)
{
    return Allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(size);
}

void operator delete(void* block) noexcept
{
    Free(block);
}

void operator delete[](void* block) noexcept
{
    Free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    Free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    Free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    Free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    Free(block);
}
