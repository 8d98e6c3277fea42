#include "sim/commands.h"

#include <algorithm>
#include <iterator>

namespace sim {

namespace {

uint8_t At(std::string_view b, size_t i) {
    return static_cast<uint8_t>(b[i]);
}
size_t Word(std::string_view b, size_t i) {
    return At(b, i) | size_t{At(b, i + 1)} << 8;
}

template <size_t N>
size_t Fixed(std::string_view) {
    return N;
}

// xx 28 fn pL pH and pL + 256 pH bytes.
size_t Length16(std::string_view b) {
    return b.size() < 5 ? 0 : 5 + Word(b, 3);
}

// 1D 38 L p1 p2 p3 p4 and p bytes (32-bit, little-endian).
size_t Length32(std::string_view b) {
    if (b.size() < 7) return 0;
    return 7 + (Word(b, 3) | Word(b, 5) << 16);
}

// 1B 2A m nL nH: n columns of 1 byte (8-dot modes) or 3 bytes (24-dot modes 32, 33).
size_t BitImage(std::string_view b) {
    if (b.size() < 5) return 0;
    const uint8_t m = At(b, 2);
    return 5 + Word(b, 3) * (m == 32 || m == 33 ? 3 : 1);
}

// 1D 2A x y: x * y * 8 bytes.
size_t DownloadImage(std::string_view b) {
    return b.size() < 4 ? 0 : 4 + size_t{At(b, 2)} * At(b, 3) * 8;
}

// 1D 76 30 m xL xH yL yH and 1D 51 30 m xL xH yL yH: x * y bytes.
size_t Raster(std::string_view b) {
    return b.size() < 8 ? 0 : 8 + Word(b, 4) * Word(b, 6);
}

// Bytes up to and including a terminator found at `from` or later, at most `max` bytes.
size_t Terminated(std::string_view b, size_t from, char terminator, size_t count, size_t max) {
    size_t seen = 0;
    for (size_t i = from; i < b.size(); ++i) {
        if (b[i] == terminator && ++seen == count) return i + 1;
    }
    return b.size() >= max ? b.size() : 0;
}

// 1B 44 n1 ... nk 00 (tab positions, at most 32).
size_t Tabs(std::string_view b) {
    return Terminated(b, 2, '\0', 1, 35);
}

// 1B 26 y c1 c2, then per character x and y * x bytes.
size_t DefineChars(std::string_view b) {
    if (b.size() < 5) return 0;
    const size_t y = At(b, 2);
    const int c1 = At(b, 3), c2 = At(b, 4);
    size_t pos = 5;
    for (int c = c1; c <= c2; ++c) {
        if (pos >= b.size()) return 0;
        pos += 1 + y * At(b, pos);
    }
    return pos;
}

// 1D 6B m: m 0..6 data ended by 00; m 65 and above: n and n bytes.
size_t Barcode(std::string_view b) {
    if (b.size() < 3) return 0;
    if (At(b, 2) <= 6) return Terminated(b, 3, '\0', 1, 260);
    return b.size() < 4 ? 0 : 4 + At(b, 3);
}

// 1D 56 m [n]: m 0, 1, 30, 31 have no n.
size_t Cut(std::string_view b) {
    if (b.size() < 3) return 0;
    const uint8_t m = At(b, 2);
    return m == 0x00 || m == 0x01 || m == 0x30 || m == 0x31 ? 3 : 4;
}

// 1D 43 m ...: counter set-up.
size_t Counter(std::string_view b) {
    if (b.size() < 3) return 0;
    switch (At(b, 2)) {
        case 0x30:
        case 0x32:
            return 5;
        case 0x31:
            return 9;
        case 0x3B:
            return Terminated(b, 3, ';', 5, 64);
        default:
            return 3;
    }
}

// 10 04 n, with one more byte for n = 7 and 8.
size_t RealTimeStatus(std::string_view b) {
    if (b.size() < 3) return 0;
    const uint8_t n = At(b, 2);
    return n == 7 || n == 8 ? 4 : 3;
}

// 10 14 fn ...
size_t RealTimeCommand(std::string_view b) {
    if (b.size() < 3) return 0;
    switch (At(b, 2)) {
        case 1:  // pulse: m t
        case 2:  // power off: 1 8
            return 5;
        case 3:  // buzzer: a n r t1 t2
            return 8;
        case 7:  // status transmission: m
            return 4;
        case 8:  // buffer clear: d1 .. d7
            return 10;
        default:
            return 3;
    }
}

// 1C 61 30 n (read with a mode byte); 1C 61 31 and 1C 61 32 have none.
size_t MicrRead(std::string_view b) {
    return b.size() < 3 ? 0 : (At(b, 2) == 0x30 ? 4 : 3);
}

constexpr uint8_t DLE = 0x10, ESC = 0x1B, FS = 0x1C, GS = 0x1D;

// Commands are found by their first two bytes; a rule reads further bytes where the
// length depends on them. Later features add their rows here.
const CommandInfo kCommands[] = {
    // Real-time commands.
    {DLE, 0x04, Cmd::kRealTimeStatus, "real-time status", RealTimeStatus, true},
    {DLE, 0x05, Cmd::kRealTimeRequest, "real-time request", Fixed<3>, true},
    {DLE, 0x14, Cmd::kRealTimeCommand, "real-time command", RealTimeCommand, true},
    // ESC.
    {ESC, 0x0C, Cmd::kOther, "print page data", Fixed<2>, false},
    {ESC, 0x20, Cmd::kOther, "right-side character spacing", Fixed<3>, false},
    {ESC, 0x21, Cmd::kOther, "print mode", Fixed<3>, false},
    {ESC, 0x24, Cmd::kOther, "absolute position", Fixed<4>, false},
    {ESC, 0x25, Cmd::kOther, "user-defined characters on/off", Fixed<3>, false},
    {ESC, 0x26, Cmd::kOther, "define user characters", DefineChars, false},
    {ESC, 0x28, Cmd::kOther, "extended ESC ( function", Length16, false},
    {ESC, 0x2A, Cmd::kOther, "bit image", BitImage, false},
    {ESC, 0x2D, Cmd::kOther, "underline", Fixed<3>, false},
    {ESC, 0x32, Cmd::kOther, "default line spacing", Fixed<2>, false},
    {ESC, 0x33, Cmd::kOther, "line spacing", Fixed<3>, false},
    {ESC, 0x3C, Cmd::kOther, "return home", Fixed<2>, false},
    {ESC, 0x3D, Cmd::kSelectDevice, "select device", Fixed<3>, true},
    {ESC, 0x3F, Cmd::kOther, "cancel user character", Fixed<3>, false},
    {ESC, 0x40, Cmd::kInitialize, "initialise", Fixed<2>, false},
    {ESC, 0x44, Cmd::kOther, "tab positions", Tabs, false},
    {ESC, 0x45, Cmd::kOther, "emphasis", Fixed<3>, false},
    {ESC, 0x46, Cmd::kOther, "slip eject direction", Fixed<3>, false},
    {ESC, 0x47, Cmd::kOther, "double strike", Fixed<3>, false},
    {ESC, 0x4A, Cmd::kOther, "feed dots", Fixed<3>, false},
    {ESC, 0x4B, Cmd::kOther, "reverse feed dots", Fixed<3>, false},
    {ESC, 0x4C, Cmd::kOther, "page mode", Fixed<2>, false},
    {ESC, 0x4D, Cmd::kOther, "character font", Fixed<3>, false},
    {ESC, 0x52, Cmd::kOther, "international character set", Fixed<3>, false},
    {ESC, 0x53, Cmd::kOther, "standard mode", Fixed<2>, false},
    {ESC, 0x54, Cmd::kOther, "page direction", Fixed<3>, false},
    {ESC, 0x55, Cmd::kOther, "unidirectional printing", Fixed<3>, false},
    {ESC, 0x56, Cmd::kOther, "rotate 90 degrees", Fixed<3>, false},
    {ESC, 0x57, Cmd::kOther, "page area", Fixed<10>, false},
    {ESC, 0x5C, Cmd::kOther, "relative position", Fixed<4>, false},
    {ESC, 0x61, Cmd::kOther, "justification", Fixed<3>, false},
    {ESC, 0x63, Cmd::kSelectStation, "select station", Fixed<4>, false},
    {ESC, 0x64, Cmd::kOther, "feed lines", Fixed<3>, false},
    {ESC, 0x65, Cmd::kOther, "reverse feed lines", Fixed<3>, false},
    {ESC, 0x66, Cmd::kOther, "slip wait time", Fixed<4>, false},
    {ESC, 0x69, Cmd::kOther, "full cut", Fixed<2>, false},
    {ESC, 0x6D, Cmd::kOther, "partial cut", Fixed<2>, false},
    {ESC, 0x6F, Cmd::kOther, "stamp", Fixed<2>, false},
    {ESC, 0x70, Cmd::kOther, "drawer pulse", Fixed<5>, false},
    {ESC, 0x71, Cmd::kOther, "release slip", Fixed<2>, false},
    {ESC, 0x72, Cmd::kOther, "print colour", Fixed<3>, false},
    {ESC, 0x74, Cmd::kOther, "code page", Fixed<3>, false},
    {ESC, 0x75, Cmd::kOther, "transmit peripheral status", Fixed<3>, false},
    {ESC, 0x76, Cmd::kOther, "transmit paper status", Fixed<2>, false},
    {ESC, 0x7A, Cmd::kOther, "parallel two-station printing", Fixed<3>, false},
    {ESC, 0x7B, Cmd::kOther, "upside-down printing", Fixed<3>, false},
    // FS.
    {FS, 0x21, Cmd::kOther, "kanji print mode", Fixed<3>, false},
    {FS, 0x26, Cmd::kOther, "kanji mode on", Fixed<2>, false},
    {FS, 0x28, Cmd::kOther, "extended FS ( function", Length16, false},
    {FS, 0x2D, Cmd::kOther, "kanji underline", Fixed<3>, false},
    {FS, 0x2E, Cmd::kOther, "kanji mode off", Fixed<2>, false},
    {FS, 0x43, Cmd::kOther, "kanji code system", Fixed<3>, false},
    {FS, 0x53, Cmd::kOther, "kanji spacing", Fixed<4>, false},
    {FS, 0x57, Cmd::kOther, "kanji quadruple size", Fixed<3>, false},
    {FS, 0x61, Cmd::kOther, "MICR read", MicrRead, false},
    {FS, 0x63, Cmd::kOther, "MICR clean", Fixed<2>, false},
    {FS, 0x70, Cmd::kOther, "print stored logo", Fixed<4>, false},
    // GS.
    {GS, 0x0C, Cmd::kOther, "feed to print start", Fixed<2>, false},
    {GS, 0x21, Cmd::kOther, "character size", Fixed<3>, false},
    {GS, 0x24, Cmd::kOther, "absolute vertical position", Fixed<4>, false},
    {GS, 0x28, Cmd::kOther, "extended GS ( function", Length16, false},
    {GS, 0x2A, Cmd::kOther, "define downloaded image", DownloadImage, false},
    {GS, 0x2F, Cmd::kOther, "print downloaded image", Fixed<3>, false},
    {GS, 0x38, Cmd::kOther, "extended GS 8 function", Length32, false},
    {GS, 0x3A, Cmd::kOther, "macro definition", Fixed<2>, false},
    {GS, 0x42, Cmd::kOther, "reverse printing", Fixed<3>, false},
    {GS, 0x43, Cmd::kOther, "counter", Counter, false},
    {GS, 0x45, Cmd::kOther, "print density", Fixed<3>, false},
    {GS, 0x48, Cmd::kOther, "barcode text position", Fixed<3>, false},
    {GS, 0x49, Cmd::kTransmitId, "transmit printer ID", Fixed<3>, false},
    {GS, 0x4C, Cmd::kOther, "left margin", Fixed<4>, false},
    {GS, 0x4D, Cmd::kOther, "print head mode", Fixed<3>, false},
    {GS, 0x50, Cmd::kOther, "motion units", Fixed<4>, false},
    {GS, 0x51, Cmd::kOther, "variable image", Raster, false},
    {GS, 0x56, Cmd::kOther, "cut", Cut, false},
    {GS, 0x57, Cmd::kOther, "print area width", Fixed<4>, false},
    {GS, 0x5C, Cmd::kOther, "relative vertical position", Fixed<4>, false},
    {GS, 0x5E, Cmd::kOther, "run macro", Fixed<5>, false},
    {GS, 0x61, Cmd::kAutoStatus, "automatic status", Fixed<3>, false},
    {GS, 0x62, Cmd::kOther, "smoothing", Fixed<3>, false},
    {GS, 0x63, Cmd::kOther, "print counter", Fixed<2>, false},
    {GS, 0x66, Cmd::kOther, "barcode text font", Fixed<3>, false},
    {GS, 0x67, Cmd::kOther, "maintenance counter", Fixed<6>, false},
    {GS, 0x68, Cmd::kOther, "barcode height", Fixed<3>, false},
    {GS, 0x6A, Cmd::kOther, "second status stream", Fixed<3>, false},
    {GS, 0x6B, Cmd::kOther, "barcode", Barcode, false},
    {GS, 0x72, Cmd::kOther, "transmit status", Fixed<3>, false},
    {GS, 0x73, Cmd::kOther, "LED", Fixed<5>, false},
    {GS, 0x76, Cmd::kOther, "raster image", Raster, false},
    {GS, 0x77, Cmd::kOther, "barcode width", Fixed<3>, false},
};

}  // namespace

const CommandInfo* FindCommand(uint8_t introducer, uint8_t function) {
    auto it = std::find_if(std::begin(kCommands), std::end(kCommands), [&](const CommandInfo& c) {
        return c.introducer == introducer && c.function == function;
    });
    return it == std::end(kCommands) ? nullptr : &*it;
}

bool IsIntroducer(uint8_t b) {
    return b == DLE || b == ESC || b == FS || b == GS;
}

void CommandParser::Reset() {
    state_ = State::kIdle;
    current_ = Command{};
    remaining_ = 0;
}

void CommandParser::Finish(Handler& handler) {
    Command done = std::move(current_);
    Reset();
    handler.OnCommand(done);
}

void CommandParser::Feed(const uint8_t* data, size_t length, Handler& handler) {
    size_t i = 0;
    while (i < length) {
        switch (state_) {
            case State::kIdle: {
                const uint8_t b = data[i];
                if (IsIntroducer(b)) {
                    current_.bytes.assign(1, static_cast<char>(b));
                    state_ = State::kHeader;
                    ++i;
                } else if (b < 0x20) {
                    handler.OnControl(b);
                    ++i;
                } else {
                    size_t end = i;
                    while (end < length && data[end] >= 0x20) ++end;
                    handler.OnText(
                        std::string_view(reinterpret_cast<const char*>(data + i), end - i));
                    i = end;
                }
                break;
            }
            case State::kHeader: {
                current_.bytes += static_cast<char>(data[i++]);
                if (current_.bytes.size() == 2) {
                    current_.info = FindCommand(static_cast<uint8_t>(current_.bytes[0]),
                                                static_cast<uint8_t>(current_.bytes[1]));
                    if (!current_.info) {  // unknown: take the two bytes and go on
                        current_.length = 2;
                        Finish(handler);
                        break;
                    }
                }
                const size_t total = current_.info->length(current_.bytes);
                if (total == 0) {
                    if (current_.bytes.size() >= kMaxStored) {  // a rule that never decides
                        current_.length = current_.bytes.size();
                        Finish(handler);
                    }
                    break;
                }
                current_.length = total;
                if (total <= current_.bytes.size()) {
                    Finish(handler);
                } else {
                    remaining_ = total - current_.bytes.size();
                    state_ = State::kBody;
                }
                break;
            }
            case State::kBody: {
                const size_t n = std::min(remaining_, length - i);
                const size_t keep =
                    std::min(n, kMaxStored - std::min(kMaxStored, current_.bytes.size()));
                current_.bytes.append(reinterpret_cast<const char*>(data + i), keep);
                i += n;
                remaining_ -= n;
                if (remaining_ == 0) Finish(handler);
                break;
            }
        }
    }
}

}  // namespace sim
