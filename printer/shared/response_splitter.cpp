#include "printer/shared/response_splitter.h"

void SplitFrames::Clear() {
    statusBack.clear();
    frame5.clear();
    frame9.clear();
    frameUnderscore.clear();
    frameSemicolon.clear();
    frame7.clear();
    other.clear();
}

void ResponseSplitter::Split(const BYTE* data, LONG length, SplitFrames* out) {
    if (!out) return;
    out->Clear();
    if (!data || length <= 0) return;
    for (LONG i = 0; i < length; ++i) Take(data[i], out);
}

void ResponseSplitter::Finish(std::string* to) {
    to->append(partial_);
    partial_.clear();
    state_ = State::Idle;
}

void ResponseSplitter::Take(BYTE b, SplitFrames* out) {
    const char c = static_cast<char>(b);
    switch (state_) {
        case State::Idle:
            if ((b & 0x93) == 0x10)
                state_ = State::StatusBack;
            else if (b == 0x35)
                state_ = State::Frame5;
            else if (b == 0x39)
                state_ = State::Frame9;
            else if (b == 0x5F)
                state_ = State::Underscore;
            else if (b == 0x3B)
                state_ = State::Semicolon;
            else if (b == 0x37)
                state_ = State::Frame7;
            else {
                out->other.push_back(c);
                return;
            }
            partial_.assign(1, c);
            return;

        case State::StatusBack:
            if ((b & 0x90) != 0) {
                Finish(&out->other);
                Take(b, out);  // idle now: no deeper recursion
                return;
            }
            partial_.push_back(c);
            if (partial_.size() == 4) Finish(&out->statusBack);
            return;

        case State::Frame5:
        case State::Frame9: {
            const size_t count = partial_.size();
            const bool fits = (count == 1 && (b & 0xC0) == 0x40) || (count == 2 && b == 0x40) ||
                              (count == 3 && b == 0x00);
            if (!fits) {
                Finish(&out->other);
                Take(b, out);
                return;
            }
            partial_.push_back(c);
            if (partial_.size() == 4) Finish(state_ == State::Frame5 ? &out->frame5 : &out->frame9);
            return;
        }

        case State::Underscore:
        case State::Semicolon:
        case State::Frame7: {
            partial_.push_back(c);
            if (b == 0x00) {
                Finish(state_ == State::Underscore  ? &out->frameUnderscore
                       : state_ == State::Semicolon ? &out->frameSemicolon
                                                    : &out->frame7);
            } else if (partial_.size() >= kMaxTextFrame) {
                Finish(&out->other);
            }
            return;
        }
    }
}
