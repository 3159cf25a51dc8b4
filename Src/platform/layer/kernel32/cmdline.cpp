/* Windows command-line quoting. */
#include "kernel32/cmdline.h"

namespace kova {
namespace k32 {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(const char *p)
{
    std::vector<std::string> args;
    if (!p) return args;
    while (Blank(*p)) ++p;
    if (!*p) return args;

    /* The program name: quotes delimit, backslashes are plain. */
    std::string program;
    bool quoted = false;
    for (; *p && (quoted || !Blank(*p)); ++p) {
        if (*p == '"')
            quoted = !quoted;
        else
            program += *p;
    }
    args.push_back(program);

    for (;;) {
        while (Blank(*p)) ++p;
        if (!*p) break;
        std::string arg;
        quoted = false;
        while (*p && (quoted || !Blank(*p))) {
            if (*p == '\\') {
                size_t n = 0;
                while (*p == '\\') ++n, ++p;
                if (*p == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2) {
                        arg += '"';
                        ++p;
                    }
                } else {
                    arg.append(n, '\\');
                }
            } else if (*p == '"') {
                ++p;
                if (quoted && *p == '"') {
                    arg += '"';
                    ++p;
                } else {
                    quoted = !quoted;
                }
            } else {
                arg += *p++;
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::string JoinCommandLine(const std::vector<std::string> &args)
{
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (i) line += ' ';
        if (i == 0) {  // the program: quotes only, it cannot hold a quote
            bool needs = a.empty() || a.find_first_of(" \t") != std::string::npos;
            line += needs ? '"' + a + '"' : a;
            continue;
        }
        if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) {
            line += a;
            continue;
        }
        line += '"';
        size_t backslashes = 0;
        for (char c : a) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                line.append(backslashes * 2 + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

}  // namespace k32
}  // namespace kova
