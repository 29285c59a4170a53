// SIGTERM, once caught, no longer ends the process: each one becomes a byte to read, and the
// descriptor does not block when there is none.
#include "platform/TerminationRequest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <unistd.h>

TEST(TerminationRequestTest, EachSigtermBecomesOneByteToRead) {
    const int fd = platform::CatchTerminationRequest();
    ASSERT_GE(fd, 0);
    char byte = 0;
    EXPECT_EQ(::read(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EAGAIN);

    ASSERT_EQ(std::raise(SIGTERM), 0); // the process would end here without the handler
    ASSERT_EQ(std::raise(SIGTERM), 0);
    char bytes[4] = {};
    EXPECT_EQ(::read(fd, bytes, sizeof bytes), 2);
    EXPECT_EQ(::read(fd, &byte, 1), -1);
    ::close(fd);
}
