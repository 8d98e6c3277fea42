// Framing of the bytes a printer sends into its reply frames. Each service object runs
// its own splitter at the start of its DataUpdate; the state and the partial frame
// survive between calls, so a frame may arrive split over any number of calls.
//
// Frame kinds (each output may hold several frames one after another):
//   statusBack      4 bytes: b0 with (b0 & 0x93) == 0x10, then 3 bytes with (b & 0x90) == 0
//   frame5, frame9  4 bytes: 35 or 39, x with (x & 0xC0) == 0x40, 40, 00
//   frameUnderscore 5F ... 00, frameSemicolon 3B ... 00, frame7 37 ... 00
//   other           every byte outside a frame, and the bytes of broken frames
// A byte that does not fit an open 4-byte frame breaks it: the frame's bytes go to
// `other` and the byte is examined again as the start of a frame. A text frame (5F, 3B,
// 37) that reaches kMaxTextFrame bytes without its 00 goes to `other` as broken, so that
// a lost terminator cannot swallow every later frame.
#pragma once

#include <string>

#include "platform/wintypes.h"

struct SplitFrames {
    std::string statusBack;
    std::string frame5;
    std::string frame9;
    std::string frameUnderscore;
    std::string frameSemicolon;
    std::string frame7;
    std::string other;
    void Clear();
};

class ResponseSplitter {
  public:
    static constexpr size_t kMaxTextFrame = 4096;

    ResponseSplitter() = default;
    virtual ~ResponseSplitter() = default;

    // Empties `out`, then frames `length` bytes of `data` (nothing for null data or a
    // length below 1).
    void Split(const BYTE* data, LONG length, SplitFrames* out);

    // Bytes of the frame still open (0 when idle).
    size_t Pending() const { return partial_.size(); }

  private:
    enum class State { Idle, StatusBack, Frame5, Underscore, Semicolon, Frame9, Frame7 };
    void Take(BYTE b, SplitFrames* out);
    void Finish(std::string* to);

    State state_ = State::Idle;
    std::string partial_;  // the open frame, its opening byte included
};
