// The module-wide objects behind the export table (exports.cpp). Only the
// window thread touches them; tests use the slots to put prepared instances
// in place.
#pragma once

namespace brantel {

class GraphInstance;
class FrameGrabber;

// which: 1 for the first object, 2 for the second.
GraphInstance *&Slot(int which);
FrameGrabber *&GrabberSlot(int which);

}  // namespace brantel
