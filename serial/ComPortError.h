#pragma once
// The one error type of the serial port component.
#include <cstdint>
#include <stdexcept>
#include <string>

// Error codes of EComPort: index into the table of texts (ComErrorText).
inline constexpr int CError_OpenFailed = 1;
inline constexpr int CError_WriteFailed = 2;
inline constexpr int CError_ReadFailed = 3;
inline constexpr int CError_InvalidAsync = 4;
inline constexpr int CError_PurgeFailed = 5;
inline constexpr int CError_AsyncCheck = 6;
inline constexpr int CError_SetStateFailed = 7;
inline constexpr int CError_TimeoutsFailed = 8;
inline constexpr int CError_SetupComFailed = 9;
inline constexpr int CError_ClearComFailed = 10;
inline constexpr int CError_ModemStatFailed = 11;
inline constexpr int CError_EscapeComFailed = 12;
inline constexpr int CError_TransmitFailed = 13;
inline constexpr int CError_ConnChangeProp = 14;
inline constexpr int CError_EnumPortsFailed = 15;
inline constexpr int CError_StoreFailed = 16;
inline constexpr int CError_LoadFailed = 17;
inline constexpr int CError_RegFailed = 18;
inline constexpr int CError_LedStateFailed = 19;
inline constexpr int CError_ThreadCreated = 20;
inline constexpr int CError_WaitFailed = 21;
inline constexpr int CError_HasLink = 22;
inline constexpr int CError_RegError = 23;

// The table text of a code (1 to 23); an empty text for any other code.
std::string ComErrorText(int code);

class EComPort : public std::runtime_error {
public:
    // A failure of an operating-system call: the message is the table text followed by
    // " (win error code: N)".
    EComPort(int code, std::int32_t winCode);
    // A failure without an OS error: the message is the table text; WinErrorCode() is -1.
    explicit EComPort(int code);

    int Code() const { return FCode; }
    std::int32_t WinErrorCode() const { return FWinCode; }

private:
    int FCode = 0;
    std::int32_t FWinCode = -1;
};
