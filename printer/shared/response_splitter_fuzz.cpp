// Any bytes, cut into any pieces: the splitter must not crash, must give the same frames
// as when fed the whole input at once, and must account for every byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "printer/shared/response_splitter.h"

namespace {

void Append(SplitFrames* all, const SplitFrames& f) {
    all->statusBack += f.statusBack;
    all->frame5 += f.frame5;
    all->frame9 += f.frame9;
    all->frameUnderscore += f.frameUnderscore;
    all->frameSemicolon += f.frameSemicolon;
    all->frame7 += f.frame7;
    all->other += f.other;
}

bool Same(const SplitFrames& a, const SplitFrames& b) {
    return a.statusBack == b.statusBack && a.frame5 == b.frame5 && a.frame9 == b.frame9 &&
           a.frameUnderscore == b.frameUnderscore && a.frameSemicolon == b.frameSemicolon &&
           a.frame7 == b.frame7 && a.other == b.other;
}

size_t Size(const SplitFrames& f) {
    return f.statusBack.size() + f.frame5.size() + f.frame9.size() + f.frameUnderscore.size() +
           f.frameSemicolon.size() + f.frame7.size() + f.other.size();
}

}  // namespace

// Input: one byte of cut seed, then the stream. Piece lengths come from the seed.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint32_t seed = data[0] * 2654435761u + 1;
    const BYTE* stream = data + 1;
    const size_t length = size - 1;

    ResponseSplitter whole;
    SplitFrames expected;
    whole.Split(stream, static_cast<LONG>(length), &expected);

    ResponseSplitter pieces;
    SplitFrames all, one;
    for (size_t pos = 0; pos < length;) {
        seed = seed * 1103515245u + 12345u;
        size_t n = 1 + (seed >> 16) % 40;
        if (n > length - pos) n = length - pos;
        pieces.Split(stream + pos, static_cast<LONG>(n), &one);
        if (pieces.Pending() >= ResponseSplitter::kMaxTextFrame) std::abort();
        Append(&all, one);
        pos += n;
    }
    if (!Same(all, expected) || pieces.Pending() != whole.Pending()) std::abort();
    if (Size(expected) + whole.Pending() != length) std::abort();
    if (expected.statusBack.size() % 4 || expected.frame5.size() % 4 || expected.frame9.size() % 4)
        std::abort();
    return 0;
}
