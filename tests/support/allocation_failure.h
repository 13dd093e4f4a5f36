// Test support: makes one chosen allocation of the C++ library fail. While a
// FailingAllocation lives, the allocations made through operator new on the
// thread that created it are counted, and the `failAt`-th of them throws
// std::bad_alloc (a nothrow new then returns null). Allocations of other
// threads are neither counted nor failed. Linking this file into a test
// program replaces the program's global operator new and delete.
#pragma once

#include <cstddef>

class FailingAllocation {
public:
    // `failAt` 0 fails nothing and only counts.
    explicit FailingAllocation(std::size_t failAt);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;

    // Allocations counted so far, the failed one included.
    std::size_t Count() const { return count_; }
    bool Failed() const { return failAt_ != 0 && count_ >= failAt_; }

    // Called by operator new: true when this allocation is to fail.
    bool CountOne() { return ++count_ == failAt_; }

private:
    std::size_t failAt_;
    std::size_t count_ = 0;
    FailingAllocation* outer_;
};
