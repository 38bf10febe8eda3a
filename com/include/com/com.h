// Our in-process COM: just enough of the component object model for the
// program, the graph library and the filter modules to find and create each
// other by class id.
//
// The class registry, the per-thread initialisation count and the running
// object table live in libvelorin_com.so, which every module links, so all
// of them see one process-wide state. Modules are loaded with dlopen by
// CoCreateInstance and stay loaded until CoFreeUnusedLibraries or process end.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

// ---- basic types -------------------------------------------------------
using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using LONGLONG = std::int64_t;
using REFERENCE_TIME = std::int64_t;
using WCHAR = char16_t;
using LPCWSTR = const char16_t *;
using LPWSTR = char16_t *;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#if defined(__i386__)
#define STDMETHODCALLTYPE __attribute__((stdcall))
#define WINAPI __attribute__((stdcall))
#else
#define STDMETHODCALLTYPE
#define WINAPI
#endif

#define STDMETHOD(name) virtual HRESULT STDMETHODCALLTYPE name
#define STDMETHOD_(type, name) virtual type STDMETHODCALLTYPE name
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

// ---- HRESULT -----------------------------------------------------------
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT_(sev, fac, code) \
    static_cast<HRESULT>((static_cast<std::uint32_t>(sev) << 31) | (static_cast<std::uint32_t>(fac) << 16) | static_cast<std::uint32_t>(code))

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
constexpr HRESULT MK_E_UNAVAILABLE = static_cast<HRESULT>(0x800401E3u);
// Win32 error 2/3 as HRESULTs (file/path not found).
constexpr HRESULT HRESULT_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT HRESULT_PATH_NOT_FOUND = static_cast<HRESULT>(0x80070003u);

// Name of an HRESULT for logs ("E_FAIL", "0x80040217", ...).
std::string HResultName(HRESULT hr);

// ---- GUID --------------------------------------------------------------
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID &;
using REFIID = const GUID &;
using REFCLSID = const GUID &;

inline bool operator==(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID &a, const GUID &b) { return !(a == b); }
inline bool operator<(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
inline bool IsEqualGUID(const GUID &a, const GUID &b) { return a == b; }
#define IsEqualIID IsEqualGUID
#define IsEqualCLSID IsEqualGUID

// Formats as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex).
std::string GuidToString(const GUID &g);
// Parses with or without braces, either case; false on any other text.
bool GuidFromString(const std::string &text, GUID *out);

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define CLSID_NULL GUID_NULL
#define IID_NULL GUID_NULL

struct GuidHash {
    std::size_t operator()(const GUID &g) const noexcept {
        std::uint64_t a, b;
        std::memcpy(&a, &g, 8);
        std::memcpy(&b, reinterpret_cast<const char *>(&g) + 8, 8);
        return std::hash<std::uint64_t>()(a ^ (b * 0x9E3779B97F4A7C15ull));
    }
};

// ---- IUnknown ----------------------------------------------------------
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IPersist{0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IMoniker{0x0000000F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IRunningObjectTable{0x00000010, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void **ppv) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;
};

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown *outer, REFIID riid, void **ppv) = 0;
    STDMETHOD(LockServer)(BOOL lock) = 0;
};

struct IPersist : IUnknown {
    STDMETHOD(GetClassID)(CLSID *clsid) = 0;
};

// ---- smart pointer -----------------------------------------------------
// Holds one reference; copying AddRefs, destruction Releases.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T *p, bool addRef = true) : p_(p) { if (p_ && addRef) p_->AddRef(); }
    ComPtr(const ComPtr &o) : p_(o.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr &&o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~ComPtr() { Reset(); }
    ComPtr &operator=(const ComPtr &o) { if (this != &o) { T *old = p_; p_ = o.p_; if (p_) p_->AddRef(); if (old) old->Release(); } return *this; }
    ComPtr &operator=(ComPtr &&o) noexcept { if (this != &o) { Reset(); p_ = o.p_; o.p_ = nullptr; } return *this; }
    ComPtr &operator=(std::nullptr_t) { Reset(); return *this; }
    void Reset() { if (p_) { T *old = p_; p_ = nullptr; old->Release(); } }
    // Takes over a reference the caller already owns.
    void Attach(T *p) { Reset(); p_ = p; }
    T *Detach() { T *p = p_; p_ = nullptr; return p; }
    T *Get() const { return p_; }
    T *operator->() const { return p_; }
    T &operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held and gives the slot.
    T **PutAddr() { Reset(); return &p_; }
    void **PutVoid() { Reset(); return reinterpret_cast<void **>(&p_); }
    template <class U>
    HRESULT As(REFIID iid, ComPtr<U> *out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out->PutVoid());
    }
private:
    T *p_ = nullptr;
};

// ---- CUnknown: aggregation-aware base ----------------------------------
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void **ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

// Number of live CUnknown objects in this process (for DllCanUnloadNow).
long ComLiveObjectCount();

class CUnknown : public INonDelegatingUnknown {
public:
    // outer: the controlling unknown when aggregated, else null (then the
    // object is its own owner).
    CUnknown(const char *name, IUnknown *outer);
    virtual ~CUnknown();
    CUnknown(const CUnknown &) = delete;
    CUnknown &operator=(const CUnknown &) = delete;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    IUnknown *GetOwner() const { return owner_; }
    const char *Name() const { return name_; }

protected:
    std::atomic<long> ref_{0};

private:
    const char *name_;
    IUnknown *owner_;
};

// Hands out `obj` as `iface`, with one added reference.
HRESULT GetInterface(IUnknown *obj, void **ppv);

// The IUnknown of a CUnknown-derived class that also derives from an interface.
#define DECLARE_IUNKNOWN                                                              \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {      \
        return GetOwner()->QueryInterface(riid, ppv);                                 \
    }                                                                                 \
    ULONG STDMETHODCALLTYPE AddRef() override { return GetOwner()->AddRef(); }        \
    ULONG STDMETHODCALLTYPE Release() override { return GetOwner()->Release(); }

// ---- initialisation ----------------------------------------------------
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC = 0x3;
constexpr DWORD CLSCTX_ALL = 0x17;

// Per-thread count. S_OK on the first call of a thread, S_FALSE after.
HRESULT CoInitializeEx(void *reserved, DWORD flags);
HRESULT CoInitialize(void *reserved);
void CoUninitialize();
// Current count of the calling thread (for tests).
int CoInitializeCount();

void *CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void *p);

// ---- class registry ----------------------------------------------------
// A class is creatable either from a module on disk (registered with its
// path by the module's DllRegisterServer) or from a factory function that a
// loaded library installs for itself (the stock filters of the media
// framework). Built-in factories win over module registrations.
using ComCreateFn = HRESULT (*)(IUnknown *outer, REFIID riid, void **ppv);

HRESULT ComRegisterModuleClass(REFCLSID clsid, const std::string &modulePath, const std::string &name);
HRESULT ComUnregisterModuleClass(REFCLSID clsid);
void ComRegisterBuiltinClass(REFCLSID clsid, ComCreateFn create, const std::string &name);
// Path of the module registered for the class, or "" when none.
std::string ComModulePathOf(REFCLSID clsid);
bool ComIsClassRegistered(REFCLSID clsid);

// Full path of the shared object containing `address` (dladdr).
std::string ComModulePathOfAddress(const void *address);

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD clsctx, REFIID riid, void **ppv);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void *reserved, REFIID riid, void **ppv);
// Unloads modules whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// Signatures of a module's entry points.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void **);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

// A generic class factory over a creation function; used by modules'
// DllGetClassObject. Keeps a process-wide lock count.
class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(ComCreateFn create);
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;
    static long LockCount();
private:
    std::atomic<long> ref_{0};
    ComCreateFn create_;
};

// Finishes a creation function: `obj` was built with an initial reference
// count of zero; queries it for riid, deleting it on failure.
HRESULT ComFinishCreate(CUnknown *obj, HRESULT constructResult, REFIID riid, void **ppv);

// ---- running object table ----------------------------------------------
struct IMoniker : IUnknown {
    // Display name "<delimiter><item>" as wide text; the caller frees it with CoTaskMemFree.
    STDMETHOD(GetDisplayName)(void *bindCtx, IMoniker *left, LPWSTR *name) = 0;
};

struct IRunningObjectTable : IUnknown {
    STDMETHOD(Register)(DWORD flags, IUnknown *object, IMoniker *name, DWORD *cookie) = 0;
    STDMETHOD(Revoke)(DWORD cookie) = 0;
    STDMETHOD(IsRunning)(IMoniker *name) = 0;
    STDMETHOD(GetObject)(IMoniker *name, IUnknown **object) = 0;
};

HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable **rot);
HRESULT CreateItemMoniker(LPCWSTR delimiter, LPCWSTR item, IMoniker **moniker);
// Number of live registrations (for tests).
int RunningObjectTableCount();

// UTF-16 helpers for the wide-text APIs.
std::u16string Utf8ToWide(const std::string &s);
std::string WideToUtf8(const std::u16string &s);
std::string WideToUtf8(LPCWSTR s);
