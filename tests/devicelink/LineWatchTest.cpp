#include "devicelink/LineWatch.h"

#include "platform/Win32Serial.h"
#include "serial/ComPortError.h"

#include <gtest/gtest.h>

#include <stdexcept>

// Only failures that say the device is gone close a port; anything else is reported instead.
TEST(LineWatch, WhatCountsAsADeviceThatIsGone) {
    struct Case {
        std::exception_ptr error;
        bool gone;
    } cases[] = {
        {std::make_exception_ptr(EComPort(CError_WriteFailed, platform::ERROR_IO_DEVICE)), true},
        {std::make_exception_ptr(EComPort(CError_ReadFailed, platform::ERROR_DEVICE_NOT_CONNECTED)), true},
        {std::make_exception_ptr(EComPort(CError_WriteFailed, platform::ERROR_FILE_NOT_FOUND)), true},
        {std::make_exception_ptr(EComPort(CError_WriteFailed, platform::ERROR_GEN_FAILURE)), false},
        {std::make_exception_ptr(EComPort(CError_WriteFailed, platform::ERROR_OPERATION_ABORTED)), false},
        {std::make_exception_ptr(EComPort(CError_InvalidAsync)), false},
        {std::make_exception_ptr(std::runtime_error("Disk full")), false},
        {nullptr, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(devicelink::DeviceGone(cases[i].error), cases[i].gone) << i;
}

TEST(LineWatch, OnceLostUntilOpenedAndWriteFailuresOncePerOutage) {
    devicelink::TLineWatch watch;
    EXPECT_TRUE(watch.Lost(1));
    EXPECT_FALSE(watch.Lost(1)) << "the same disappearance";
    EXPECT_FALSE(watch.IsLost(2)) << "the other side is not touched";
    EXPECT_FALSE(watch.Opened(2));
    EXPECT_TRUE(watch.Opened(1));
    EXPECT_FALSE(watch.Opened(1)) << "back once";
    EXPECT_TRUE(watch.Lost(1)) << "a new disappearance";

    EXPECT_TRUE(watch.WriteFailed(2));
    EXPECT_FALSE(watch.WriteFailed(2));
    watch.WriteWent(2);
    EXPECT_TRUE(watch.WriteFailed(2));
    EXPECT_EQ(devicelink::LostText(2), "Spojeni s jednotkou 2 preruseno.");
}
