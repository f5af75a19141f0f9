#pragma once

namespace pelmora {

// Where an operation reports its progress, 0 to 100.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void show() = 0;
    virtual void setValue(int percent) = 0;
    virtual void hide() = 0;
    // A file was read while the run is planned, before the bar is shown.
    virtual void working() {}
    // The user asked the run to stop: asked between two files.
    virtual bool stopRequested() const { return false; }
};

} // namespace pelmora
