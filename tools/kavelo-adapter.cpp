// SPDX-License-Identifier: GPL-3.0-or-later
// kavelo-adapter: an X10 RF receiver adapter on a pseudo-terminal, for trying
// Kavelo and for its tests without hardware.
//
// It prints the device to open as its first line, answers the adapter probe
// like the chosen model, reports every byte it receives as "rx XX", and turns
// key presses typed on stdin ("A3 on") into two-byte frames ("tx 02 02").

#include "Version.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Model
{
    Trenda,
    Pasko,
    Silent,
    Noisy
};

constexpr unsigned char kTrendaProbe = 0x2A;
constexpr unsigned char kPaskoLead = 0xF0;
constexpr unsigned char kPaskoProbe = 0x29;
constexpr unsigned char kProbeAnswer = 0x29;
constexpr unsigned char wrongAnswer = 0x55;

// While nobody has the device open the master reports a hang-up at once;
// look again after this long instead of spinning.
constexpr int hangupRetryMs = 20;

const char usage[] =
    "Usage: kavelo-adapter [--model trenda|pasko|silent|noisy] | --help | --version\n"
    "\n"
    "Emulates an X10 RF receiver adapter on a pseudo-terminal. The first line\n"
    "printed is the device to open (put it in the setting comDevice<n>).\n"
    "\n"
    "Models, as seen by the adapter detection:\n"
    "  trenda  (default) answers 0x2A with 0x29\n"
    "  pasko   ignores 0x2A, answers 0xF0 followed by 0x29 with 0x29\n"
    "  silent  never answers\n"
    "  noisy   answers both probes with a wrong byte (0x55)\n"
    "\n"
    "Each line on stdin sends one frame:\n"
    "  A3 on | A 11 off | P16 all on | A all off | A bright | A dim | A5 dim\n"
    "  raw 02 10 ...   any hex bytes, written at once\n"
    "House codes A to P, units 1 to 16 (unit 1 when left out, except for on/off).\n"
    "\n"
    "Output: 'rx XX' for every byte received, 'tx XX ...' for every write.\n"
    "End of stdin ends the program.\n";

void writeLine(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string hexBytes(const std::vector<unsigned char> &bytes)
{
    std::string text;
    char digits[4];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        if (!text.empty())
            text += ' ';
        text += digits;
    }
    return text;
}

std::string lowered(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<int> functionCode(const std::string &words)
{
    static const std::pair<const char *, int> functions[] = {
        {"all off", 0}, {"all on", 1}, {"on", 2}, {"off", 3}, {"dim", 4}, {"bright", 5}, {"brt", 5},
    };
    for (const auto &[name, code] : functions) {
        if (words == name)
            return code;
    }
    return std::nullopt;
}

// "A3 on", "A 11 off", "P16 all on", "A bright": house letter, optional unit
// number, function words.
std::optional<std::vector<unsigned char>> keyFrame(const std::string &line)
{
    std::size_t pos = 0;
    const char house = static_cast<char>(std::toupper(static_cast<unsigned char>(line[pos])));
    if (house < 'A' || house > 'P')
        return std::nullopt;
    ++pos;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    int unit = 0;
    std::size_t digitsStart = pos;
    while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos])) &&
           pos - digitsStart < 3)
        unit = unit * 10 + (line[pos++] - '0');
    const bool unitGiven = pos > digitsStart;
    if (unitGiven && (unit < 1 || unit > 16))
        return std::nullopt;

    std::istringstream rest(line.substr(pos));
    std::string word, words;
    while (rest >> word)
        words += (words.empty() ? "" : " ") + lowered(word);
    const auto function = functionCode(words);
    if (!function)
        return std::nullopt;
    if (!unitGiven && (*function == 2 || *function == 3))
        return std::nullopt;
    if (!unitGiven)
        unit = 1;

    const int houseIndex = house - 'A';
    return std::vector<unsigned char>{static_cast<unsigned char>(houseIndex << 4 | *function),
                                      static_cast<unsigned char>(houseIndex << 4 | (unit - 1))};
}

// "raw 02 10 ff": the bytes as given.
std::optional<std::vector<unsigned char>> rawBytes(const std::string &arguments)
{
    std::istringstream words(arguments);
    std::vector<unsigned char> bytes;
    std::string word;
    while (words >> word) {
        if (word.size() > 2 && (word[0] == '0') && (word[1] == 'x' || word[1] == 'X'))
            word = word.substr(2);
        if (word.empty() || word.size() > 2)
            return std::nullopt;
        char *end = nullptr;
        const long value = std::strtol(word.c_str(), &end, 16);
        if (*end != '\0')
            return std::nullopt;
        bytes.push_back(static_cast<unsigned char>(value));
    }
    if (bytes.empty())
        return std::nullopt;
    return bytes;
}

std::optional<std::vector<unsigned char>> parseLine(std::string line)
{
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::nullopt;
    line = line.substr(start);
    if (lowered(line.substr(0, 4)) == "raw ")
        return rawBytes(line.substr(4));
    return keyFrame(line);
}

class Adapter
{
public:
    Adapter(int master, Model model) : master_(master), model_(model) {}

    void send(const std::vector<unsigned char> &bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd out{master_, POLLOUT, 0};
                ::poll(&out, 1, hangupRetryMs);
                continue;
            }
            if (n < 0) {
                std::fprintf(stderr, "kavelo-adapter: write failed: %s\n", std::strerror(errno));
                return;
            }
            done += static_cast<std::size_t>(n);
        }
        writeLine("tx " + hexBytes(bytes));
    }

    void received(unsigned char byte)
    {
        writeLine("rx " + hexBytes({byte}));
        const bool afterLead = lastWasLead_;
        lastWasLead_ = byte == kPaskoLead;
        switch (model_) {
        case Model::Trenda:
            if (byte == kTrendaProbe)
                send({kProbeAnswer});
            break;
        case Model::Pasko:
            if (afterLead && byte == kPaskoProbe)
                send({kProbeAnswer});
            break;
        case Model::Noisy:
            if (byte == kTrendaProbe || (afterLead && byte == kPaskoProbe))
                send({wrongAnswer});
            break;
        case Model::Silent:
            break;
        }
    }

private:
    int master_;
    Model model_;
    bool lastWasLead_ = false;
};

int openMaster()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return -1;
    termios raw{};
    if (::tcgetattr(master, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B4800);
        ::tcsetattr(master, TCSANOW, &raw);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return master;
}

} // namespace

int main(int argc, char **argv)
{
    Model model = Model::Trenda;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            std::puts("kavelo-adapter " KAVELO_VERSION);
            return 0;
        }
        std::string name;
        if (arg == "--model" && i + 1 < argc)
            name = argv[++i];
        else if (arg.rfind("--model=", 0) == 0)
            name = arg.substr(8);
        else {
            std::fprintf(stderr, "kavelo-adapter: unknown argument '%s'\n\n%s", arg.c_str(), usage);
            return 2;
        }
        if (name == "trenda")
            model = Model::Trenda;
        else if (name == "pasko")
            model = Model::Pasko;
        else if (name == "silent")
            model = Model::Silent;
        else if (name == "noisy")
            model = Model::Noisy;
        else {
            std::fprintf(stderr, "kavelo-adapter: unknown model '%s'\n\n%s", name.c_str(), usage);
            return 2;
        }
    }

    // A reader that went away must not end the emulator.
    std::signal(SIGPIPE, SIG_IGN);

    const int master = openMaster();
    if (master < 0) {
        std::fprintf(stderr, "kavelo-adapter: cannot create a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    writeLine(::ptsname(master));

    Adapter adapter(master, model);
    std::string pendingLine;
    bool slaveClosed = false;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {master, POLLIN, 0}};
        const int count = slaveClosed ? 1 : 2;
        const int ready = ::poll(fds, count, slaveClosed ? hangupRetryMs : -1);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "kavelo-adapter: poll failed: %s\n", std::strerror(errno));
            return 1;
        }
        slaveClosed = false;

        if (fds[1].revents & POLLIN) {
            unsigned char buffer[256];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    adapter.received(buffer[i]);
            } else if (n < 0 && errno == EIO) {
                slaveClosed = true;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            slaveClosed = true;
        }

        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0)
                return 0;
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                return 0;
            if (n > 0)
                pendingLine.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pendingLine.find('\n')) != std::string::npos) {
                const std::string line = pendingLine.substr(0, end);
                pendingLine.erase(0, end + 1);
                if (line.find_first_not_of(" \t\r") == std::string::npos)
                    continue;
                if (const auto bytes = parseLine(line))
                    adapter.send(*bytes);
                else
                    std::fprintf(stderr, "kavelo-adapter: cannot read '%s' (try --help)\n",
                                 line.c_str());
            }
        }
    }
}
