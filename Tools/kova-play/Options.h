/* kova-play's command line. */
#ifndef KOVA_PLAY_OPTIONS_H
#define KOVA_PLAY_OPTIONS_H

#include <string>
#include <vector>

namespace kovaplay {

struct Options {
    std::vector<std::string> files;   /* paths and URLs, one per pane */
    std::vector<std::string> names;   /* pane names, beside `files` (empty: none) */
    std::vector<int> streamTypes;     /* per pane, beside `files` (0: the common choice) */
    std::string wallFile;             /* panes read from this file, before `files` */
    std::string rtspTransport = "tcp";
    int panes = 0;                    /* 1, 4, 9 or 16; 0 = enough for the files */
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

/* False with a message for a malformed command line; `help` set for -h.
 * With a wall file, the pane count is left to FinishPanes. */
bool ParseOptions(int argc, char **argv, Options &options, bool &help, std::string &error);
/* Checks the number of sources and picks the grid when not given. */
bool FinishPanes(Options &options, std::string &error);
const char *Usage();

}  // namespace kovaplay

#endif
