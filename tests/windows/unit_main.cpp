// The unit tests' main on Windows: the module's DllMain starts Winsock when
// it is loaded; linked into this program, its code needs it started here.
#include <gtest/gtest.h>

#include "platform/winsock.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!winSocketsStart())
        return 2;
    const int status = RUN_ALL_TESTS();
    winSocketsStop();
    return status;
}
