#pragma once
// The outcome of one registry or automation call, as an HRESULT and the text that the object or
// the system gives for it. No Windows types: the platform-free auto-start logic decides on these.
#include <cstdint>
#include <string>

namespace vossel::platform {

// HRESULTs that the callers tell apart (the values of the Windows headers).
inline constexpr std::int32_t kHresultOk = 0;
inline constexpr std::int32_t kHresultNotImplemented = static_cast<std::int32_t>(0x80004001);
inline constexpr std::int32_t kHresultNoInterface = static_cast<std::int32_t>(0x80004002);
inline constexpr std::int32_t kHresultClassNotAvailable = static_cast<std::int32_t>(0x80040111);
inline constexpr std::int32_t kHresultClassNotRegistered = static_cast<std::int32_t>(0x80040154);
inline constexpr std::int32_t kHresultInvalidClassString = static_cast<std::int32_t>(0x800401F3);
inline constexpr std::int32_t kHresultApplicationNotFound = static_cast<std::int32_t>(0x800401F5);
inline constexpr std::int32_t kHresultMemberNotFound = static_cast<std::int32_t>(0x80020003);
inline constexpr std::int32_t kHresultUnknownName = static_cast<std::int32_t>(0x80020006);
inline constexpr std::int32_t kHresultFileNotFound = static_cast<std::int32_t>(0x80070002);
inline constexpr std::int32_t kHresultPathNotFound = static_cast<std::int32_t>(0x80070003);
inline constexpr std::int32_t kHresultAccessDenied = static_cast<std::int32_t>(0x80070005);
inline constexpr std::int32_t kHresultModuleNotFound = static_cast<std::int32_t>(0x8007007E);

// HRESULT_FROM_WIN32, for the registry API's status codes.
constexpr std::int32_t HresultFromWin32(std::uint32_t error) {
    return static_cast<std::int32_t>(error) <= 0
               ? static_cast<std::int32_t>(error)
               : static_cast<std::int32_t>((error & 0x0000FFFFu) | 0x80070000u);
}

struct CallStatus {
    std::int32_t code = kHresultOk;
    std::wstring description;

    bool Succeeded() const { return code >= 0; }
};

}  // namespace vossel::platform
