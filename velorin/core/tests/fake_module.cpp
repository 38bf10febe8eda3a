// A filter module stand-in whose DllRegisterServer ends one chosen way.
#include <cstdint>
#include <stdexcept>

#define EXPORT extern "C" __attribute__((visibility("default")))

#if defined(FAKE_MODULE_KIND_ok)
EXPORT std::int32_t DllRegisterServer() { return 0; }
#elif defined(FAKE_MODULE_KIND_fails)
EXPORT std::int32_t DllRegisterServer() { return std::int32_t(0x80004005u); }
#elif defined(FAKE_MODULE_KIND_throws)
EXPORT std::int32_t DllRegisterServer() { throw std::runtime_error("registration blew up"); }
#else
EXPORT std::int32_t SomethingElse() { return 0; }
#endif
