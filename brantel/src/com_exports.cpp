// COM on the caller's thread: the program calls Initialize once at start-up
// and Uninitialize once at shut-down, both on its window thread.
#include "brantel/brantel.h"

#include "com/com.h"

extern "C" {

BRANTEL_EXPORT bool BRANTEL_API Initialize(void) {
    // S_FALSE (already initialised on this thread) is a success too.
    return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

BRANTEL_EXPORT bool BRANTEL_API Uninitialize(void) {
    CoUninitialize();
    return true;
}

}  // extern "C"
