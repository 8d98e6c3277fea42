// Tokens and commands of posctl script lines.
#include "tools/posctl/script.h"

#include <cctype>

#include "platform/ascii.h"

namespace posctl {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

struct Syntax {
    const char* word;
    Op op;
    size_t minArgs, maxArgs;  // after the command word
    const char* usage;
};

constexpr size_t kMany = static_cast<size_t>(-1);

constexpr Syntax kSyntax[] = {
    {"open", Op::Open, 2, 4, "open CLASS NAME [as ALIAS]"},
    {"close", Op::Close, 0, 0, "close"},
    {"claim", Op::Claim, 1, 1, "claim MS"},
    {"release", Op::Release, 0, 0, "release"},
    {"use", Op::Use, 1, 1, "use ALIAS"},
    {"get", Op::Get, 1, 1, "get PROPERTY"},
    {"set", Op::Set, 2, 2, "set PROPERTY VALUE"},
    {"call", Op::Call, 1, kMany, "call METHOD ARG..."},
    {"pump", Op::Pump, 1, 1, "pump MS"},
    {"wait", Op::Wait, 1, 2, "wait EVENTNAME [MS]"},
    {"respond", Op::Respond, 1, 1, "respond N"},
    {"expect", Op::Expect, 2, 2, "expect PROPERTY VALUE"},
    {"freeze", Op::Freeze, 1, 1, "freeze on|off"},
    {"sleep", Op::Sleep, 1, 1, "sleep MS"},
    {"echo", Op::Echo, 0, kMany, "echo TEXT"},
};

constexpr int32_t kDefaultWaitMs = 5000;

bool IsQuoted(const Token& t) {
    return !t.text.empty() && (t.text[0] == '"' || t.text[0] == '&');
}

// Member names: a letter or '_', then letters, digits, '_'.
bool CheckMember(const Token& t, const char* what, std::string* err) {
    bool ok = !t.text.empty() && (std::isalpha(static_cast<unsigned char>(t.text[0])) ||
                                  t.text[0] == '_');
    for (char c : t.text) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!ok) *err = std::string("bad ") + what + " name '" + t.text + "'";
    return ok;
}

bool ParseMs(const Token& t, int32_t* out, std::string* err) {
    if (!ParseNumber(t.text, out, err)) return false;
    if (*out < 0) {
        *err = "bad time '" + t.text + "' (milliseconds, 0 or more)";
        return false;
    }
    return true;
}

bool ParsePlainValue(const Token& t, Value* out, std::string* err) {
    if (!ParseValue(t.text, out, err)) return false;
    if (out->byRef) {
        *err = "a by-reference value is allowed only as a call argument";
        return false;
    }
    return true;
}

bool ParseOpen(const std::vector<Token>& t, Command* c, std::string* err) {
    c->name = t[1].text;
    bool classOk = !c->name.empty();
    for (char ch : c->name)
        classOk = classOk && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
    if (!classOk) {
        *err = "bad device class '" + c->name + "'";
        return false;
    }
    if (t[2].text[0] == '"') {
        Value v;
        if (!ParsePlainValue(t[2], &v, err)) return false;
        c->device = v.text;
    } else if (t[2].text[0] == '&') {
        *err = "bad device name '" + t[2].text + "'";
        return false;
    } else {
        c->device = t[2].text;
    }
    c->alias = c->device;
    if (t.size() == 4 || (t.size() == 5 && plat::AsciiLower(t[3].text) != "as")) {
        *err = "usage: open CLASS NAME [as ALIAS]";
        return false;
    }
    if (t.size() == 5) {
        if (IsQuoted(t[4])) {
            *err = "bad alias '" + t[4].text + "'";
            return false;
        }
        c->alias = t[4].text;
    }
    return true;
}

bool ParseArgs(std::string_view line, const std::vector<Token>& t, Command* c, std::string* err) {
    switch (c->op) {
        case Op::Open: return ParseOpen(t, c, err);
        case Op::Close:
        case Op::Release: return true;
        case Op::Claim: return ParseNumber(t[1].text, &c->number, err);
        case Op::Use:
            if (IsQuoted(t[1])) {
                *err = "bad alias '" + t[1].text + "'";
                return false;
            }
            c->name = t[1].text;
            return true;
        case Op::Get:
        case Op::Set:
        case Op::Expect:
            if (!CheckMember(t[1], "property", err)) return false;
            c->name = t[1].text;
            if (c->op == Op::Get) return true;
            c->values.resize(1);
            return ParsePlainValue(t[2], &c->values[0], err);
        case Op::Call:
            if (!CheckMember(t[1], "method", err)) return false;
            c->name = t[1].text;
            c->values.resize(t.size() - 2);
            for (size_t i = 2; i < t.size(); ++i) {
                if (!ParseValue(t[i].text, &c->values[i - 2], err)) {
                    *err = "argument " + std::to_string(i - 1) + ": " + *err;
                    return false;
                }
            }
            return true;
        case Op::Pump:
        case Op::Sleep: return ParseMs(t[1], &c->number, err);
        case Op::Wait: {
            for (const char* e : kEventNames) {
                if (plat::AsciiLower(t[1].text) == plat::AsciiLower(e)) c->name = e;
            }
            if (c->name.empty()) {
                *err = "unknown event '" + t[1].text + "'";
                return false;
            }
            c->number = kDefaultWaitMs;
            return t.size() < 3 || ParseMs(t[2], &c->number, err);
        }
        case Op::Respond: return ParseNumber(t[1].text, &c->number, err);
        case Op::Freeze: {
            std::string w = plat::AsciiLower(t[1].text);
            if (w != "on" && w != "off") {
                *err = "usage: freeze on|off";
                return false;
            }
            c->on = w == "on";
            return true;
        }
        case Op::Echo:
            if (t.size() > 1)
                c->text = std::string(line.substr(t[1].begin, t.back().end - t[1].begin));
            return true;
    }
    return true;
}

}  // namespace

bool Tokenize(std::string_view line, std::vector<Token>* out, std::string* err) {
    out->clear();
    size_t i = 0, n = line.size();
    while (i < n) {
        if (IsSpace(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        Token t;
        t.begin = i;
        bool quoted = line[i] == '"' || (line[i] == '&' && i + 1 < n && line[i + 1] == '"');
        if (quoted) {
            i = line.find('"', i) + 1;
            for (;;) {
                if (i >= n) {
                    *err = "unterminated string";
                    return false;
                }
                if (line[i] == '\\') {
                    i += 2;
                } else if (line[i++] == '"') {
                    break;
                }
            }
            if (i < n && !IsSpace(line[i]) && line[i] != '#') {
                *err = "unexpected text after string";
                return false;
            }
        } else {
            while (i < n && !IsSpace(line[i]) && line[i] != '#') ++i;
        }
        t.end = i;
        t.text = std::string(line.substr(t.begin, t.end - t.begin));
        out->push_back(std::move(t));
    }
    return true;
}

bool ParseLine(std::string_view line, std::optional<Command>* out, std::string* err) {
    out->reset();
    std::vector<Token> tokens;
    if (!Tokenize(line, &tokens, err)) return false;
    if (tokens.empty()) return true;
    std::string word = plat::AsciiLower(tokens[0].text);
    const Syntax* syntax = nullptr;
    for (const Syntax& s : kSyntax) {
        if (word == s.word) syntax = &s;
    }
    if (!syntax) {
        *err = "unknown command '" + tokens[0].text + "'";
        return false;
    }
    size_t args = tokens.size() - 1;
    if (args < syntax->minArgs || args > syntax->maxArgs) {
        *err = std::string("usage: ") + syntax->usage;
        return false;
    }
    Command c;
    c.op = syntax->op;
    if (!ParseArgs(line, tokens, &c, err)) return false;
    *out = std::move(c);
    return true;
}

bool ParseScript(std::string_view text, std::vector<Command>* out, ScriptError* err) {
    out->clear();
    int number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++number;
        std::optional<Command> c;
        std::string message;
        if (!ParseLine(line, &c, &message)) {
            *err = ScriptError{number, message};
            return false;
        }
        if (c) {
            c->line = number;
            out->push_back(std::move(*c));
        }
    }
    return true;
}

}  // namespace posctl
