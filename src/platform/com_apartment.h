#pragma once
// COM on the user-interface thread, entered at its first use rather than at start-up: the first
// paint needs none of it, so ole32 loads only once the settings window or a screen reader asks.

namespace vossel::platform {

// A single-threaded apartment for the calling thread; later calls do nothing. The program uses COM
// on its user-interface thread only.
void EnterComApartment();

}  // namespace vossel::platform
