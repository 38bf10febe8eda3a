// The running object table: named registrations that inspection tools and
// tests can look up. Item monikers carry "<delimiter><item>" as their name.
#include "com/com.h"

#include <map>
#include <mutex>
#include <new>

namespace {

class ItemMoniker final : public IMoniker {
public:
    ItemMoniker(std::u16string delimiter, std::u16string item) : name_(std::move(delimiter) + std::move(item)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMoniker) {
            *ppv = static_cast<IMoniker *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++ref_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG r = --ref_;
        if (!r) delete this;
        return r;
    }
    STDMETHODIMP GetDisplayName(void *, IMoniker *, LPWSTR *name) override {
        if (!name) return E_POINTER;
        auto *buf = static_cast<char16_t *>(CoTaskMemAlloc((name_.size() + 1) * sizeof(char16_t)));
        if (!buf) return E_OUTOFMEMORY;
        std::copy(name_.begin(), name_.end(), buf);
        buf[name_.size()] = 0;
        *name = buf;
        return S_OK;
    }
    const std::u16string &Text() const { return name_; }
private:
    std::atomic<ULONG> ref_{0};
    std::u16string name_;
};

std::u16string DisplayNameOf(IMoniker *m) {
    LPWSTR name = nullptr;
    if (!m || FAILED(m->GetDisplayName(nullptr, nullptr, &name)) || !name) return {};
    std::u16string s(name);
    CoTaskMemFree(name);
    return s;
}

struct Entry {
    std::u16string name;
    IUnknown *object;
};

class RunningObjectTable final : public IRunningObjectTable {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IRunningObjectTable) {
            *ppv = static_cast<IRunningObjectTable *>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The table lives for the whole process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP Register(DWORD, IUnknown *object, IMoniker *name, DWORD *cookie) override {
        if (!object || !name || !cookie) return E_INVALIDARG;
        std::u16string text = DisplayNameOf(name);
        object->AddRef();
        std::lock_guard<std::mutex> lock(mutex_);
        DWORD c = next_++;
        if (next_ == 0) next_ = 1;
        entries_[c] = Entry{text, object};
        *cookie = c;
        return S_OK;
    }
    STDMETHODIMP Revoke(DWORD cookie) override {
        IUnknown *obj = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = entries_.find(cookie);
            if (it == entries_.end()) return E_INVALIDARG;
            obj = it->second.object;
            entries_.erase(it);
        }
        obj->Release();
        return S_OK;
    }
    STDMETHODIMP IsRunning(IMoniker *name) override {
        std::u16string text = DisplayNameOf(name);
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto &e : entries_)
            if (e.second.name == text) return S_OK;
        return S_FALSE;
    }
    STDMETHODIMP GetObject(IMoniker *name, IUnknown **object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        std::u16string text = DisplayNameOf(name);
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto &e : entries_)
            if (e.second.name == text) {
                *object = e.second.object;
                (*object)->AddRef();
                return S_OK;
            }
        return MK_E_UNAVAILABLE;
    }
    int Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(entries_.size());
    }
private:
    std::mutex mutex_;
    std::map<DWORD, Entry> entries_;
    DWORD next_ = 1;
};

RunningObjectTable &table() {
    static RunningObjectTable *t = new RunningObjectTable;
    return *t;
}

}  // namespace

HRESULT GetRunningObjectTable(DWORD, IRunningObjectTable **rot) {
    if (!rot) return E_POINTER;
    *rot = &table();
    return S_OK;
}

HRESULT CreateItemMoniker(LPCWSTR delimiter, LPCWSTR item, IMoniker **moniker) {
    if (!moniker) return E_POINTER;
    *moniker = nullptr;
    auto *m = new (std::nothrow) ItemMoniker(delimiter ? std::u16string(delimiter) : std::u16string(),
                                             item ? std::u16string(item) : std::u16string());
    if (!m) return E_OUTOFMEMORY;
    m->AddRef();
    *moniker = m;
    return S_OK;
}

int RunningObjectTableCount() { return table().Count(); }
