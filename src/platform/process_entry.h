#pragma once
#include <windows.h>
#include <tlhelp32.h>

namespace vossel::platform {

// The record the walk fills: the platform's wide PROCESSENTRY32W, whose dwSize must be exactly
// its size. Only the ids and the name are read.
using ProcessEntry = PROCESSENTRY32W;

}  // namespace vossel::platform
