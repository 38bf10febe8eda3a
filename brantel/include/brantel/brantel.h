// libbrantel.so: the media graph library's flat export table.
//
// Every entry point is a thin door onto one of four module-wide objects:
// two graph instances (names without a suffix drive the first, names ending
// in "2" the second) and two frame grabbers (the GrabAndDrawBitMap_ family,
// same rule). The objects have no lock: call every export from the one
// thread that called Initialize (the program's window thread).
//
// Conventions of the whole table:
// - results are one-byte booleans; every failure is a false result, nothing
//   is shown and no exception leaves the library;
// - times are seconds in doubles; inside the graph they are 100-ns units,
//   seconds x 10,000,000 truncated toward zero;
// - paths are zero-terminated UTF-8 text; the library never frees what the
//   caller passes, and copies what it keeps;
// - instance-bound exports return false (or do nothing) when their
//   instance, or the interface they need, does not exist.
#pragma once

#include <cstdint>

#include "platform/window.h"

// The calling convention annotation of the table (stdcall on 32-bit x86,
// where the exports' callers pop nothing; nothing on x86-64).
#if defined(__i386__)
#define BRANTEL_API __attribute__((stdcall))
#else
#define BRANTEL_API
#endif

#if defined(BRANTEL_BUILDING)
#define BRANTEL_EXPORT __attribute__((visibility("default")))
#else
#define BRANTEL_EXPORT
#endif

// The encoder settings record (contract/mpeg2parameter.h). The library
// copies sizeof(Mpeg2Parameter) bytes of it.
struct Mpeg2Parameter;

extern "C" {

// Completion callback: called from inside HandleEvent when the graph reports
// the end of the stream; its result becomes HandleEvent's result, which
// callers ignore. It may stop and delete the first instance.
typedef std::int32_t(BRANTEL_API *BrantelCompletionCallback)(void);

// ---- lifecycle and COM ----------------------------------------------------
// COM for the calling thread; true also when it was initialised already.
BRANTEL_EXPORT bool BRANTEL_API Initialize(void);
// Undoes one Initialize on the calling thread; always true.
BRANTEL_EXPORT bool BRANTEL_API Uninitialize(void);

// Creates the instance in its slot and builds its graph; false when the
// graph or a control interface cannot be had (the slot still holds the
// instance then). A slot that already holds an instance is emptied first.
BRANTEL_EXPORT bool BRANTEL_API Create(void);
BRANTEL_EXPORT bool BRANTEL_API Create2(void);
// Stops a running graph, destroys the instance, empties the slot; false
// when the slot was empty.
BRANTEL_EXPORT bool BRANTEL_API DeleteFilterGraph(void);
BRANTEL_EXPORT bool BRANTEL_API DeleteFilterGraph2(void);
BRANTEL_EXPORT bool BRANTEL_API IsGraphCreated(void);
BRANTEL_EXPORT bool BRANTEL_API IsGraphCreated2(void);
// Renders the source into the instance's graph (chosen by the extension).
BRANTEL_EXPORT bool BRANTEL_API RenderFile(const char *path);
BRANTEL_EXPORT bool BRANTEL_API RenderFile2(const char *path);
// Always false.
BRANTEL_EXPORT bool BRANTEL_API RenderFileSet(std::int32_t unused1, std::int32_t unused2);

// ---- playback and position --------------------------------------------------
// True at once when the graph already is in the asked state.
BRANTEL_EXPORT bool BRANTEL_API Run(void);
BRANTEL_EXPORT bool BRANTEL_API Pause(void);
BRANTEL_EXPORT bool BRANTEL_API Pause2(void);
BRANTEL_EXPORT bool BRANTEL_API Stop(void);
// The state query waits at most 10 ms; a failed query counts as not running.
BRANTEL_EXPORT bool BRANTEL_API IsRunning(void);
BRANTEL_EXPORT bool BRANTEL_API IsRunning2(void);
// With an encoder in the graph this is the encoder's position (time
// converted since the start position); otherwise the playback position.
BRANTEL_EXPORT bool BRANTEL_API GetCurrentPosition(double *seconds);
// Absolute seek, snapped to a key frame; the stop position is unchanged.
BRANTEL_EXPORT bool BRANTEL_API SetCurrentPosition(double seconds);
BRANTEL_EXPORT bool BRANTEL_API SetCurrentPosition2(double seconds);
BRANTEL_EXPORT bool BRANTEL_API GetDuration(double *seconds);
BRANTEL_EXPORT bool BRANTEL_API GetDuration2(double *seconds);
// Conversion range: start and stop, key-frame snapped.
BRANTEL_EXPORT bool BRANTEL_API SetStartStopPosition(double startSeconds, double stopSeconds);

// ---- video window -------------------------------------------------------------
// Places the video over the whole client area of `window`; with a null
// handle the video stays invisible and without owner.
BRANTEL_EXPORT bool BRANTEL_API SetDisplayWindow(HWND window);
BRANTEL_EXPORT bool BRANTEL_API SetDisplayWindow2(HWND window);
BRANTEL_EXPORT bool BRANTEL_API ResizeVideoWindow(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
BRANTEL_EXPORT bool BRANTEL_API ResizeVideoWindow2(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
// Native size of the video.
BRANTEL_EXPORT bool BRANTEL_API GetVideoSize(std::int32_t *width, std::int32_t *height);
// Writes the picture the renderer shows now to a bitmap file (replaced).
BRANTEL_EXPORT bool BRANTEL_API SnapshotBitmap(const char *bitmapPath);

// ---- events -----------------------------------------------------------------
// Graph events are announced by posting message 0x0414 (1044) with lparam 0
// to `window`; a null handle stops the notification.
BRANTEL_EXPORT bool BRANTEL_API SetNotifyWindow(HWND window);
BRANTEL_EXPORT bool BRANTEL_API SetNotifyWindow2(HWND window);
// The answer to message 1044: drains the first instance's event queue up to
// and including the first end-of-stream event, which calls the completion
// callback. Both arguments are ignored.
BRANTEL_EXPORT std::int32_t BRANTEL_API HandleEvent(WPARAM wparam, LPARAM lparam);
// Replaces the completion callback; null turns it off. False without instance.
BRANTEL_EXPORT bool BRANTEL_API Set_CallBackEC_COMPLETE(BrantelCompletionCallback callback);
// Forwards an owner window's message to the video window.
BRANTEL_EXPORT bool BRANTEL_API NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// ---- conversion -----------------------------------------------------------------
// Rewires the playback graph to feed the encoder filter. Only the low byte
// of audioOnly counts: 0 converts video and audio, anything else audio only
// (the video then ends in a null renderer). The source needs both a video
// and an audio stream in either mode.
BRANTEL_EXPORT bool BRANTEL_API ReplaceRenderWithMpeg2Enc(std::uint32_t audioOnly);
// Copies the record into the first instance (also when false is returned)
// and delivers it to the encoder; false when the graph has no encoder.
BRANTEL_EXPORT bool BRANTEL_API SetMpeg2Parameter(const Mpeg2Parameter *parameter);
// Copies the encoder's version text into `buffer`: 16 characters and a zero
// (the buffer must hold at least 17 bytes).
BRANTEL_EXPORT bool BRANTEL_API GetVersionOfFFEncoder(char *buffer);

// ---- frame capture and quick media info ----------------------------------------------
// Grabbers: Create returns the new grabber (opaque); IsCreated is 1 or 0.
BRANTEL_EXPORT void *BRANTEL_API GrabAndDrawBitMap_Create(void);
BRANTEL_EXPORT void *BRANTEL_API GrabAndDrawBitMap_Create2(void);
BRANTEL_EXPORT std::int32_t BRANTEL_API GrabAndDrawBitMap_IsCreated(void);
BRANTEL_EXPORT std::int32_t BRANTEL_API GrabAndDrawBitMap_IsCreated2(void);
BRANTEL_EXPORT void BRANTEL_API GrabAndDrawBitMap_Free(void);
BRANTEL_EXPORT void BRANTEL_API GrabAndDrawBitMap_Free2(void);
// Stores the target window, the grab size and the drawing position.
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_SetDisplayWindow(HWND window, std::int32_t grabWidth, std::int32_t grabHeight, std::int32_t drawLeft, std::int32_t drawTop);
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_SetDisplayWindow2(HWND window, std::int32_t grabWidth, std::int32_t grabHeight, std::int32_t drawLeft, std::int32_t drawTop);
// Takes the frame at `seconds`, scaled to the grab size; a failed grab keeps
// the previous frame.
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Grab(const char *path, double seconds);
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Grab2(const char *path, double seconds);
// Paints the kept frame into the display window; true.
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Draw(void);
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Draw2(void);
// The frame at `seconds` as a 160 x 120 bitmap file.
BRANTEL_EXPORT bool BRANTEL_API GrabFrameFromMovie(const char *moviePath, const char *bitmapPath, double seconds);
// The frame at `seconds` at the video's own size, through a temporary graph.
BRANTEL_EXPORT bool BRANTEL_API GrabFrameFromMovie_2(const char *moviePath, const char *bitmapPath, double seconds);
// Width and height of the file's first video stream; false when they could
// not be written.
BRANTEL_EXPORT bool BRANTEL_API GetVideInfoQuick(const char *path, std::int32_t unused, std::int32_t *width, std::int32_t *height);

// ---- diagnostics ----------------------------------------------------------------------
// Registers the first instance's graph in the running object table.
BRANTEL_EXPORT void BRANTEL_API AddToObjectTable(void);
// Constant texts; never freed.
BRANTEL_EXPORT const char *BRANTEL_API TestModule(void);
BRANTEL_EXPORT const char *BRANTEL_API BCBLoadVCWin32Stdcall(void);
// Plays ~/Temp_Video/bobo.mpg to its end, blocking the caller.
BRANTEL_EXPORT void BRANTEL_API DoInOneStep(void);

}  // extern "C"
