// posctl script lines: tokens and commands. Parsing is pure (no device is touched), so a
// script file is checked whole before its first line runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/posctl/value.h"

namespace posctl {

// A word or a quoted string (a leading & included), as written, with its place in the line.
struct Token {
    std::string text;
    size_t begin = 0, end = 0;
};

// Splits a line into tokens at white space; '#' outside a string starts a comment.
// False with *err for an unterminated string or text glued to a closing quote.
bool Tokenize(std::string_view line, std::vector<Token>* out, std::string* err);

enum class Op {
    Open, Close, Claim, Release, Use, Get, Set, Call, Pump, Wait, Respond, Expect, Freeze,
    Sleep, Echo,
};

// The events of a control, in the order of their dispatch ids (1..5).
inline constexpr const char* kEventNames[] = {"DataEvent", "DirectIOEvent", "ErrorEvent",
                                              "OutputCompleteEvent", "StatusUpdateEvent"};

struct Command {
    Op op = Op::Echo;
    int line = 0;
    // open: the class; get/set/expect: the property; call: the method; use: the alias;
    // wait: the event name as in kEventNames.
    std::string name;
    std::string device;  // open: the device name
    std::string alias;   // open: the alias (the device name when not given)
    std::vector<Value> values;  // set/expect: one value; call: the arguments
    int32_t number = 0;         // claim/pump/wait/sleep: milliseconds; respond: N
    bool on = false;            // freeze
    std::string text;           // echo
};

// Parses one line. True with *out empty for a blank or comment line; false with *err
// (without the line number) for a script error.
bool ParseLine(std::string_view line, std::optional<Command>* out, std::string* err);

struct ScriptError {
    int line = 0;
    std::string message;
};

// Parses every line of a script text ("\n" or "\r\n" line ends), numbering lines from 1.
// Stops at the first error.
bool ParseScript(std::string_view text, std::vector<Command>* out, ScriptError* err);

}  // namespace posctl
