#include "WallFile.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kovaplay {
namespace {

constexpr int kMostPanes = 16;

bool ToInt(const std::string &text, int &value)
{
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    value = int(v);
    return !text.empty() && *end == 0 && v >= 0 && v < 100000;
}

/* The words of a line up to a word that begins a comment. */
std::vector<std::string> Words(const std::string &line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        if (word[0] == '#') break;
        words.push_back(word);
    }
    return words;
}

}  // namespace

WallPlan ParseWall(const std::string &text)
{
    WallPlan plan;
    int gridLine = 0, soundLine = 0;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> words = Words(line);
        if (words.empty()) continue;
        auto bad = [&](const std::string &why) { plan.problems.push_back(std::to_string(number) + ": " + why); };
        if (words[0] == "grid") {
            int n = 0;
            if (words.size() != 2 || !ToInt(words[1], n) || (n != 1 && n != 4 && n != 9 && n != 16))
                bad("grid takes 1, 4, 9 or 16");
            else if (gridLine)
                bad("a second grid line (the first is line " + std::to_string(gridLine) + ")");
            else
                plan.grid = n, gridLine = number;
            continue;
        }
        if (words.size() < 2) {
            bad("a pane needs a name and a URL or path");
            continue;
        }
        WallEntry entry;
        entry.name = words[0];
        entry.source = words[1];
        entry.line = number;
        std::string why;
        for (size_t i = 2; i < words.size() && why.empty(); ++i) {
            const std::string &w = words[i];
            if (w == "sound") entry.sound = true;
            else if (w.rfind("stream-type=", 0) == 0) {
                if (!ToInt(w.substr(12), entry.streamType) || entry.streamType <= 0)
                    why = "stream-type takes a positive number";
            } else
                why = "unknown word '" + w + "' (stream-type=N or sound)";
        }
        for (const WallEntry &other : plan.panes)
            if (why.empty() && other.name == entry.name)
                why = "the name " + entry.name + " is taken by line " + std::to_string(other.line);
        if (why.empty() && entry.sound && soundLine)
            why = "only one pane has the sound (line " + std::to_string(soundLine) + " has it)";
        if (why.empty() && int(plan.panes.size()) >= kMostPanes) why = "a wall has at most 16 panes";
        if (!why.empty()) {
            bad(why);
            continue;
        }
        if (entry.sound) soundLine = number;
        plan.panes.push_back(entry);
    }
    // A grid smaller than the cameras listed keeps the first ones.
    while (plan.grid > 0 && int(plan.panes.size()) > plan.grid) {
        plan.problems.push_back(std::to_string(plan.panes.back().line) + ": no pane left in a grid of " +
                                std::to_string(plan.grid));
        plan.panes.pop_back();
    }
    return plan;
}

bool ReadWallFile(const std::string &path, WallPlan &plan, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the wall file " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    plan = ParseWall(text.str());
    return true;
}

}  // namespace kovaplay
