// The file source: offers a file as a byte stream through IAsyncReader on
// its one output pin, so the splitter downstream reads what it needs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "media/baseclasses.h"
#include "mediaff/filters.h"

namespace mediaff {

namespace {

class FileSource;

class FileSourcePin final : public CBasePin, public IAsyncReader {
public:
    FileSourcePin(FileSource *filter, CCritSec *lock, HRESULT *phr);
    ~FileSourcePin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return NonDelegatingRelease(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (riid == IID_IAsyncReader) return GetInterface(static_cast<IAsyncReader *>(this), ppv);
        return CBasePin::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT CheckMediaType(const CMediaType *pmt) override {
        return pmt && *pmt->Type() == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int i, CMediaType *pmt) override;
    HRESULT CheckConnect(IPin *pin) override;

    // IPin and IAsyncReader share BeginFlush/EndFlush. An output pin is
    // never flushed through IPin, so these are the reader's: pending and
    // new requests fail until EndFlush.
    STDMETHODIMP BeginFlush() override { return ReaderBeginFlush(); }
    STDMETHODIMP EndFlush() override { return ReaderEndFlush(); }

    // IAsyncReader
    STDMETHODIMP RequestAllocator(IMemAllocator *preferred, ALLOCATOR_PROPERTIES *props, IMemAllocator **actual) override;
    STDMETHODIMP Request(IMediaSample *sample, DWORD_PTR user) override;
    STDMETHODIMP WaitForNext(DWORD timeout, IMediaSample **sample, DWORD_PTR *user) override;
    STDMETHODIMP SyncReadAligned(IMediaSample *sample) override;
    STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE *buffer) override;
    STDMETHODIMP Length(LONGLONG *total, LONGLONG *available) override;

private:
    HRESULT ReadSample(IMediaSample *sample);
    FileSource *source_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<std::pair<IMediaSample *, DWORD_PTR>> requests_;  // one reference each
    bool flushing_ = false;

    HRESULT ReaderBeginFlush();
    HRESULT ReaderEndFlush();
};

class FileSource final : public CBaseFilter, public IFileSourceFilter {
public:
    FileSource(LPUNKNOWN outer, HRESULT *phr)
        : CBaseFilter("FileSource", outer, &lock_, CLSID_AsyncReader), pin_(this, &lock_, phr) {}
    ~FileSource() override {
        if (fd_ >= 0) ::close(fd_);
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (riid == IID_IFileSourceFilter) return GetInterface(static_cast<IFileSourceFilter *>(this), ppv);
        return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }

    int GetPinCount() override { return 1; }
    CBasePin *GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }

    STDMETHODIMP Load(LPCOLESTR name, const AM_MEDIA_TYPE *) override {
        if (!name) return E_POINTER;
        CAutoLock l(&lock_);
        if (fd_ >= 0) return E_UNEXPECTED;  // one file per source
        std::string path = WideToUtf8(name);
        // Non-blocking open: a named pipe under a media name must not hang us.
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            if (errno == ENOENT) return HRESULT_FILE_NOT_FOUND;
            if (errno == ENOTDIR) return HRESULT_PATH_NOT_FOUND;
            if (errno == EACCES || errno == EPERM) return E_ACCESSDENIED;
            return E_FAIL;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return E_ACCESSDENIED;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        fd_ = fd;
        size_ = st.st_size;
        path_ = name;
        return S_OK;
    }

    STDMETHODIMP GetCurFile(LPOLESTR *name, AM_MEDIA_TYPE *pmt) override {
        if (!name) return E_POINTER;
        CAutoLock l(&lock_);
        *name = nullptr;
        if (fd_ < 0) return E_FAIL;
        *name = CoTaskWideDup(path_.c_str());
        if (!*name) return E_OUTOFMEMORY;
        if (pmt) {
            CMediaType mt;
            pin_.GetMediaType(0, &mt);
            CopyMediaType(pmt, &mt);
        }
        return S_OK;
    }

    // Thread-safe reads for the pin (pread does not move a shared offset).
    HRESULT Read(LONGLONG position, LONG length, BYTE *buffer, LONG *got) {
        *got = 0;
        if (fd_ < 0) return E_UNEXPECTED;
        if (position < 0 || length < 0) return E_INVALIDARG;
        while (*got < length) {
            ssize_t n = ::pread(fd_, buffer + *got, static_cast<size_t>(length - *got), position + *got);
            if (n < 0) {
                if (errno == EINTR) continue;
                return E_FAIL;
            }
            if (n == 0) break;
            *got += static_cast<LONG>(n);
        }
        return *got == length ? S_OK : S_FALSE;
    }
    LONGLONG Size() const { return size_; }
    bool Loaded() const { return fd_ >= 0; }
    const std::u16string &Path() const { return path_; }

private:
    CCritSec lock_;
    FileSourcePin pin_;
    int fd_ = -1;
    LONGLONG size_ = 0;
    std::u16string path_;
};

FileSourcePin::FileSourcePin(FileSource *filter, CCritSec *lock, HRESULT *phr)
    : CBasePin("FileSourcePin", filter, lock, phr, u"Output", PINDIR_OUTPUT), source_(filter) {}

FileSourcePin::~FileSourcePin() {
    std::lock_guard l(mu_);
    for (auto &r : requests_) r.first->Release();
}

HRESULT FileSourcePin::GetMediaType(int i, CMediaType *pmt) {
    if (i < 0) return E_INVALIDARG;
    if (i > 0) return VFW_S_NO_MORE_ITEMS;
    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_Stream);
    // The container is found by probing the bytes; the subtype only hints.
    const std::u16string &p = source_->Path();
    auto ends = [&](const char16_t *ext) {
        std::size_t n = std::char_traits<char16_t>::length(ext);
        if (p.size() < n) return false;
        for (std::size_t k = 0; k < n; ++k) {
            char16_t c = p[p.size() - n + k];
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
            if (c != ext[k]) return false;
        }
        return true;
    };
    if (ends(u".avi"))
        pmt->SetSubtype(&MEDIASUBTYPE_Avi);
    else if (ends(u".mpg") || ends(u".mpeg") || ends(u".dat") || ends(u".vob"))
        pmt->SetSubtype(&MEDIASUBTYPE_MPEG1System);
    else
        pmt->SetSubtype(&MEDIASUBTYPE_NULL);
    pmt->SetFormatType(&FORMAT_None);
    return S_OK;
}

HRESULT FileSourcePin::CheckConnect(IPin *pin) {
    if (!source_->Loaded()) return VFW_E_NOT_CONNECTED;  // nothing to offer before Load
    return CBasePin::CheckConnect(pin);
}

HRESULT FileSourcePin::RequestAllocator(IMemAllocator *preferred, ALLOCATOR_PROPERTIES *props, IMemAllocator **actual) {
    if (!props || !actual) return E_POINTER;
    *actual = nullptr;
    ComPtr<IMemAllocator> alloc;
    if (preferred) {
        alloc = ComPtr<IMemAllocator>(preferred);
    } else {
        HRESULT hr = CMemAllocator::Create(alloc.PutAddr());
        if (FAILED(hr)) return hr;
    }
    ALLOCATOR_PROPERTIES got{};
    HRESULT hr = alloc->SetProperties(props, &got);
    if (FAILED(hr)) return hr;
    *actual = alloc.Detach();
    return S_OK;
}

HRESULT FileSourcePin::ReadSample(IMediaSample *sample) {
    REFERENCE_TIME start = 0, end = 0;
    if (FAILED(sample->GetTime(&start, &end))) return E_INVALIDARG;
    // Sample times of a byte stream are byte positions times UNITS.
    LONGLONG pos = start / UNITS;
    LONG len = static_cast<LONG>(end / UNITS - pos);
    if (len < 0 || len > sample->GetSize()) return E_INVALIDARG;
    BYTE *buf = nullptr;
    sample->GetPointer(&buf);
    LONG got = 0;
    HRESULT hr = source_->Read(pos, len, buf, &got);
    sample->SetActualDataLength(got);
    return hr;
}

HRESULT FileSourcePin::Request(IMediaSample *sample, DWORD_PTR user) {
    if (!sample) return E_POINTER;
    std::lock_guard l(mu_);
    if (flushing_) return VFW_E_WRONG_STATE;
    sample->AddRef();
    requests_.emplace_back(sample, user);
    cv_.notify_all();
    return S_OK;
}

HRESULT FileSourcePin::WaitForNext(DWORD timeout, IMediaSample **sample, DWORD_PTR *user) {
    if (!sample || !user) return E_POINTER;
    *sample = nullptr;
    *user = 0;
    std::pair<IMediaSample *, DWORD_PTR> r{nullptr, 0};
    {
        std::unique_lock l(mu_);
        auto ready = [&] { return !requests_.empty() || flushing_; };
        if (timeout == INFINITE)
            cv_.wait(l, ready);
        else if (!cv_.wait_for(l, std::chrono::milliseconds(timeout), ready))
            return VFW_E_TIMEOUT;
        if (requests_.empty()) return VFW_E_WRONG_STATE;
        r = requests_.front();
        requests_.pop_front();
        if (flushing_) {
            *sample = r.first;  // handed back unread, with its reference
            *user = r.second;
            return VFW_E_WRONG_STATE;
        }
    }
    *sample = r.first;
    *user = r.second;
    return ReadSample(r.first);
}

HRESULT FileSourcePin::SyncReadAligned(IMediaSample *sample) {
    if (!sample) return E_POINTER;
    return ReadSample(sample);
}

HRESULT FileSourcePin::SyncRead(LONGLONG position, LONG length, BYTE *buffer) {
    if (!buffer) return E_POINTER;
    LONG got = 0;
    return source_->Read(position, length, buffer, &got);
}

HRESULT FileSourcePin::Length(LONGLONG *total, LONGLONG *available) {
    if (!total || !available) return E_POINTER;
    *total = *available = source_->Size();
    return S_OK;
}

HRESULT FileSourcePin::ReaderBeginFlush() {
    std::lock_guard l(mu_);
    flushing_ = true;
    cv_.notify_all();
    return S_OK;
}

HRESULT FileSourcePin::ReaderEndFlush() {
    std::lock_guard l(mu_);
    flushing_ = false;
    return S_OK;
}

}  // namespace

CUnknown *NewFileSource(LPUNKNOWN outer, HRESULT *phr) {
    return new FileSource(outer, phr);
}

}  // namespace mediaff
