// Control lines: how tests, posctl and people change the simulated printer's state.
#include <algorithm>
#include <cctype>
#include <sstream>

#include "sim/hex.h"
#include "sim/printer.h"

namespace sim {

namespace {

constexpr const char* kHelp =
    "cover open|close; paper receipt|journal|slip ok|near-end|empty; "
    "error mechanical|autocutter|unrecoverable|recoverable [on|off]; error none; "
    "power off|on; mute on|off; notice on|off; online auto|on|off; feed on|off; "
    "drawer high|low; slip a|b S0S1S2S3 (0/1 each); slip mode on|off; "
    "id rom|type|mode HEX; inject HEX; receive HEX; received; clear; status; help";

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The words after the first, for hex arguments written with spaces.
std::string Joined(const std::vector<std::string>& words) {
    std::string out;
    for (size_t i = 1; i < words.size(); ++i) out += words[i];
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "on"/"off" (and the other pair of names) into *value.
bool Switch(const std::vector<std::string>& w, size_t i, const char* on, const char* off,
            bool* value) {
    if (w.size() != i + 1) return false;
    const std::string v = Lower(w[i]);
    if (v == on) {
        *value = true;
    } else if (v == off) {
        *value = false;
    } else {
        return false;
    }
    return true;
}

std::string Usage(const char* text) {
    return std::string("error: usage: ") + text;
}

const char* YesNo(bool v) {
    return v ? "yes" : "no";
}
const char* OnOff(bool v) {
    return v ? "on" : "off";
}

std::string Bits(const SlipSensors& s) {
    std::string out;
    for (bool b : {s.s0, s.s1, s.s2, s.s3}) out += b ? '1' : '0';
    return out;
}

}  // namespace

std::string Printer::Control(std::string_view line) {
    std::vector<std::string> words = Words(line);
    if (words.empty()) return "error: empty control line";
    words[0] = Lower(words[0]);
    if (words[0] == "receive") {  // bytes as if the host sent them
        std::string bytes, error;
        if (words.size() < 2) return Usage("receive HEX");
        if (!ParseHex(Joined(words), &bytes, &error)) return "error: " + error;
        Receive(bytes);
        return "ok";
    }
    std::string answer;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (words[0] != "status" && words[0] != "help" && words[0] != "received") {
            TraceLocked("control: " + std::string(line));
        }
        answer = ControlLocked(words);
        SendFrameIfChanged();
    }
    Deliver();
    return answer;
}

std::string Printer::ControlLocked(const std::vector<std::string>& w) {
    const std::string& verb = w[0];
    bool on = false;
    if (verb == "help") return kHelp;
    if (verb == "status") return StatusLine();
    if (verb == "received") {
        std::string last =
            received_.substr(received_.size() - std::min<size_t>(64, received_.size()));
        return std::to_string(received_.size()) + " bytes" +
               (last.empty() ? "" : ", last: " + ToHex(last));
    }
    if (verb == "clear") {
        received_.clear();
        return "ok";
    }
    if (verb == "cover") {
        if (w.size() == 2 && Lower(w[1]) == "closed") {
            on = false;
        } else if (!Switch(w, 1, "open", "close", &on)) {
            return Usage("cover open|close");
        }
        state_.coverOpen = on;
        return "ok";
    }
    if (verb == "paper") {
        if (w.size() != 3) return Usage("paper receipt|journal|slip ok|near-end|empty");
        const std::string station = Lower(w[1]), level = Lower(w[2]);
        Paper paper;
        if (level == "ok") {
            paper = Paper::kOk;
        } else if (level == "near-end") {
            paper = Paper::kNearEnd;
        } else if (level == "empty") {
            paper = Paper::kEmpty;
        } else {
            return "error: paper level must be ok, near-end or empty";
        }
        if (station == "receipt") {
            state_.receipt = paper;
        } else if (station == "journal") {
            state_.journal = paper;
        } else if (station == "slip") {
            // The base slip sensor reading of each level, in both sensor sets.
            SlipSensors s;
            if (paper == Paper::kOk) s = SlipSensors{false, true, true, true};
            if (paper == Paper::kNearEnd) s = SlipSensors{true, false, true, true};
            state_.slipA = state_.slipB = s;
        } else {
            return "error: station must be receipt, journal or slip";
        }
        return "ok";
    }
    if (verb == "error") {
        if (w.size() == 2 && Lower(w[1]) == "none") {
            state_.mechanicalError = state_.autocutterError = false;
            state_.unrecoverableError = state_.autoRecoverableError = false;
            return "ok";
        }
        if (w.size() < 2 || w.size() > 3) {
            return Usage("error mechanical|autocutter|unrecoverable|recoverable [on|off]");
        }
        on = true;
        if (w.size() == 3 && !Switch(w, 2, "on", "off", &on)) return Usage("error KIND [on|off]");
        const std::string kind = Lower(w[1]);
        bool* flag = kind == "mechanical"      ? &state_.mechanicalError
                     : kind == "autocutter"    ? &state_.autocutterError
                     : kind == "unrecoverable" ? &state_.unrecoverableError
                     : kind == "recoverable" || kind == "auto-recoverable"
                         ? &state_.autoRecoverableError
                         : nullptr;
        if (!flag) return "error: unknown error kind " + w[1];
        *flag = on;
        return "ok";
    }
    if (verb == "power") {
        if (!Switch(w, 1, "on", "off", &on)) return Usage("power off|on");
        on ? PowerOn() : PowerOff();
        return "ok";
    }
    if (verb == "mute") {
        if (!Switch(w, 1, "on", "off", &muted_)) return Usage("mute on|off");
        return "ok";
    }
    if (verb == "notice") {
        if (!Switch(w, 1, "on", "off", &notices_)) return Usage("notice on|off");
        return "ok";
    }
    if (verb == "online") {
        const std::string v = w.size() == 2 ? Lower(w[1]) : "";
        if (v == "auto") {
            state_.online = OnlineMode::kAuto;
        } else if (v == "on") {
            state_.online = OnlineMode::kOn;
        } else if (v == "off") {
            state_.online = OnlineMode::kOff;
        } else {
            return Usage("online auto|on|off");
        }
        return "ok";
    }
    if (verb == "feed") {
        if (!Switch(w, 1, "on", "off", &state_.feeding)) return Usage("feed on|off");
        return "ok";
    }
    if (verb == "drawer") {
        if (!Switch(w, 1, "high", "low", &state_.drawerHigh)) return Usage("drawer high|low");
        return "ok";
    }
    if (verb == "slip") return SetSlipSensors(w);
    if (verb == "id") {
        std::string bytes, error;
        if (w.size() != 3) return Usage("id rom|type|mode HEX");
        if (!ParseHex(w[2], &bytes, &error) || bytes.size() != 1) {
            return "error: the ID must be one hex byte";
        }
        const std::string which = Lower(w[1]);
        uint8_t* id = which == "rom"    ? &romVersion_
                      : which == "type" ? &typeId_
                      : which == "mode" ? &modeId_
                                        : nullptr;
        if (!id) return "error: the ID must be rom, type or mode";
        *id = static_cast<uint8_t>(bytes[0]);
        return "ok";
    }
    if (verb == "inject") {  // bytes as if the printer sent them, muted or not
        std::string bytes, error;
        if (w.size() < 2) return Usage("inject HEX");
        if (!ParseHex(Joined(w), &bytes, &error)) return "error: " + error;
        if (!powered_) return "error: the printer is off";
        outbox_.push_back(Out{Out::kData, std::move(bytes)});
        return "ok";
    }
    return "error: unknown control '" + verb + "' (try help)";
}

std::string Printer::SetSlipSensors(const std::vector<std::string>& w) {
    if (w.size() != 3) return Usage("slip a|b S0S1S2S3 | slip mode on|off");
    const std::string which = Lower(w[1]);
    if (which == "mode") {
        if (!Switch(w, 2, "on", "off", &state_.slipMode)) return Usage("slip mode on|off");
        return "ok";
    }
    if (which != "a" && which != "b") return "error: the sensor set must be a or b";
    const std::string& bits = w[2];
    if (bits.size() != 4 || bits.find_first_not_of("01") != std::string::npos) {
        return "error: give four sensor values s0 s1 s2 s3 as 0 or 1, e.g. 0111";
    }
    SlipSensors& s = which == "a" ? state_.slipA : state_.slipB;
    s = SlipSensors{bits[0] == '1', bits[1] == '1', bits[2] == '1', bits[3] == '1'};
    return "ok";
}

std::string Printer::StatusLine() const {
    std::string errors;
    const auto add = [&errors](bool on, const char* name) {
        if (!on) return;
        if (!errors.empty()) errors += ',';
        errors += name;
    };
    add(state_.mechanicalError, "mechanical");
    add(state_.autocutterError, "autocutter");
    add(state_.unrecoverableError, "unrecoverable");
    add(state_.autoRecoverableError, "recoverable");
    if (errors.empty()) errors = "none";
    const char* mode = state_.online == OnlineMode::kAuto ? "auto"
                       : state_.online == OnlineMode::kOn ? "on"
                                                          : "off";
    std::string s;
    s += "power=" + std::string(OnOff(powered_));
    s += " online=" + std::string(YesNo(!state_.Offline())) + " online-mode=" + mode;
    s += " cover=" + std::string(state_.coverOpen ? "open" : "closed");
    s += " receipt=" + std::string(PaperName(state_.receipt));
    s += " journal=" + std::string(PaperName(state_.journal));
    s += " slip-a=" + Bits(state_.slipA) + " slip-b=" + Bits(state_.slipB);
    s += " slip-mode=" + std::string(OnOff(state_.slipMode));
    s += " errors=" + errors;
    s += " feed=" + std::string(OnOff(state_.feeding));
    s += " drawer=" + std::string(state_.drawerHigh ? "high" : "low");
    s += " auto-status=" + std::string(OnOff(autoStatus_));
    s += " selected=" + std::string(YesNo(selected_));
    s += " mute=" + std::string(OnOff(muted_));
    s += " notice=" + std::string(OnOff(notices_));
    s += " frame=" + ToHex(AutoStatusFrame(state_));
    s += " received=" + std::to_string(received_.size());
    s += " dropped=" + std::to_string(dropped_);
    return s;
}

}  // namespace sim
