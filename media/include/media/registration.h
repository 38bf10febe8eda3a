// Filter registration: the setup data a filter module declares, the
// process-wide filter mapper that automatic graph building consults, the
// registration helpers behind DllRegisterServer/DllUnregisterServer, the
// module entry helpers (DllGetClassObject over a template table,
// DllCanUnloadNow), and the registration of the framework's built-in
// filters when libvelorin_media.so loads.
//
// The mapper lives in libvelorin_media.so, so every module sees the same
// one. All functions here are thread-safe.
#pragma once

#include <string>
#include <vector>

#include "media/interfaces.h"

// ---- merits --------------------------------------------------------------
constexpr DWORD MERIT_PREFERRED = 0x800000;
constexpr DWORD MERIT_NORMAL = 0x600000;
constexpr DWORD MERIT_UNLIKELY = 0x400000;
constexpr DWORD MERIT_DO_NOT_USE = 0x200000;   // never picked automatically
constexpr DWORD MERIT_SW_COMPRESSOR = 0x100000;
constexpr DWORD MERIT_HW_COMPRESSOR = 0x100050;

// ---- setup data ------------------------------------------------------------
// A null subtype pointer or GUID_NULL matches any subtype.
struct REGPINTYPES {
    const CLSID *clsMajorType;
    const CLSID *clsMinorType;
};
using AMOVIESETUP_MEDIATYPE = REGPINTYPES;

struct AMOVIESETUP_PIN {
    LPCWSTR strName;
    BOOL bRendered;
    BOOL bOutput;
    BOOL bZero;
    BOOL bMany;
    const CLSID *clsConnectsToFilter;
    LPCWSTR strConnectsToPin;
    UINT nMediaTypes;
    const REGPINTYPES *lpMediaType;
};
using REGFILTERPINS = AMOVIESETUP_PIN;

struct AMOVIESETUP_FILTER {
    const CLSID *clsID;
    LPCWSTR strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN *lpPin;
};

// ---- the filter mapper --------------------------------------------------------
struct RegisteredPinType {
    GUID major;
    GUID minor;   // GUID_NULL: any
};
struct RegisteredPin {
    std::u16string name;
    bool output = false;
    bool rendered = false;
    std::vector<RegisteredPinType> types;
};
struct RegisteredFilter {
    CLSID clsid{};
    std::u16string name;
    DWORD merit = 0;
    std::vector<RegisteredPin> pins;
};

// Registers (or replaces) the filter's mapper entry. E_POINTER on null data.
HRESULT FilterMapperRegister(const AMOVIESETUP_FILTER *setup);
HRESULT FilterMapperRegister(const RegisteredFilter &filter);
// S_FALSE when it was not registered.
HRESULT FilterMapperUnregister(REFCLSID clsid);
bool FilterMapperLookup(REFCLSID clsid, RegisteredFilter *out);
std::vector<RegisteredFilter> FilterMapperAll();

// Candidates for automatic graph building, highest merit first (ties in
// registration order). Only filters whose merit is above MERIT_DO_NOT_USE
// and at least `minMerit`. When `inputTypes` is not empty, the filter
// must have an input pin registered for one of them (major must match; a
// GUID_NULL minor on either side matches any). `needOutput`: the filter
// must have an output pin; `needRenderer`: it must have none.
std::vector<RegisteredFilter> FilterMapperMatch(const std::vector<RegisteredPinType> &inputTypes,
                                                bool needOutput, bool needRenderer,
                                                DWORD minMerit = MERIT_DO_NOT_USE + 1);

// ---- module templates and entry points -------------------------------------------
class CUnknown;
using LPFNNewCOMObject = CUnknown *(*)(LPUNKNOWN pUnkOuter, HRESULT *phr);
using LPFNInitRoutine = void (*)(BOOL bLoading, const CLSID *rclsid);

// One creatable class of a module.
struct CFactoryTemplate {
    LPCWSTR m_Name;
    const CLSID *m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER *m_pAMovieSetup_Filter;
};

// DllGetClassObject over a table: a class factory for the class whose
// m_ClsID matches (CLASS_E_CLASSNOTAVAILABLE otherwise).
HRESULT MediaDllGetClassObject(const CFactoryTemplate *templates, int count, REFCLSID rClsID, REFIID riid, void **pv);
// S_OK when no object made by the framework's factories is alive and no
// factory is locked.
HRESULT MediaDllCanUnloadNow();
// DllRegisterServer / DllUnregisterServer: for each template, registers
// (or removes) the COM class under the path of the module that contains
// `moduleAddress` (any address inside it, e.g. of its DllRegisterServer)
// and, when it has setup data, the filter with the mapper.
HRESULT MediaDllRegisterServer(const CFactoryTemplate *templates, int count, const void *moduleAddress, BOOL bRegister);

// Defines the four entry points of a filter module over its template table:
//   MEDIA_DEFINE_MODULE_ENTRY_POINTS(g_Templates, g_cTemplates)
// (g_cTemplates an int). Use at namespace scope in one .cpp of the module.
#define MEDIA_DEFINE_MODULE_ENTRY_POINTS(templates, count)                                              \
    extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID c, REFIID i, void **p) { \
        return MediaDllGetClassObject(templates, count, c, i, p);                                       \
    }                                                                                                   \
    extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return MediaDllCanUnloadNow(); } \
    extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {                     \
        return MediaDllRegisterServer(templates, count, reinterpret_cast<const void *>(&DllRegisterServer), TRUE); \
    }                                                                                                   \
    extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {                   \
        return MediaDllRegisterServer(templates, count, reinterpret_cast<const void *>(&DllRegisterServer), FALSE); \
    }

// ---- built-in filters -----------------------------------------------------------
// Registers a class that lives in an already loaded library: the COM class
// (ComRegisterBuiltinClass) and, with setup data, its mapper entry.
HRESULT MediaRegisterBuiltinFilter(REFCLSID clsid, ComCreateFn create, const AMOVIESETUP_FILTER *setup, const char *name);
// A creation function for ComRegisterBuiltinClass from a LPFNNewCOMObject-
// style factory: MediaCreateVia<&MyFilter::CreateInstance>.
template <LPFNNewCOMObject New>
HRESULT MediaCreateVia(IUnknown *outer, REFIID riid, void **ppv) {
    if (outer && riid != IID_IUnknown) return E_NOINTERFACE;   // aggregation asks for the inner unknown
    HRESULT hr = S_OK;
    CUnknown *obj = New(outer, &hr);
    return ComFinishCreate(obj, hr, riid, ppv);
}
// Registers every built-in filter of libvelorin_media.so (the graph
// manager, the system clock, the renderers, and the FFmpeg filters). Runs
// when the library loads; calling it again registers the same entries
// again, so a program that unregistered some (tests) can restore them.
void MediaRegisterBuiltins();
