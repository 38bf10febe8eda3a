// The media graph as the conversion window drives it.
//
// The window only ever uses the first graph instance of the graph library;
// this interface names the few steps it takes, so the batch logic can be
// driven by a scripted graph in tests and by the library in the program.
// All calls on the GUI thread.
#pragma once

#include <memory>
#include <string>

#include "platform/window.h"

struct Mpeg2Parameter;

namespace velorin::conv {

using CompletionCallback = std::int32_t (*)();

class ConversionGraph {
public:
    virtual ~ConversionGraph() = default;
    // Closes any graph, creates the instance and renders the source.
    virtual bool OpenSource(const std::string &path) = 0;
    // Stops the graph (the encoder finishes its file), clears the notify
    // window and deletes the instance. Harmless without a graph.
    virtual void Close() = 0;
    virtual bool IsCreated() = 0;
    virtual bool SetNotifyWindow(HWND window) = 0;
    virtual bool SetCompletionCallback(CompletionCallback callback) = 0;
    virtual bool ReplaceRenderWithEncoder(bool audioOnly) = 0;
    virtual bool SetEncoderSettings(const Mpeg2Parameter &record) = 0;
    virtual bool SetStartStopPosition(double start, double stop) = 0;
    virtual bool Run() = 0;
    virtual bool Stop() = 0;
    // Seconds converted since the start position.
    virtual bool GetCurrentPosition(double *seconds) = 0;
    virtual void HandleEvent(WPARAM wparam, LPARAM lparam) = 0;
    virtual bool NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
};

// The graph library's first instance.
std::unique_ptr<ConversionGraph> MakeBrantelGraph();

}  // namespace velorin::conv
