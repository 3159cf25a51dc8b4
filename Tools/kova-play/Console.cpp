#include "Console.h"

#include <cstdio>
#include <mutex>

#include "Desktop.h"

namespace kovaplay {
namespace {

std::mutex g_lock;
std::vector<std::string> g_status;
bool g_drawn = false;

void EraseLocked()
{
    if (g_drawn && !g_status.empty()) std::printf("\x1b[%zuA\x1b[J", g_status.size());
    g_drawn = false;
}

void DrawLocked()
{
    for (const std::string &line : g_status) std::printf("%s\n", line.c_str());
    g_drawn = true;
}

}  // namespace

bool OutputIsTerminal() { return ConsoleOutput(); }

void Say(const std::string &line)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (OutputIsTerminal()) EraseLocked();
    std::printf("%s\n", line.c_str());
    if (OutputIsTerminal() && !g_status.empty()) DrawLocked();
    std::fflush(stdout);
}

void Complain(const std::string &line)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (OutputIsTerminal()) EraseLocked();
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (OutputIsTerminal() && !g_status.empty()) DrawLocked();
    std::fflush(stdout);
}

void ShowStatus(const std::vector<std::string> &lines)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (OutputIsTerminal()) EraseLocked();
    g_status = lines;
    DrawLocked();
    if (!OutputIsTerminal()) g_drawn = false;
    std::fflush(stdout);
}

void KeepStatus()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_status.clear();
    g_drawn = false;
}

}  // namespace kovaplay
