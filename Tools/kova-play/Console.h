/* The terminal: messages from any thread, and the status lines, which stay
 * at the bottom and are redrawn in place when the output is a terminal. */
#ifndef KOVA_PLAY_CONSOLE_H
#define KOVA_PLAY_CONSOLE_H

#include <string>
#include <vector>

namespace kovaplay {

/* One line on standard output ("kova-play: " is not added). */
void Say(const std::string &line);
/* One line on standard error. */
void Complain(const std::string &line);
/* Replaces the status lines (terminal) or prints them (anything else). */
void ShowStatus(const std::vector<std::string> &lines);
/* Leaves the status lines where they are; later output goes below them. */
void KeepStatus();
bool OutputIsTerminal();

}  // namespace kovaplay

#endif
