#include "media/baseclasses.h"

// ---- CMediaSample ----------------------------------------------------------------
CMediaSample::CMediaSample(CMemAllocator *allocator, BYTE *buffer, long length)
    : m_pAllocator(allocator), m_pBuffer(buffer), m_cbBuffer(length) {}

CMediaSample::~CMediaSample() {
    if (m_pMediaType) DeleteMediaType(m_pMediaType);
}

STDMETHODIMP CMediaSample::QueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMediaSample) {
        *ppv = static_cast<IMediaSample *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef() { return static_cast<ULONG>(++m_cRef); }

STDMETHODIMP_(ULONG) CMediaSample::Release() {
    long r = --m_cRef;
    if (r == 0) {
        // Back to the pool; `this` may be freed by the call, touch nothing after.
        m_pAllocator->ReleaseBuffer(this);
    }
    return static_cast<ULONG>(r);
}

void CMediaSample::ResetProperties() {
    m_lActual = 0;
    m_bTimeValid = m_bStopValid = m_bMediaTimeValid = false;
    m_bSyncPoint = m_bPreroll = m_bDiscontinuity = false;
    m_Start = m_End = m_MediaStart = m_MediaEnd = 0;
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
}

STDMETHODIMP CMediaSample::GetPointer(BYTE **ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = m_pBuffer;
    return S_OK;
}

STDMETHODIMP_(long) CMediaSample::GetSize() { return m_cbBuffer; }

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!m_bTimeValid) return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_Start;
    if (!m_bStopValid) {
        *pTimeEnd = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeEnd = m_End;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) {
    if (!pTimeStart) {
        m_bTimeValid = m_bStopValid = false;
        return S_OK;
    }
    m_Start = *pTimeStart;
    m_bTimeValid = true;
    m_bStopValid = pTimeEnd != nullptr;
    if (pTimeEnd) m_End = *pTimeEnd;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint() { return m_bSyncPoint ? S_OK : S_FALSE; }
STDMETHODIMP CMediaSample::SetSyncPoint(BOOL b) {
    m_bSyncPoint = b != FALSE;
    return S_OK;
}
STDMETHODIMP CMediaSample::IsPreroll() { return m_bPreroll ? S_OK : S_FALSE; }
STDMETHODIMP CMediaSample::SetPreroll(BOOL b) {
    m_bPreroll = b != FALSE;
    return S_OK;
}
STDMETHODIMP_(long) CMediaSample::GetActualDataLength() { return m_lActual; }
STDMETHODIMP CMediaSample::SetActualDataLength(long length) {
    if (length < 0 || length > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
    m_lActual = length;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE **ppMediaType) {
    if (!ppMediaType) return E_POINTER;
    *ppMediaType = nullptr;
    if (!m_pMediaType) return S_FALSE;
    *ppMediaType = CreateMediaType(m_pMediaType);
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE *pMediaType) {
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
    if (!pMediaType) return S_OK;
    m_pMediaType = CreateMediaType(pMediaType);
    return m_pMediaType ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::IsDiscontinuity() { return m_bDiscontinuity ? S_OK : S_FALSE; }
STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL b) {
    m_bDiscontinuity = b != FALSE;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) {
    if (!pTimeStart || !pTimeEnd) return E_POINTER;
    if (!m_bMediaTimeValid) return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = m_MediaStart;
    *pTimeEnd = m_MediaEnd;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) {
    if (!pTimeStart) {
        m_bMediaTimeValid = false;
        return S_OK;
    }
    if (!pTimeEnd) return E_POINTER;
    m_MediaStart = *pTimeStart;
    m_MediaEnd = *pTimeEnd;
    m_bMediaTimeValid = true;
    return S_OK;
}

// ---- CMemAllocator ---------------------------------------------------------------------
CMemAllocator::CMemAllocator(const char *name, LPUNKNOWN outer, HRESULT *) : CUnknown(name, outer) {}

CMemAllocator::~CMemAllocator() = default;

HRESULT CMemAllocator::Create(IMemAllocator **ppAlloc) {
    if (!ppAlloc) return E_POINTER;
    auto *a = new (std::nothrow) CMemAllocator("allocator", nullptr, nullptr);
    if (!a) {
        *ppAlloc = nullptr;
        return E_OUTOFMEMORY;
    }
    return ComFinishCreate(a, S_OK, IID_IMemAllocator, reinterpret_cast<void **>(ppAlloc));
}

STDMETHODIMP CMemAllocator::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES *pRequest, ALLOCATOR_PROPERTIES *pActual) {
    if (!pRequest || !pActual) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
    if (m_free.size() != m_samples.size()) return VFW_E_BUFFERS_OUTSTANDING;
    long align = pRequest->cbAlign <= 0 ? 1 : pRequest->cbAlign;
    if ((align & (align - 1)) != 0) return VFW_E_BADALIGN;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) return E_INVALIDARG;
    // Buffers sized for a picture of more than 512 MB are a broken format, not a request.
    if (static_cast<long long>(pRequest->cbBuffer) + pRequest->cbPrefix > (512LL << 20) || pRequest->cBuffers > 1024)
        return E_OUTOFMEMORY;
    ALLOCATOR_PROPERTIES p = *pRequest;
    p.cbAlign = align;
    // Changing size: the old buffers go.
    if (p.cbBuffer != m_props.cbBuffer || p.cBuffers != m_props.cBuffers || p.cbPrefix != m_props.cbPrefix ||
        p.cbAlign != m_props.cbAlign) {
        m_samples.clear();
        m_free.clear();
        m_buffers.clear();
    }
    m_props = p;
    *pActual = p;
    return S_OK;
}

STDMETHODIMP CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES *pProps) {
    if (!pProps) return E_POINTER;
    std::lock_guard<std::mutex> g(m_lock);
    *pProps = m_props;
    return S_OK;
}

STDMETHODIMP CMemAllocator::Commit() {
    std::lock_guard<std::mutex> g(m_lock);
    if (m_bCommitted) return S_OK;
    if (m_props.cBuffers <= 0 || m_props.cbBuffer <= 0) return VFW_E_SIZENOTSET;
    if (m_samples.empty()) {
        const long align = m_props.cbAlign;
        try {
            for (long i = 0; i < m_props.cBuffers; ++i) {
                const std::size_t bytes = static_cast<std::size_t>(m_props.cbBuffer) + m_props.cbPrefix + align;
                std::unique_ptr<BYTE[]> block(new BYTE[bytes]);
                auto base = reinterpret_cast<std::uintptr_t>(block.get()) + m_props.cbPrefix;
                base = (base + align - 1) & ~static_cast<std::uintptr_t>(align - 1);
                auto sample = std::make_unique<CMediaSample>(this, reinterpret_cast<BYTE *>(base), m_props.cbBuffer);
                m_free.push_back(sample.get());
                m_samples.push_back(std::move(sample));
                m_buffers.push_back(std::move(block));
            }
        } catch (const std::bad_alloc &) {
            m_samples.clear();
            m_free.clear();
            m_buffers.clear();
            return E_OUTOFMEMORY;
        }
    }
    m_bCommitted = true;
    return S_OK;
}

STDMETHODIMP CMemAllocator::Decommit() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_bCommitted) return S_OK;
        m_bCommitted = false;
        FreeBuffersIfIdle();
    }
    m_cv.notify_all();
    return S_OK;
}

void CMemAllocator::FreeBuffersIfIdle() {
    if (!m_bCommitted && m_free.size() == m_samples.size()) {
        m_free.clear();
        m_samples.clear();
        m_buffers.clear();
    }
}

STDMETHODIMP CMemAllocator::GetBuffer(IMediaSample **ppBuffer, REFERENCE_TIME *pStartTime, REFERENCE_TIME *pEndTime,
                                      DWORD dwFlags) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = nullptr;
    CMediaSample *sample = nullptr;
    {
        std::unique_lock<std::mutex> l(m_lock);
        for (;;) {
            if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
            if (!m_free.empty()) break;
            if (dwFlags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            m_cv.wait(l);
        }
        sample = m_free.back();
        m_free.pop_back();
        sample->ResetProperties();
        sample->m_cRef = 1;
    }
    // Each sample out keeps the pool alive.
    AddRef();
    if (pStartTime) sample->SetTime(pStartTime, pEndTime);
    *ppBuffer = sample;
    return S_OK;
}

STDMETHODIMP CMemAllocator::ReleaseBuffer(IMediaSample *pBuffer) {
    if (!pBuffer) return E_POINTER;
    {
        std::lock_guard<std::mutex> g(m_lock);
        auto *s = static_cast<CMediaSample *>(pBuffer);
        if (s->m_pMediaType) {
            DeleteMediaType(s->m_pMediaType);
            s->m_pMediaType = nullptr;
        }
        m_free.push_back(s);
        FreeBuffersIfIdle();
    }
    m_cv.notify_one();
    Release();
    return S_OK;
}

bool CMemAllocator::IsCommitted() {
    std::lock_guard<std::mutex> g(m_lock);
    return m_bCommitted;
}

long CMemAllocator::FreeCount() {
    std::lock_guard<std::mutex> g(m_lock);
    return static_cast<long>(m_free.size());
}
