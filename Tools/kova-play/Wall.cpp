#include "Wall.h"

#include <algorithm>

namespace kovaplay {
namespace {

const char kWallClass[] = "KovaPlayWall";
const char kPaneClass[] = "KovaPlayPane";
const COLORREF kBackground = RGB(28, 28, 28);
const COLORREF kSelection = RGB(255, 200, 0);
const COLORREF kFailedPane = RGB(96, 0, 0);
/* The frame of a pane whose camera is being reconnected: dark amber. */
const COLORREF kReconnecting = RGB(120, 72, 0);

/* Window data of a pane window: 1 when its recording could not be played. */
constexpr LONG_PTR kPaneFailed = 1;

}  // namespace

WallLayout MakeLayout(int panes, int paneWidth, int paneHeight)
{
    WallLayout l;
    l.columns = l.rows = panes <= 1 ? 1 : panes <= 4 ? 2 : panes <= 9 ? 3 : 4;
    // Even sizes: the library's pictures are 4:2:0.
    l.paneWidth = paneWidth > 0 ? paneWidth : (960 / l.columns) & ~1;
    l.paneHeight = paneHeight > 0 ? paneHeight : (720 / l.rows) & ~1;
    return l;
}

Wall::Wall(const WallLayout &layout) : layout_(layout) {}

Wall::~Wall() { Close(); }

bool Wall::Create(std::string &error)
{
    static const bool registered = [] {
        WNDCLASSA wall = {};
        wall.lpfnWndProc = WallProc;
        wall.hbrBackground = CreateSolidBrush(kBackground);
        wall.lpszClassName = kWallClass;
        WNDCLASSA pane = {};
        pane.lpfnWndProc = PaneProc;
        pane.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
        pane.lpszClassName = kPaneClass;
        return RegisterClassA(&wall) != 0 && RegisterClassA(&pane) != 0;
    }();
    if (!registered) {
        error = "cannot register the window classes (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT frame = {0, 0, layout_.ClientWidth(), layout_.ClientHeight()};
    AdjustWindowRect(&frame, style, FALSE);
    window_ = CreateWindowExA(0, kWallClass, "kova-play", style, 0, 0, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, nullptr, nullptr);
    if (!window_) {
        error = "cannot create the wall window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    const int count = layout_.columns * layout_.rows;
    for (int i = 0; i < count; ++i) {
        const int column = i % layout_.columns, row = i / layout_.columns;
        const int x = layout_.gap + column * (layout_.paneWidth + layout_.gap);
        const int y = layout_.gap + row * (layout_.paneHeight + layout_.gap);
        HWND pane = CreateWindowExA(0, kPaneClass, "", WS_CHILD | WS_VISIBLE, x, y, layout_.paneWidth,
                                    layout_.paneHeight, window_, nullptr, nullptr, nullptr);
        if (!pane) {
            error = "cannot create pane window " + std::to_string(i + 1) + " (error " +
                    std::to_string(GetLastError()) + ")";
            return false;
        }
        paneWindows_.push_back(pane);
        panes_.emplace_back();
        framed_.push_back(-1);
    }
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    return true;
}

bool Wall::StartPane(int index, const std::string &path, const PaneSettings &settings, std::string &error)
{
    auto pane = std::make_unique<Pane>(index, paneWindows_[index], path, settings);
    if (!pane->Start(error)) {
        SetWindowLongPtrA(paneWindows_[index], GWLP_USERDATA, kPaneFailed);
        InvalidateRect(paneWindows_[index], nullptr, TRUE);
        return false;
    }
    panes_[index] = std::move(pane);
    return true;
}

void Wall::Close()
{
    for (auto &pane : panes_)
        if (pane) pane->Finish();
    panes_.clear();
    if (window_) {
        DestroyWindow(window_);  // and the pane windows with it
        window_ = nullptr;
    }
    paneWindows_.clear();
}

void Wall::Pump()
{
    bool repaint = false;
    for (int i = 0; i < PaneCount(); ++i) {
        const Pane *pane = PaneAt(i);
        if (!pane || !pane->Live()) continue;
        const PaneStats s = pane->Stats();
        const int state = int(s.state);
        if (state == framed_[i]) continue;
        framed_[i] = state;
        repaint = true;
        if (s.state == LiveState::Failed) {
            SetWindowLongPtrA(paneWindows_[i], GWLP_USERDATA, kPaneFailed);
            InvalidateRect(paneWindows_[i], nullptr, TRUE);
        }
    }
    if (repaint) InvalidateRect(window_, nullptr, TRUE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

Pane *Wall::PaneAt(int index) const
{
    return index >= 0 && index < int(panes_.size()) ? panes_[index].get() : nullptr;
}

void Wall::Select(int index)
{
    if (index < 0 || index >= PaneCount() || index == selected_) return;
    selected_ = index;
    InvalidateRect(window_, nullptr, TRUE);
}

void Wall::ToggleSound() { SoundTo(soundPane_ == selected_ ? -1 : selected_); }

void Wall::SoundTo(int index)
{
    // The library keeps one pane audible: switching a pane on switches the
    // previous one off by itself. Here only the display of it is kept.
    if (index >= 0 && PaneAt(index)) {
        PaneAt(index)->SetSound(true);
        soundPane_ = index;
    } else if (index < 0 && soundPane_ >= 0) {
        if (PaneAt(soundPane_)) PaneAt(soundPane_)->SetSound(false);
        soundPane_ = -1;
    }
}

RECT Wall::PaneScreenRect(int index) const
{
    RECT r = {};
    GetClientRect(paneWindows_[index], &r);
    POINT origin = {0, 0};
    ClientToScreen(paneWindows_[index], &origin);
    OffsetRect(&r, origin.x, origin.y);
    return r;
}

void Wall::PaintFrame(HDC dc)
{
    RECT client;
    GetClientRect(window_, &client);
    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(dc, &client, background);
    DeleteObject(background);
    // Panes are framed by the gap around them: amber while their camera is
    // reconnected, yellow when selected (the outer half of the gap only,
    // when both, so that either shows).
    auto frame = [&](const RECT &outer, int width, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        const RECT sides[4] = {{outer.left, outer.top, outer.right, outer.top + width},
                               {outer.left, outer.bottom - width, outer.right, outer.bottom},
                               {outer.left, outer.top, outer.left + width, outer.bottom},
                               {outer.right - width, outer.top, outer.right, outer.bottom}};
        for (const RECT &side : sides) FillRect(dc, &side, brush);
        DeleteObject(brush);
    };
    for (int i = 0; i < PaneCount(); ++i)
        if (PaneAt(i) && PaneAt(i)->Live() && PaneAt(i)->Stats().state == LiveState::Reconnecting)
            frame(PaneFrame(i), layout_.gap, kReconnecting);
    if (selected_ < 0 || selected_ >= PaneCount()) return;
    const bool both = PaneAt(selected_) && PaneAt(selected_)->Live() &&
                      PaneAt(selected_)->Stats().state == LiveState::Reconnecting;
    frame(PaneFrame(selected_), both ? std::max(1, layout_.gap / 2) : layout_.gap, kSelection);
}

RECT Wall::PaneFrame(int index) const
{
    const int column = index % layout_.columns, row = index / layout_.columns;
    RECT outer;
    outer.left = column * (layout_.paneWidth + layout_.gap);
    outer.top = row * (layout_.paneHeight + layout_.gap);
    outer.right = outer.left + layout_.paneWidth + 2 * layout_.gap;
    outer.bottom = outer.top + layout_.paneHeight + 2 * layout_.gap;
    return outer;
}

LRESULT CALLBACK Wall::WallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (auto *wall = reinterpret_cast<Wall *>(GetWindowLongPtrA(window, GWLP_USERDATA))) wall->PaintFrame(dc);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Wall::PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT && GetWindowLongPtrA(window, GWLP_USERDATA) == kPaneFailed) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        HBRUSH failed = CreateSolidBrush(kFailedPane);
        FillRect(dc, &client, failed);
        DeleteObject(failed);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace kovaplay
