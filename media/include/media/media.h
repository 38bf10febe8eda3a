// The media framework: a filter-graph runtime of our own on FFmpeg.
//
// Design
// ------
// A graph is a set of filters (COM objects with pins) owned by the Filter
// Graph Manager (CLSID_FilterGraph, created with CoCreateInstance). Output
// pins connect to input pins after agreeing a media type; the output side
// then negotiates an allocator, a fixed pool of samples, which is also the
// bound on every hand-over: a producer that finds the pool empty blocks in
// GetBuffer until the consumer releases a sample, or until the pool is
// decommitted by a stop or flush.
//
// Threads. The application thread (for Velorin: its window thread, through
// Brantel) builds the graph and calls control, seeking and window methods.
// Data flows on streaming threads owned by the filters that start streams:
// the splitter runs one thread per output pin, each fed from the demuxer
// through a bounded queue, so that a consumer that holds one input back
// (the encoder keeps its two inputs in step; a paused renderer holds its
// first picture) never stalls the other stream. Transform filters (the
// decoders and converters) work and deliver on the thread that called
// their Receive. Renderers present on that same thread, waiting on the
// reference clock when the graph has one. A streaming call returns a flow
// result (see FlowResultName); no exception crosses it, and errors are
// reported as events.
//
// State changes are made by the graph on the application thread, downstream
// filters first (renderers, then decoders, then sources), so that no filter
// delivers to one that is not ready. Stopped -> running passes through
// paused. Pausing a renderer completes only when it holds a sample (or has
// seen end of stream); until then the graph's GetState answers
// VFW_S_STATE_INTERMEDIATE. Stop decommits the allocators, which wakes every
// blocked thread, and the sources join their threads before Stop returns.
//
// Seeking is a flush: the graph sends the new positions once per source,
// through a renderer's IMediaSeeking (CPosPassThru hands them upstream pin
// by pin to the splitter). The splitter marks its pins flushing so that
// deliveries return at once, calls BeginFlush downstream, joins its
// threads, seeks (to the key frame at or before the position when asked),
// sends EndFlush and NewSegment and restarts, with sample times from 0 at
// the new position. A splitter treats a position change arriving on any of
// its output pins as a change for the whole filter. When the graph was
// running it is paused around the seek and runs again with a new start
// time, so stream time restarts at 0 too.
//
// Events. Filters report through IMediaEventSink (the graph). The graph
// queues them, and posts the notify message (IMediaEventEx::SetNotifyWindow)
// through platform::PostMessage for each event queued. EC_COMPLETE from the
// renderers is collected: one EC_COMPLETE is queued once every rendered
// stream has ended; the count restarts at each run and each seek.
//
// Clock. The graph picks a system reference clock at its first pause
// unless SetSyncSource was called; SetSyncSource(NULL) removes pacing and
// the graph runs as fast as its filters allow (conversions).
//
// Building. RenderFile adds a source for the file (a splitter already in
// the graph that accepts the file's byte stream is preferred), then
// renders every output pin: filters already in the graph with a free input
// pin are tried first, then registered ones from the filter mapper by
// merit, highest first, never MERIT_DO_NOT_USE or below, recursively down
// to a renderer. Connect does the same between two given pins, inserting
// a converter when they share no type.
//
// Headers
// -------
//   media/mtypes.h        types, GUIDs, format blocks, result and event codes
//   media/interfaces.h    the interfaces
//   media/sync.h          CCritSec, CAutoLock, CAMEvent
//   media/baseclasses.h   CBaseFilter, pins, samples, allocator, CPosPassThru
//   media/transform.h     CTransformFilter
//   media/registration.h  setup data, filter mapper, module entry points
//   media/renderers.h     stock renderers' names and identifiers
#pragma once

#include "media/baseclasses.h"
#include "media/interfaces.h"
#include "media/mtypes.h"
#include "media/registration.h"
#include "media/renderers.h"
#include "media/sync.h"
#include "media/transform.h"
