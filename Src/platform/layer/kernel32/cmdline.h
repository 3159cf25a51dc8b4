/* Windows command lines: splitting into arguments and joining (internal). */
#ifndef KOVA_LAYER_KERNEL32_CMDLINE_H
#define KOVA_LAYER_KERNEL32_CMDLINE_H

#include <string>
#include <vector>

namespace kova {
namespace k32 {

/* Splits a command line with the Microsoft C runtime's rules: blanks
 * separate arguments; quotes group; 2n backslashes before a quote make n
 * backslashes and the quote toggles grouping, 2n+1 make n and a literal
 * quote; "" inside a group is a literal quote. The first argument (the
 * program) takes quotes only, no escapes. */
std::vector<std::string> SplitCommandLine(const char *line);

/* Joins arguments so that SplitCommandLine gives them back. */
std::string JoinCommandLine(const std::vector<std::string> &args);

}  // namespace k32
}  // namespace kova

#endif
