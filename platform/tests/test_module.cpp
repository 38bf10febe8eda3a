// Loaded by test_platform through the module loader.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() { return 0; }
extern "C" __attribute__((visibility("default"))) int TestModuleAnswer() { return 42; }
