#include "Options.h"

#include <cstdlib>
#include <cstring>

namespace kovaplay {
namespace {

bool ToNumber(const std::string &text, double &value)
{
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == 0;
}

bool ToInt(const std::string &text, int &value)
{
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    value = int(v);
    return !text.empty() && end && *end == 0;
}

}  // namespace

const char *Usage()
{
    return "usage: kova-play [options] FILE-or-URL...\n"
           "Plays recordings and live cameras (rtsp://, http://, udp://, ...) on a camera\n"
           "wall through KovaDecoder, one pane each.\n"
           "\n"
           "  --wall FILE          panes from a wall file: lines NAME URL-or-PATH\n"
           "                       [stream-type=N] [sound], # comments, grid N\n"
           "  --rtsp-transport tcp|udp  how RTSP cameras send (default tcp)\n"
           "  --grid N             1, 4, 9 or 16 panes (default: enough for the files)\n"
           "  --pane-size WxH      size of each pane (default: the wall is about 960x720)\n"
           "  --duration SECONDS   end the run after this long\n"
           "  --screenshot FILE    save the desktop as PNG at the end and print its path\n"
           "  --once               play each file once (default: loop)\n"
           "  --stream-type N      pass this stream type instead of the one chosen by codec\n"
           "  --x11 | --headless   show the desktop in an X11 window, or not (default:\n"
           "                       X11 when DISPLAY is set and KOVA_VIEWER is not)\n"
           "  --no-keys            ignore the keyboard\n"
           "  --status SECONDS     interval of the status lines\n"
           "Controls at the start, on the selected pane:\n"
           "  --select N  --sound N  --volume V  --speed S (1..5, 3 normal)\n"
           "  --zoom L,T,R,B (percent)  --seek SECONDS  --display-mode M\n"
           "  --snapshot FILE      bitmap of the selected pane at the end\n"
           "  --at SECONDS:COMMAND a command at a time into the run; commands:\n"
           "      select=N sound[=N|off] volume=V|+V|-V speed=S|+|- zoom=L,T,R,B|off\n"
           "      seek=S|+S|-S mode=M|next snapshot=FILE screenshot=FILE quit\n"
           "Keys: 1-9 or Tab select, a sound, +/- volume, </> speed, z zoom,\n"
           "      [/] or arrows seek 10 s, m display mode, c snapshot, s screenshot, q quit\n";
}

bool ParseOptions(int argc, char **argv, Options &o, bool &help, std::string &error)
{
    help = false;
    auto startCommand = [&](const std::string &command) { o.commands.push_back("0:" + command); };
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc) {
                error = flag + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (flag == "-h" || flag == "--help") {
            help = true;
            return true;
        } else if (flag == "--grid") {
            if (!value(v) || !ToInt(v, o.panes) || (o.panes != 1 && o.panes != 4 && o.panes != 9 && o.panes != 16)) {
                error = "--grid takes 1, 4, 9 or 16";
                return false;
            }
        } else if (flag == "--pane-size") {
            if (!value(v) || std::sscanf(v.c_str(), "%dx%d", &o.paneWidth, &o.paneHeight) != 2 || o.paneWidth < 32 ||
                o.paneHeight < 32 || o.paneWidth > 2048 || o.paneHeight > 1536) {
                error = "--pane-size takes WIDTHxHEIGHT between 32x32 and 2048x1536";
                return false;
            }
        } else if (flag == "--duration") {
            if (!value(v) || !ToNumber(v, o.duration) || o.duration <= 0) {
                error = "--duration takes a number of seconds above 0";
                return false;
            }
        } else if (flag == "--status") {
            if (!value(v) || !ToNumber(v, o.statusInterval) || o.statusInterval <= 0) {
                error = "--status takes a number of seconds above 0";
                return false;
            }
        } else if (flag == "--screenshot") {
            if (!value(o.screenshot)) return false;
        } else if (flag == "--wall") {
            if (!value(o.wallFile)) return false;
        } else if (flag == "--rtsp-transport") {
            if (!value(o.rtspTransport) || (o.rtspTransport != "tcp" && o.rtspTransport != "udp")) {
                error = "--rtsp-transport takes tcp or udp";
                return false;
            }
        } else if (flag == "--once") {
            o.loop = false;
        } else if (flag == "--stream-type") {
            if (!value(v) || !ToInt(v, o.streamType) || o.streamType <= 0) {
                error = "--stream-type takes a positive number";
                return false;
            }
        } else if (flag == "--x11") {
            o.viewer = Options::Viewer::X11;
        } else if (flag == "--headless") {
            o.viewer = Options::Viewer::Headless;
        } else if (flag == "--no-keys") {
            o.keyboard = false;
        } else if (flag == "--select" || flag == "--sound" || flag == "--volume" || flag == "--speed" ||
                   flag == "--zoom" || flag == "--seek" || flag == "--display-mode") {
            if (!value(v)) return false;
            const std::string name = flag == "--display-mode" ? "mode" : flag.substr(2);
            startCommand(name + "=" + v);
        } else if (flag == "--snapshot") {
            if (!value(v)) return false;
            o.commands.push_back("end:snapshot=" + v);
        } else if (flag == "--at") {
            if (!value(v)) return false;
            if (v.find(':') == std::string::npos) {
                error = "--at takes SECONDS:COMMAND";
                return false;
            }
            o.commands.push_back(v);
        } else if (!flag.empty() && flag[0] == '-' && flag != "-") {
            error = "unknown option " + flag;
            return false;
        } else {
            o.files.push_back(flag);
        }
    }
    return o.wallFile.empty() ? FinishPanes(o, error) : true;
}

bool FinishPanes(Options &o, std::string &error)
{
    if (o.files.empty()) {
        error = "no file to play";
        return false;
    }
    if (o.files.size() > 16) {
        error = "at most 16 files (one per pane)";
        return false;
    }
    if (o.panes == 0) o.panes = o.files.size() <= 1 ? 1 : o.files.size() <= 4 ? 4 : o.files.size() <= 9 ? 9 : 16;
    if (int(o.files.size()) > o.panes) {
        error = "more files than panes";
        return false;
    }
    return true;
}

}  // namespace kovaplay
