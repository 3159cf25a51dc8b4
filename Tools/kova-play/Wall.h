/* The camera wall: one top-level window holding a grid of 1, 4, 9 or 16
 * panes, each a child window with its own instance. Windows are made and
 * their messages pumped on the thread that creates the wall. */
#ifndef KOVA_PLAY_WALL_H
#define KOVA_PLAY_WALL_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Pane.h"

namespace kovaplay {

struct WallLayout {
    int columns = 2, rows = 2;
    int paneWidth = 480, paneHeight = 360;
    int gap = 4;
    int ClientWidth() const { return columns * paneWidth + (columns + 1) * gap; }
    int ClientHeight() const { return rows * paneHeight + (rows + 1) * gap; }
};

/* A square grid of `panes` (1, 4, 9 or 16) panes; a pane size of 0 picks
 * one that fits a 960 x 720 wall. */
WallLayout MakeLayout(int panes, int paneWidth, int paneHeight);

class Wall {
public:
    explicit Wall(const WallLayout &layout);
    ~Wall();

    /* Creates the windows; false with a message when the desktop refuses. */
    bool Create(std::string &error);
    /* Binds pane `index` to a recording and starts it; false with a message
     * when it cannot play (the pane then stays dark red). */
    bool StartPane(int index, const std::string &path, const PaneSettings &settings, std::string &error);
    /* Ends every pane, then destroys the windows. */
    void Close();

    /* Handles the window messages that are waiting, and redraws the frames
     * of panes whose camera dropped or came back. */
    void Pump();

    int PaneCount() const { return int(panes_.size()); }
    Pane *PaneAt(int index) const;  /* null for a pane without a recording */
    HWND PaneWindow(int index) const { return paneWindows_[index]; }
    HWND Window() const { return window_; }

    int Selected() const { return selected_; }
    void Select(int index);
    /* Sound from the selected pane only (or none when it already has it). */
    void ToggleSound();
    void SoundTo(int index);
    int SoundPane() const { return soundPane_; }

    /* Screen rectangle of a pane's client area. */
    RECT PaneScreenRect(int index) const;

private:
    void PaintFrame(HDC dc);
    RECT PaneFrame(int index) const;  /* the pane with the gap around it, in the wall's client area */
    static LRESULT CALLBACK WallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    WallLayout layout_;
    HWND window_ = nullptr;
    std::vector<HWND> paneWindows_;
    std::vector<std::unique_ptr<Pane>> panes_;
    int selected_ = 0;
    int soundPane_ = -1;
    std::vector<int> framed_;  /* live state each pane's frame was drawn for; -1 none */
};

}  // namespace kovaplay

#endif
