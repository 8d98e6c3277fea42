#include "printer/shared/response_splitter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Bytes(const std::string& hex) {
    std::string out;
    unsigned v = 0;
    int digits = 0;
    for (char c : hex) {
        if (c == ' ') continue;
        v = v * 16 + static_cast<unsigned>(std::isdigit(c) ? c - '0' : (c & ~0x20) - 'A' + 10);
        if (++digits == 2) {
            out.push_back(static_cast<char>(v));
            v = 0;
            digits = 0;
        }
    }
    return out;
}

std::string Hex(const std::string& s) {
    std::string out;
    char buf[3];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        out += buf;
    }
    return out;
}

// The non-empty outputs of one call, in a fixed order.
std::string Describe(const SplitFrames& f) {
    std::string out;
    auto add = [&](const char* name, const std::string& v) {
        if (v.empty()) return;
        if (!out.empty()) out += ' ';
        out += std::string(name) + "=" + Hex(v);
    };
    add("statusBack", f.statusBack);
    add("frame5", f.frame5);
    add("frame9", f.frame9);
    add("frameUnderscore", f.frameUnderscore);
    add("frameSemicolon", f.frameSemicolon);
    add("frame7", f.frame7);
    add("other", f.other);
    return out;
}

void Append(SplitFrames* all, const SplitFrames& f) {
    all->statusBack += f.statusBack;
    all->frame5 += f.frame5;
    all->frame9 += f.frame9;
    all->frameUnderscore += f.frameUnderscore;
    all->frameSemicolon += f.frameSemicolon;
    all->frame7 += f.frame7;
    all->other += f.other;
}

size_t Size(const SplitFrames& f) {
    return f.statusBack.size() + f.frame5.size() + f.frame9.size() + f.frameUnderscore.size() +
           f.frameSemicolon.size() + f.frame7.size() + f.other.size();
}

// Feeds `stream` cut at `cuts` (ascending offsets); returns every call's outputs together
// and the bytes still pending.
std::string FeedCut(const std::string& stream, const std::vector<size_t>& cuts) {
    ResponseSplitter splitter;
    SplitFrames all, one;
    size_t from = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(stream.size());
    for (size_t end : ends) {
        splitter.Split(reinterpret_cast<const BYTE*>(stream.data()) + from,
                       static_cast<LONG>(end - from), &one);
        Append(&all, one);
        from = end;
    }
    // Nothing is dropped: every byte is in an output or still pending.
    EXPECT_EQ(Size(all) + splitter.Pending(), stream.size());
    return Describe(all) + " pending=" + std::to_string(splitter.Pending());
}

TEST(ResponseSplitter, GoldenRows) {
    struct Row {
        std::vector<const char*> pieces;
        const char* calls;  // the outputs of each call, " | " between calls
    } rows[] = {
        {{"14 00", "00 00"}, " | statusBack=14000000"},
        {{"10 90"}, "other=1090"},
        {{"35 41 40 00"}, "frame5=35414000"},
        {{"35 41 41 00"}, "other=35414100"},
        {{"39", "43 40 00"}, " | frame9=39434000"},
        {{"5F 31 32", "33 00"}, " | frameUnderscore=5F31323300"},
        // Several frames of every kind in one call, a real-time reply byte between them.
        {{"14 01 02 03 35 41 40 00 39 7F 40 00 5F 00 3B 30 00 37 21 41 00 12"},
         "statusBack=14010203 frame5=35414000 frame9=397F4000 frameUnderscore=5F00 "
         "frameSemicolon=3B3000 frame7=37214100 other=12"},
        // A byte with bit 7 breaks a status frame and is looked at again from idle.
        {{"14 00 80 14 00 00 00"}, "statusBack=14000000 other=140080"},
        // A '5' that does not fit breaks the frame and opens the next one.
        {{"35 35 41 40 00"}, "frame5=35414000 other=35"},
        {{"10 10 00 00 00"}, "statusBack=10000000 other=10"},
        // Text frames take anything up to their 00; several follow one another.
        {{"3B 14 35 00 5F 00 5F 41 00"}, "frameUnderscore=5F005F4100 frameSemicolon=3B143500"},
        // A frame stays open over several calls.
        {{"37", "22 53", "59 4E 43", "00 16"}, " |  |  | frame7=372253594E4300 other=16"},
    };
    for (const Row& r : rows) {
        ResponseSplitter splitter;
        SplitFrames out;
        std::string calls;
        for (size_t i = 0; i < r.pieces.size(); ++i) {
            std::string piece = Bytes(r.pieces[i]);
            splitter.Split(reinterpret_cast<const BYTE*>(piece.data()),
                           static_cast<LONG>(piece.size()), &out);
            calls += (i ? " | " : "") + Describe(out);
        }
        EXPECT_EQ(calls, r.calls) << r.pieces[0];
        EXPECT_EQ(splitter.Pending(), 0u) << r.pieces[0];
    }
}

TEST(ResponseSplitter, EmptiesOutputsAndIgnoresBadArguments) {
    ResponseSplitter splitter;
    SplitFrames out;
    out.other = "stale";
    std::string b = Bytes("5F 41");
    splitter.Split(reinterpret_cast<const BYTE*>(b.data()), -1, &out);
    EXPECT_EQ(Describe(out), "");
    splitter.Split(nullptr, 5, &out);
    splitter.Split(reinterpret_cast<const BYTE*>(b.data()), 2, nullptr);
    EXPECT_EQ(splitter.Pending(), 0u);
}

// A text frame whose 00 was lost is cut at its limit instead of swallowing what follows.
TEST(ResponseSplitter, LostTerminatorIsBounded) {
    const size_t cap = ResponseSplitter::kMaxTextFrame;
    std::string stream = "\x5F" + std::string(cap + 903, 'A') + Bytes("00 14 00 00 00");
    std::string want = "statusBack=14000000 other=" +
                       Hex("\x5F" + std::string(cap + 903, 'A') + std::string(1, '\0')) +
                       " pending=0";
    EXPECT_EQ(FeedCut(stream, {}), want);
    std::vector<size_t> ones;
    for (size_t i = 1; i < stream.size(); ++i) ones.push_back(i);
    EXPECT_EQ(FeedCut(stream, ones), want);

    ResponseSplitter splitter;
    SplitFrames out;
    for (size_t i = 0; i < stream.size(); ++i) {
        splitter.Split(reinterpret_cast<const BYTE*>(stream.data()) + i, 1, &out);
        ASSERT_LT(splitter.Pending(), cap);
    }
}

// Whatever the cutting, the frames come out the same as from one call.
TEST(ResponseSplitter, EveryCuttingGivesTheSameFrames) {
    const char* streams[] = {
        "14 01 02 03 35 41 40 00 39 7F 40 00 5F 31 00 3B 30 00 37 21 41 00 12",
        "14 00 80 35 35 41 40 00 10 90 35 41 41 00 5F 14 00 00 00",
        "39 43 40 3B 31 00 10 20 00 10 37 00 14",  // ends inside a status frame
        "5F 41 42 43",                             // ends inside a text frame
    };
    for (const char* hex : streams) {
        const std::string s = Bytes(hex);
        const std::string whole = FeedCut(s, {});
        for (size_t a = 1; a < s.size(); ++a) {
            ASSERT_EQ(FeedCut(s, {a}), whole) << hex << " cut " << a;
            for (size_t b = a + 1; b < s.size(); ++b)
                ASSERT_EQ(FeedCut(s, {a, b}), whole) << hex << " cuts " << a << "," << b;
        }
        std::vector<size_t> ones;
        for (size_t i = 1; i < s.size(); ++i) ones.push_back(i);
        EXPECT_EQ(FeedCut(s, ones), whole) << hex;
    }
    // A short stream of every kind, cut every possible way.
    const std::string s = Bytes("12 14 00 35 41 40 00 5F 00 10 80 39 41 40");
    const std::string whole = FeedCut(s, {});
    for (unsigned mask = 0; mask < (1u << (s.size() - 1)); ++mask) {
        std::vector<size_t> cuts;
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (mask & (1u << i)) cuts.push_back(i + 1);
        ASSERT_EQ(FeedCut(s, cuts), whole) << "cut mask " << mask;
    }
}

}  // namespace
