// Test support: makes one chosen allocation of the C++ library fail. While a
// FailingAllocation lives, the allocations made through operator new on the
// thread that created it are counted, and the `failAt`-th of them throws
// std::bad_alloc (a nothrow new then returns null). Allocations of other
// threads are neither counted nor failed. Linking this file into a test
// program replaces the program's global operator new and delete.
//
// It also keeps the bytes still allocated of the blocks it counted, so that
// a test can tell exactly what a run left on the heap. Test code that runs in
// the middle of a counted run (a substitute of a Windows call) holds an
// AllocationPause, so that its own allocations are not counted, failed or
// held against the code under test.
#pragma once

#include <cstddef>
#include <cstdint>

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
    // Bytes of the counted blocks that have not been freed yet.
    std::size_t BytesHeld() const { return bytesHeld_; }

    // Called (with `context`) at the moment the chosen allocation fails,
    // before it throws; it must not allocate.
    void OnFailure(void (*note)(void* context), void* context)
    {
        note_ = note;
        noteContext_ = context;
    }

    // Called by operator new: true when this allocation is to fail.
    bool CountOne();
    void Hold(std::size_t bytes) { bytesHeld_ += bytes; }
    void Release(std::size_t bytes) { bytesHeld_ -= bytes; }
    std::uint64_t Serial() const { return serial_; }

private:
    std::size_t failAt_;
    std::size_t count_ = 0;
    std::size_t bytesHeld_ = 0;
    std::uint64_t serial_;
    FailingAllocation* outer_;
    void (*note_)(void*) = nullptr;
    void* noteContext_ = nullptr;
};

// While one lives, the allocations of this thread are not counted, not
// failed and not held by the thread's FailingAllocation. Pauses nest.
class AllocationPause {
public:
    AllocationPause();
    ~AllocationPause();
    AllocationPause(const AllocationPause&) = delete;
    AllocationPause& operator=(const AllocationPause&) = delete;
};

// Inside a pause: counts again while it lives, for the code under test that a
// substitute calls back (a control request delivered from inside a wait).
class AllocationResume {
public:
    AllocationResume();
    ~AllocationResume();
    AllocationResume(const AllocationResume&) = delete;
    AllocationResume& operator=(const AllocationResume&) = delete;

private:
    int pauses_;
};
