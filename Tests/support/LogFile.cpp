#include "LogFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#endif

namespace logfile {

const std::regex &LinePattern()
{
    static const std::regex pattern(R"(\[(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})\] : ThreadID\[(\d+)\] : (.*))");
    return pattern;
}

const std::regex &RotatedPattern()
{
    static const std::regex pattern(R"(KvoaDecoder-(\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2})\.log)");
    return pattern;
}

std::string Message(const std::string &line)
{
    std::smatch m;
    return std::regex_match(line, m, LinePattern()) ? m[3].str() : "<malformed: " + line.substr(0, 80) + ">";
}

std::vector<std::string> ReadLines(const fs::path &file, std::streamoff start)
{
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    in.seekg(start);
    for (std::string line; std::getline(in, line);) {
#ifdef _WIN32
        if (!line.empty() && line.back() == '\r')  // text files end lines in CR LF
            line.pop_back();
#endif
        lines.push_back(line);
    }
    return lines;
}

std::string TextFrom(const fs::path &file, std::streamoff start)
{
    std::ifstream in(file, std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return start >= 0 && size_t(start) < all.size() ? all.substr(size_t(start)) : std::string();
}

std::streamoff Size(const fs::path &file)
{
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    return ec ? 0 : std::streamoff(size);
}

std::vector<std::string> MessagesFrom(const fs::path &file, std::streamoff start, long long threadId)
{
    const std::string mine = "ThreadID[" + std::to_string(threadId) + "] : ";
    std::vector<std::string> messages;
    for (const std::string &line : ReadLines(file, start)) {
        const size_t id = line.find("ThreadID[");
        if (id == std::string::npos)
            continue;
        const size_t at = line.find("] : ", id);
        if (at == std::string::npos)
            continue;
        if (threadId < 0 || line.compare(id, mine.size(), mine) == 0)
            messages.push_back(line.substr(at + 4));
    }
    return messages;
}

std::vector<std::string> Names(const fs::path &dir)
{
    std::vector<std::string> names;
    for (auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> RotatedNames(const fs::path &dir)
{
    std::vector<std::string> out;
    for (auto &n : Names(dir))
        if (std::regex_match(n, RotatedPattern()))
            out.push_back(n);
    return out;
}

fs::path ProgramPath()
{
#ifdef _WIN32
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
#else
    return fs::read_symlink("/proc/self/exe");
#endif
}

fs::path LogBeside(const fs::path &program)
{
    return program.parent_path() / "log" / "KvoaDecoder.log";
}

fs::path MakeTemporaryDirectory(const char *stem)
{
#ifdef _WIN32
    static int serial;
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    fs::path d = fs::path(base) / (std::string(stem) + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(++serial));
    std::error_code ec;
    fs::remove_all(d, ec);
    return fs::create_directories(d, ec) ? d : fs::path();
#else
    std::string tmpl = std::string("/tmp/") + stem + "XXXXXX";
    return mkdtemp(tmpl.data()) ? fs::path(tmpl) : fs::path();
#endif
}

}  // namespace logfile
