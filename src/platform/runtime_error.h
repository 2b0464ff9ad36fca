#pragma once
// The program's run-time error: a number and a description, raised by a handler and caught at the
// window procedure, which hands it to the report that the application installed.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vossel::platform {

class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(std::int32_t number, std::wstring description)
        : std::runtime_error("Vossel run-time error"),
          number_(number),
          description_(std::move(description)) {}
    std::int32_t Number() const { return number_; }
    const std::wstring& Description() const { return description_; }

  private:
    std::int32_t number_;
    std::wstring description_;
};

// Export names and exception texts are ASCII: widened byte by byte for the error's description.
std::wstring WidenAscii(const char* text);

// Well-known run-time error numbers.
inline constexpr std::int32_t kErrorDllNotFound = 48;
inline constexpr std::int32_t kErrorEntryPointNotFound = 453;
inline constexpr std::int32_t kErrorInternal = 51;

// The standard run-time error message: title "Vossel", the number and the description.
// Modal to owner (or to the whole thread when owner is null), and topmost, so that the topmost
// main window never hides it.
void ShowErrorMessage(void* owner, std::int32_t number, const std::wstring& description);

using RuntimeErrorReport = void (*)(const RuntimeError& error) noexcept;

// The report never returns: it shows the message and ends the program.
void SetRuntimeErrorReport(RuntimeErrorReport report);

// Called at a dispatch boundary with whatever a handler threw. Never returns.
[[noreturn]] void ReportCurrentException() noexcept;

}  // namespace vossel::platform
