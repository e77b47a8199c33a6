// What the pages of the emulation manager window may do to it: switch its Play button on
// and off. Each page gets the manager's sink when it is made.
#pragma once

class CPlayButtonSink {
public:
    virtual ~CPlayButtonSink() = default;
    virtual void EnablePlayButton(bool enable) = 0;
};
