// The printer's command stream: a table of commands (introducer byte, function byte,
// length rule) and a parser that cuts the byte stream into commands, text and control
// bytes, keeping its state between calls so that a command may arrive in any pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// What the printer does with a command; kOther is a known command without an effect
// on the simulated state (it is parsed to keep in step and traced).
enum class Cmd : uint8_t {
    kUnknown,
    kOther,
    kInitialize,       // 1B 40
    kSelectDevice,     // 1B 3D n
    kSelectStation,    // 1B 63 m n
    kAutoStatus,       // 1D 61 n
    kTransmitId,       // 1D 49 n
    kRealTimeStatus,   // 10 04 n [a]
    kRealTimeRequest,  // 10 05 n
    kRealTimeCommand,  // 10 14 fn ...
};

// The total length of a command whose first `have.size()` bytes are known, or 0 while
// more bytes are needed to tell. The result is at least have.size().
using LengthRule = size_t (*)(std::string_view have);

struct CommandInfo {
    uint8_t introducer;
    uint8_t function;
    Cmd id;
    const char* name;
    LengthRule length;
    bool realTime;  // also executed while the printer is deselected
};

// The table entry of a command, or nullptr for an unknown one.
const CommandInfo* FindCommand(uint8_t introducer, uint8_t function);

bool IsIntroducer(uint8_t b);  // 10, 1B, 1C, 1D

struct Command {
    const CommandInfo* info = nullptr;  // nullptr: unknown (two bytes taken)
    std::string bytes;                  // the command as received, up to kMaxStored bytes
    size_t length = 0;                  // its full length
    bool truncated() const { return bytes.size() < length; }
    Cmd id() const { return info ? info->id : Cmd::kUnknown; }
};

class CommandParser {
  public:
    // Bytes kept of one command; the rest of a longer one (image data) is counted only.
    static constexpr size_t kMaxStored = 64 * 1024;

    class Handler {
      public:
        virtual ~Handler() = default;
        virtual void OnCommand(const Command& command) = 0;
        virtual void OnText(std::string_view text) = 0;  // a run of printable bytes
        virtual void OnControl(uint8_t b) = 0;           // LF, CR, NUL, ...
    };

    void Feed(const uint8_t* data, size_t length, Handler& handler);
    // Drops a partly received command (power cycle).
    void Reset();
    bool InCommand() const { return state_ != State::kIdle; }

  private:
    enum class State { kIdle, kHeader, kBody };
    void Finish(Handler& handler);

    State state_ = State::kIdle;
    Command current_;
    size_t remaining_ = 0;  // body bytes still to come (kBody)
};

}  // namespace sim
