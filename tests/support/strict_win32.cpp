#include "tests/support/strict_win32.h"

#include <gtest/gtest.h>

void FailTestOnUnreplacedCall(const char* slot)
{
    ADD_FAILURE() << "a Windows call that the test neither replaced nor named as real: " << slot;
}
