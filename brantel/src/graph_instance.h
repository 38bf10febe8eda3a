// The graph instance: one Filter Graph Manager of the media framework and
// the control interfaces obtained from it, plus what the conversion adds.
//
// GraphPlayer holds the graph and its control interfaces and does what any
// player does: create or attach a graph, run/pause/stop, seek, place the
// video. GraphInstance adds the conversion: the filters pre-added before
// automatic rendering, the encoder filter and its interfaces, the settings
// record, the object-table entry.
//
// An instance is used from one thread (the program's window thread); it has
// no lock. Every interface member holds one reference of its own; teardown
// removes the filters from the graph and releases every member.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "brantel/brantel.h"
#include "com/com.h"
#include "contract/mpeg2parameter.h"
#include "media/media.h"

namespace brantel {

// Window message announcing graph events (WM_USER + 20).
constexpr UINT kGraphNotifyMessage = WM_USER + 20;
// Absolute positioning plus seek to key frame.
constexpr DWORD kSeekFlags = AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame;
// How long a state query may wait.
constexpr LONG kStateQueryTimeoutMs = 10;
// How long a snapshot waits for a pause or seek still in progress.
constexpr LONG kSnapshotWaitMs = 3000;

class GraphPlayer {
public:
    GraphPlayer() = default;
    virtual ~GraphPlayer();
    GraphPlayer(const GraphPlayer &) = delete;
    GraphPlayer &operator=(const GraphPlayer &) = delete;

    // Creates the Filter Graph Manager and acquires the control interfaces;
    // false when the graph exists already, cannot be created, or any
    // interface is missing.
    virtual bool CreateGraph();
    // Releases everything held; the object is then without graph.
    virtual void ReleaseGraph();
    // Releases the current graph and takes `graph` instead (null: none).
    virtual bool AttachGraph(IGraphBuilder *graph);

    bool HasGraph() const { return static_cast<bool>(graphBuilder_); }

    // Playback: true at once when already in the asked state.
    bool Run();
    bool Pause();
    bool Stop();
    // True when the state query succeeds and reports `state` (or a
    // transition toward it).
    bool IsInState(FILTER_STATE state) const;
    // Waits (bounded) until a state change has completed in `state`; for
    // callers that need the renderer's picture right after a pause or seek.
    bool WaitForState(FILTER_STATE state, LONG timeoutMs = 5000) const;
    bool PauseAndWait() { return Pause() && WaitForState(State_Paused); }

    bool GetPosition(double *seconds) const;
    bool SetPosition(double seconds);
    bool GetDuration(double *seconds) const;
    bool SetStartStop(double start, double stop);

    bool SetDisplayWindow(HWND window);
    bool ResizeVideoWindow(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
    bool GetVideoSize(std::int32_t *width, std::int32_t *height) const;
    bool NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    bool SetNotifyWindow(HWND window);
    void SetCompletionCallback(BrantelCompletionCallback callback) { completion_ = callback; }
    BrantelCompletionCallback CompletionCallback() const { return completion_; }
    IMediaEventEx *MediaEvent() const { return mediaEvent_.Get(); }

    // The renderer's current picture written as a bitmap file.
    bool Snapshot(const char *bitmapPath) const;

    IGraphBuilder *Graph() const { return graphBuilder_.Get(); }
    IMediaControl *MediaControl() const { return mediaControl_.Get(); }

protected:
    // Queries the graph for the control interfaces; true when all came.
    bool AcquireControls();
    void ReleasePlayer();

    ComPtr<IGraphBuilder> graphBuilder_;
    ComPtr<IMediaControl> mediaControl_;
    ComPtr<IMediaEventEx> mediaEvent_;
    ComPtr<IBasicVideo> basicVideo_;
    ComPtr<IBasicAudio> basicAudio_;
    ComPtr<IVideoWindow> videoWindow_;
    ComPtr<IMediaSeeking> mediaSeeking_;
    DWORD objectTableCookie_ = 0;
    BrantelCompletionCallback completion_ = nullptr;
    // CreateGraph's own COM initialisation, undone at teardown so repeated
    // Create/Delete leave the thread's count where the program put it.
    bool comInitialised_ = false;
};

class GraphInstance : public GraphPlayer {
public:
    GraphInstance() = default;
    ~GraphInstance() override;

    bool CreateGraph() override;
    void ReleaseGraph() override;

    // Renders the source by its extension (pre-adding what some types need).
    bool RenderFile(const char *path);
    // Replaces the two renderers by the encoder (or, audio only, the video
    // renderer by a null renderer and the audio renderer by the encoder).
    bool ReplaceRenderWithEncoder(bool audioOnly);
    bool SetParameters(const Mpeg2Parameter *parameter);
    bool GetEncoderVersion(char *buffer);
    // With an encoder: the encoder's position; otherwise the playback position.
    bool GetCurrentPosition(double *seconds);
    void AddToObjectTable();

    // Takes `encoder` as the conversion's encoder filter without wiring it
    // (for diagnostics and tests that bring their own encoder).
    void AdoptEncoderFilter(IBaseFilter *encoder) { encoder_ = ComPtr<IBaseFilter>(encoder); }

    // Inspection, for tests and diagnostics.
    IBaseFilter *EncoderFilter() const { return encoder_.Get(); }
    IBaseFilter *NullRenderer() const { return nullRenderer_.Get(); }
    IBaseFilter *AviDecompressor() const { return aviDecompressor_.Get(); }
    IBaseFilter *ColourSpaceConverter() const { return colourConverter_.Get(); }
    IBaseFilter *RealMediaSplitter() const { return rmSplitter_.Get(); }
    IBaseFilter *RealMediaAudioDecoder() const { return rmAudioDecoder_.Get(); }
    IBaseFilter *RealMediaVideoDecoder() const { return rmVideoDecoder_.Get(); }
    const Mpeg2Parameter *SettingsRecord() const { return settings_.get(); }
    DWORD ObjectTableCookie() const { return objectTableCookie_; }

private:
    bool PlainRender(const char *path);
    bool RenderQuickTime(const char *path);
    void PreAdd(REFCLSID clsid, const char16_t *name, ComPtr<IBaseFilter> *member);
    void DropIfUnconnected(ComPtr<IBaseFilter> *member);
    void RemoveAllFilters();

    ComPtr<IBaseFilter> nullRenderer_;
    ComPtr<IBaseFilter> encoder_;
    ComPtr<IBaseFilter> rmSplitter_;
    ComPtr<IBaseFilter> rmAudioDecoder_;
    ComPtr<IBaseFilter> rmVideoDecoder_;
    ComPtr<IBaseFilter> aviDecompressor_;
    ComPtr<IBaseFilter> colourConverter_;
    ComPtr<IFFEncoderSettings> encoderSettings_;
    ComPtr<IFFEncoderInfo> encoderInfo_;
    std::unique_ptr<Mpeg2Parameter> settings_;
};

}  // namespace brantel
