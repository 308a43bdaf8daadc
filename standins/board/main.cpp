// Stand-in for the instrument's controller board. Opens a pseudo-terminal, links its
// terminal side at the given path (the data root's "/dev/ttyUSB0") and answers each
// command line "$U#TEXT[ NUMBER]\n" with "$OK#U#TEXT[#VALUE]\r\n" as the board does.
// Every line received is appended to the log file.
//
//   orbelin-board --link PATH [--log FILE] [--control FILE]
//
// The control file, read before each answer, changes the behaviour: lines
// "MODE [COUNT]", the first of which applies, where MODE is
//   ok          answer (the default; also when the file is missing)
//   silent      answer nothing
//   ng          answer "$NG#U#TEXT"
//   late:MS     answer after MS milliseconds
//   report:N    answer, with N as the number of commands that report one
//   noise       send junk lines and an answer to another command before the answer
//   vanish      send half an answer, remove the link and end, as an unplugged board
// With COUNT the line applies to that many commands and then goes, so the next line
// applies (or "ok" after the last); without COUNT it applies to every command.
// Prints "ready" on standard output once the link is in place.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t s_stop = 0;
std::string s_link;
std::string s_log;
std::string s_control;
long s_focusPosition = 0;

void onSignal(int) { s_stop = 1; }

void writeAll(int fd, const std::string &text)
{
    const char *data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += n;
        left -= size_t(n);
    }
}

void logLine(const std::string &line)
{
    if (s_log.empty())
        return;
    const int fd = ::open(s_log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    writeAll(fd, line + "\n");
    ::close(fd);
}

struct Control
{
    std::string mode = "ok";
    long number = 0;   // late:MS, report:N
};

// Reads the control file and uses up one command of its first line.
Control takeControl()
{
    Control control;
    if (s_control.empty())
        return control;
    std::vector<std::string> lines;
    if (FILE *file = std::fopen(s_control.c_str(), "r")) {
        char text[256];
        while (std::fgets(text, sizeof text, file)) {
            std::string line(text);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            if (!line.empty())
                lines.push_back(line);
        }
        std::fclose(file);
    }
    if (lines.empty())
        return control;
    char mode[64] = "";
    long count = -1;
    const int fields = std::sscanf(lines.front().c_str(), "%63s %ld", mode, &count);
    if (fields < 1)
        return control;
    control.mode = mode;
    const auto colon = control.mode.find(':');
    if (colon != std::string::npos) {
        control.number = std::atol(control.mode.c_str() + colon + 1);
        control.mode.resize(colon);
    }
    if (fields < 2)
        return control;   // for every command
    if (count <= 0)
        control = Control();
    if (count <= 1)
        lines.erase(lines.begin());
    else
        lines.front() = std::string(mode) + " " + std::to_string(count - 1);
    if (FILE *out = std::fopen(s_control.c_str(), "w")) {
        for (const std::string &line : lines)
            std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
    return control;
}

// The number a command reports, or false for a command that reports none.
bool reportedValue(char unit, const std::string &text, bool hasArgument, long argument,
                   long *value)
{
    if (unit == 'A' && text == "VER") {
        *value = 100;
    } else if (unit == 'A' && text == "LIGHT CAL") {
        *value = 50;
    } else if (unit == 'Z' && text == "REF") {
        *value = 12800;
    } else if (unit == 'Z' && text == "SLOPE") {
        *value = 0;
    } else if (unit == 'Z' && text == "MOVE" && hasArgument) {
        s_focusPosition = argument;
        return false;
    } else if (unit == 'Z' && text == "POS") {
        *value = s_focusPosition;
    } else {
        return false;
    }
    return true;
}

std::string answerTo(const std::string &line, bool ok, const long *reported)
{
    if (line.size() < 4 || line[0] != '$' || line[2] != '#')
        return "$NG#?#" + line + "\r\n";
    const char unit = line[1];
    std::string text = line.substr(3);
    bool hasArgument = false;
    long argument = 0;
    const auto blank = text.rfind(' ');
    if (blank != std::string::npos && blank + 1 < text.size()) {
        char *end = nullptr;
        const long number = std::strtol(text.c_str() + blank + 1, &end, 10);
        if (end && *end == '\0') {
            hasArgument = true;
            argument = number;
            text.resize(blank);
        }
    }
    std::string answer = std::string(ok ? "$OK#" : "$NG#") + unit + "#" + text;
    long value = 0;
    if (ok && reportedValue(unit, text, hasArgument, argument, &value))
        answer += "#" + std::to_string(reported ? *reported : value);
    return answer + "\r\n";
}

void answer(int master, const std::string &line)
{
    logLine(line);
    const Control control = takeControl();
    if (control.mode == "silent")
        return;
    if (control.mode == "vanish") {
        writeAll(master, "$OK#");
        s_stop = 2;
        return;
    }
    if (control.mode == "late")
        ::usleep(useconds_t(control.number) * 1000);
    if (control.mode == "noise")
        writeAll(master, "\x07\x1b[?\r\n~~ line noise ~~\n$OK#Q#UNKNOWN\r\n"
                         "$OK#\r\n#OK\n\xff\xfe\r\n");
    const bool report = control.mode == "report";
    writeAll(master, answerTo(line, control.mode != "ng", report ? &control.number : nullptr));
}

bool makeLink(const char *target)
{
    struct stat info;
    if (::lstat(s_link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "orbelin-board: %s exists and is not a link\n", s_link.c_str());
            return false;
        }
        ::unlink(s_link.c_str());
    }
    if (::symlink(target, s_link.c_str()) != 0) {
        std::fprintf(stderr, "orbelin-board: cannot link %s: %s\n", s_link.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--link")
            s_link = argv[i + 1];
        else if (option == "--log")
            s_log = argv[i + 1];
        else if (option == "--control")
            s_control = argv[i + 1];
    }
    if (s_link.empty()) {
        std::fprintf(stderr, "usage: orbelin-board --link PATH [--log FILE] [--control FILE]\n");
        return 2;
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("orbelin-board: pseudo-terminal");
        return 1;
    }
    const char *slaveName = ::ptsname(master);
    // Held open so the pseudo-terminal lives while the program has the port closed.
    const int slave = slaveName ? ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (slave < 0) {
        std::perror("orbelin-board: terminal side");
        return 1;
    }
    struct termios raw;
    if (::tcgetattr(slave, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B115200);
        ::tcsetattr(slave, TCSANOW, &raw);
    }
    if (!makeLink(slaveName))
        return 1;

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);

    std::printf("ready %s\n", slaveName);
    std::fflush(stdout);

    std::string pending;
    while (!s_stop) {
        struct pollfd fds = {master, POLLIN, 0};
        const int ready = ::poll(&fds, 1, 200);
        if (ready <= 0)
            continue;
        char buffer[512];
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0)
            continue;
        pending.append(buffer, size_t(got));
        for (;;) {
            const auto end = pending.find_first_of("\r\n");
            if (end == std::string::npos)
                break;
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty())
                answer(master, line);
            if (s_stop)
                break;
        }
        if (pending.size() > 4096)
            pending.clear();
    }
    ::unlink(s_link.c_str());
    ::close(slave);
    ::close(master);
    return 0;
}
