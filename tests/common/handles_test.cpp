// The owners of handles: exactly one owner releases a handle, once, and
// releasing keeps the caller's last error.
#include "common/handles.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<int> released;

// Handles are plain numbers; 0 is the empty one. Releasing changes the last
// error, as a failing close would.
struct CountedTraits {
    using Handle = int;
    static void Release(int h)
    {
        released.push_back(h);
        SetLastError(ERROR_INVALID_HANDLE);
    }
};
using KCounted = KOwned<CountedTraits>;

class HandleOwner : public ::testing::Test {
protected:
    void SetUp() override { released.clear(); }
};

}  // namespace

TEST_F(HandleOwner, ReleasesWhatItHoldsOnceWhenItEnds)
{
    { KCounted empty; }
    {
        KCounted owner(7);
        EXPECT_TRUE(owner);
        EXPECT_EQ(owner.get(), 7);
        owner.Close();
        EXPECT_FALSE(owner);
        owner.Close();
    }
    { KCounted owner(8); }
    EXPECT_EQ(released, (std::vector<int>{7, 8}));
}

TEST_F(HandleOwner, MovingHandsTheHandleOverAndReleasesTheTargetsOldOne)
{
    {
        KCounted first(1);
        KCounted second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 1);
        KCounted third(3);
        third = std::move(second);
        EXPECT_EQ(released, (std::vector<int>{3}));
        EXPECT_EQ(third.get(), 1);
        KCounted& same = third;
        third = std::move(same);
        EXPECT_EQ(third.get(), 1) << "moving into itself keeps the handle";
    }
    EXPECT_EQ(released, (std::vector<int>{3, 1}));
}

TEST_F(HandleOwner, ResetReleaseAndPut)
{
    KCounted owner(1);
    owner.reset(2);
    owner.reset(2);
    EXPECT_EQ(released, (std::vector<int>{1})) << "taking the handle it holds releases nothing";

    const int given = owner.release();
    EXPECT_EQ(given, 2);
    EXPECT_FALSE(owner);

    owner.reset(4);
    int* field = owner.put();
    EXPECT_EQ(released, (std::vector<int>{1, 4})) << "put releases what it held first";
    EXPECT_EQ(*field, 0);
    *field = 5;  // as an open call fills its out-parameter
    EXPECT_EQ(owner.get(), 5);
    owner.reset();
    EXPECT_EQ(released, (std::vector<int>{1, 4, 5}));
}

TEST_F(HandleOwner, ReleasingKeepsTheCallersLastError)
{
    KCounted owner(9);
    SetLastError(ERROR_ACCESS_DENIED);
    owner.Close();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    {
        KCounted other(10);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A file handle's failure value is INVALID_HANDLE_VALUE: the owner of a file
// neither counts it as a handle nor releases it, and so for null.
TEST(FileOwner, TreatsInvalidHandleValueAndNullAsNoHandle)
{
    KWin32Override api;
    std::vector<HANDLE> closed;
    win32.CloseHandle = [&](HANDLE h) {
        closed.push_back(h);
        return TRUE;
    };
    const HANDLE real = reinterpret_cast<HANDLE>(0x1234);
    {
        KFile failed(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(failed);
        KFile none;
        EXPECT_FALSE(none);
        KFile file(real);
        EXPECT_TRUE(file);
        file.reset(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(file);
    }
    EXPECT_EQ(closed, (std::vector<HANDLE>{real}));
}
