// posctl: opens devices through their controls and runs script lines on them.
//   posctl [--script FILE] [-e 'LINE']...   without either: lines from standard input
// Exit status: 0 success, 1 an expect or wait failed, 2 a usage or script error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/posctl/interactive.h"
#include "tools/posctl/script.h"
#include "tools/posctl/session.h"

namespace {

constexpr const char kUsage[] =
    "usage: posctl [--script FILE] [-e 'LINE']...\n"
    "  without --script or -e, lines are read from standard input\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "posctl: %s\n%s", message.c_str(), kUsage);
    return 2;
}

int LineError(int line, const std::string& message) {
    std::fprintf(stderr, "posctl: line %d: %s\n", line, message.c_str());
    return 2;
}

// Reads a whole file as bytes. False with errno set when it cannot be read.
bool ReadFile(const std::string& path, std::string* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    bool ok = !std::ferror(f);
    int saved = errno;
    std::fclose(f);
    errno = saved;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Every line of --script and -e is parsed before the first one runs.
    std::vector<posctl::Command> commands;
    bool haveScript = false, haveLines = false;
    int lineIndex = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        bool isScript = arg == "--script" || arg.rfind("--script=", 0) == 0;
        if (!isScript && arg != "-e") return UsageError("unknown option '" + arg + "'");
        std::string value;
        if (arg.size() > std::strlen("--script") && isScript) {
            value = arg.substr(std::strlen("--script="));
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return UsageError(arg + " needs an argument");
        }
        if (isScript) {
            if (haveScript) return UsageError("only one --script");
            haveScript = true;
            std::string text;
            if (!ReadFile(value, &text))
                return UsageError("cannot read '" + value + "': " + std::strerror(errno));
            std::vector<posctl::Command> parsed;
            posctl::ScriptError e;
            if (!posctl::ParseScript(text, &parsed, &e)) return LineError(e.line, e.message);
            commands.insert(commands.end(), parsed.begin(), parsed.end());
        } else {
            haveLines = true;
            ++lineIndex;
            std::optional<posctl::Command> c;
            std::string err;
            if (!posctl::ParseLine(value, &c, &err)) return LineError(lineIndex, err);
            if (c) {
                c->line = lineIndex;
                commands.push_back(std::move(*c));
            }
        }
    }
    if (!haveScript && !haveLines) return posctl::RunStandardInput();

    posctl::Output out(stdout);
    posctl::Session session(out);
    for (const posctl::Command& c : commands) {
        std::string err;
        if (!session.Run(c, &err)) return LineError(c.line, err);
    }
    return session.Failed() ? 1 : 0;
}
