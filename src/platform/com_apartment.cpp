#include "platform/com_apartment.h"

#include "platform/system_api.h"

namespace vossel::platform {

void EnterComApartment() {
    static bool entered = false;
    if (entered) return;
    entered = true;
    api::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

}  // namespace vossel::platform
