/* Controls: commands from the keyboard (when a terminal is attached) and
 * from the command line (at given times), carried out on the wall's selected
 * pane. */
#ifndef KOVA_PLAY_CONTROLS_H
#define KOVA_PLAY_CONTROLS_H

#include <atomic>
#include <string>
#include <vector>

#include "Wall.h"

namespace kovaplay {

class Controls {
public:
    explicit Controls(Wall &wall);
    ~Controls();

    /* "SECONDS:COMMAND" or "end:COMMAND" (run when the run ends). False
     * with a message for a malformed entry. */
    bool Schedule(const std::string &entry, std::string &error);
    /* Runs the commands whose time has come; the number that failed. */
    int Tick(double elapsedSeconds);
    int RunEndCommands();

    /* Puts the terminal in single-key mode; restored by the destructor. */
    void StartKeyboard();
    void PollKeyboard();

    /* Carries out one command ("speed=5", "quit", ...); false with a message
     * when it is unknown or malformed. */
    bool Run(const std::string &command, std::string &error);

    bool QuitRequested() const { return quit_; }
    void RequestQuit() { quit_ = true; }
    /* Captures in flight; the run waits for them before it ends. */
    int Pending() const { return pending_; }

private:
    struct Timed {
        double at;  /* seconds; negative = at the end */
        std::string command;
        bool done;
    };
    /* Runs the commands not yet done that `due` picks; the number that
     * failed. */
    template <typename Due> int RunDue(Due due);
    void Key(int key);
    void Snapshot(const std::string &path);
    void Screenshot(const std::string &path);
    Pane *Selected();

    Wall &wall_;
    std::vector<Timed> timed_;
    bool quit_ = false;
    bool keyboard_ = false;
    int zoomStep_ = 0;
    int captures_ = 0;
    std::atomic<int> pending_{0};
};

/* Saves the screen under the wall; prints and returns the full path, or empty. */
std::string SaveScreenshot(const Wall &wall, const std::string &path);

}  // namespace kovaplay

#endif
