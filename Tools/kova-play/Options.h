/* kova-play's command line. */
#ifndef KOVA_PLAY_OPTIONS_H
#define KOVA_PLAY_OPTIONS_H

#include <string>
#include <vector>

namespace kovaplay {

struct Options {
    std::vector<std::string> files;
    int panes = 0;                    /* 1, 4, 9, ... 64 (a square); 0 = enough for the files */
    int paneWidth = 0, paneHeight = 0;
    double duration = 0;              /* seconds; 0 = until quit */
    std::string screenshot;           /* PNG of the desktop at the end */
    bool loop = true;
    int streamType = 0;               /* overrides the type chosen by codec */
    std::vector<std::string> commands; /* "SECONDS:COMMAND", in order */
    enum class Viewer { Auto, X11, Headless } viewer = Viewer::Auto;
    bool keyboard = true;
    double statusInterval = 0;        /* seconds; 0 = 0.5 on a terminal, 5 elsewhere */
};

/* False with a message for a malformed command line; `help` set for -h. */
bool ParseOptions(int argc, char **argv, Options &options, bool &help, std::string &error);
const char *Usage();

}  // namespace kovaplay

#endif
