// SPDX-License-Identifier: GPL-3.0-or-later
// kavelo-adapter: an X10 RF receiver adapter on a pseudo-terminal, for trying
// Kavelo and for its tests without hardware.
//
// It prints the device to open as its first line, answers the adapter probe
// like the chosen model, reports every byte it receives as "rx XX", and turns
// key presses typed on stdin ("A3 on") into two-byte frames ("tx 02 02"),
// each press a burst of the same frame as a real remote sends it.

#include "Version.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

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

// A remote repeats a key's frame for as long as it is held, at least five
// times for a short press, every 70 to 120 ms.
constexpr int defaultRepeats = 5;
constexpr milliseconds defaultInterval{100};
// Silence between two typed keys, longer than the release gap after which a
// receiver takes the same frame again as a new press.
constexpr milliseconds pressGap{300};
// Bounds that keep a typo from sending for hours.
constexpr int maxRepeats = 1000;
constexpr milliseconds maxInterval{10000};
constexpr milliseconds maxHold{600000};

const char usage[] =
    "Usage: kavelo-adapter [--model trenda|pasko|silent|noisy] [--repeats N] [--interval MS]\n"
    "       kavelo-adapter --help | --version\n"
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
    "Each line on stdin is one key press, sent as a remote sends it: a burst of\n"
    "the same frame, --repeats times (default 5), --interval ms apart (default\n"
    "100); --repeats 1 sends a single frame.\n"
    "  A3 on | A 11 off | P16 all on | A all off | A bright | A dim | A5 dim\n"
    "  hold 2s A bright   the key held: its frame every interval for 2 s\n"
    "                     (also e.g. hold 1500ms A3 off)\n"
    "  raw 02 10 ...      any hex bytes, written at once, no burst\n"
    "House codes A to P, units 1 to 16 (unit 1 when left out, except for on/off).\n"
    "A key starts 300 ms after the last frame of the key before it at the\n"
    "earliest, so two lines are always two presses; lines typed meanwhile wait\n"
    "their turn, in order.\n"
    "\n"
    "Output: 'rx XX' for every byte received, 'tx XX ...' for every write.\n"
    "End of stdin ends the program once every line typed has been sent.\n";

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

// "2s", "1.5s", "1500ms": how long a key is held.
std::optional<milliseconds> holdDuration(const std::string &word)
{
    const char *text = word.c_str();
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    const std::string unit = lowered(end);
    double ms;
    if (unit == "ms")
        ms = value;
    else if (unit == "s")
        ms = value * 1000;
    else
        return std::nullopt;
    if (ms < 1 || ms > double(maxHold.count()))
        return std::nullopt;
    return milliseconds(std::lround(ms));
}

// One line's worth of output: a key's frame sent `frames` times, or raw bytes
// written once.
struct Press
{
    std::vector<unsigned char> bytes;
    int frames = 1;
    bool isKey = false;
};

struct BurstShape
{
    int repeats = defaultRepeats;
    milliseconds interval = defaultInterval;
};

std::optional<Press> parseLine(std::string line, const BurstShape &shape)
{
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::nullopt;
    line = line.substr(start);
    if (lowered(line.substr(0, 4)) == "raw ") {
        if (auto bytes = rawBytes(line.substr(4)))
            return Press{std::move(*bytes), 1, false};
        return std::nullopt;
    }
    int frames = shape.repeats;
    if (lowered(line.substr(0, 5)) == "hold ") {
        std::istringstream words(line.substr(5));
        std::string duration;
        words >> duration;
        const auto held = holdDuration(duration);
        std::string key;
        std::getline(words >> std::ws, key);
        if (!held || key.empty())
            return std::nullopt;
        // A frame at the start and at every interval while the key is down.
        frames = int((held->count() + shape.interval.count() - 1) / shape.interval.count());
        line = key;
    }
    if (auto frame = keyFrame(line))
        return Press{std::move(*frame), frames, true};
    return std::nullopt;
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

// Sends the typed lines in order, each key as a burst, without blocking: the
// main loop asks it to send what is due and how long it may wait for more.
class PressQueue
{
public:
    PressQueue(Adapter &adapter, milliseconds interval) : adapter_(adapter), interval_(interval) {}

    void add(Press press) { queue_.push_back(std::move(press)); }
    bool empty() const { return queue_.empty(); }

    // Writes every frame that is due; the milliseconds until the next one, or
    // -1 when nothing waits.
    int sendDue()
    {
        while (!queue_.empty()) {
            const Press &press = queue_.front();
            const Clock::time_point now = Clock::now();
            Clock::time_point due = now;
            if (sent_ > 0)
                due = lastFrame_ + interval_;
            else if (press.isKey && lastKeyEnd_)
                due = *lastKeyEnd_ + pressGap;
            if (now < due)
                return waitMs(due - now);
            adapter_.send(press.bytes);
            lastFrame_ = Clock::now();
            if (++sent_ < press.frames)
                continue;
            if (press.isKey)
                lastKeyEnd_ = lastFrame_;
            queue_.pop_front();
            sent_ = 0;
        }
        return -1;
    }

private:
    // Rounded up, so that poll does not wake just before the frame is due.
    static int waitMs(Clock::duration left)
    {
        return int(std::chrono::ceil<milliseconds>(left).count());
    }

    Adapter &adapter_;
    milliseconds interval_;
    std::deque<Press> queue_;
    int sent_ = 0; // frames of the front press written so far
    Clock::time_point lastFrame_;
    std::optional<Clock::time_point> lastKeyEnd_;
};

// The shorter of two poll timeouts, -1 meaning none.
int sooner(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

// A whole decimal number in [low, high].
std::optional<long> numberIn(const std::string &text, long low, long high)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        return std::nullopt;
    return value;
}

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
    BurstShape shape;
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
        // "--name value" or "--name=value".
        std::string option = arg, value;
        if (const std::size_t equals = arg.find('=');
            arg.rfind("--", 0) == 0 && equals != arg.npos) {
            option = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[i + 1];
            if (option == "--model" || option == "--repeats" || option == "--interval")
                ++i;
        }
        if (option == "--model") {
            if (value == "trenda")
                model = Model::Trenda;
            else if (value == "pasko")
                model = Model::Pasko;
            else if (value == "silent")
                model = Model::Silent;
            else if (value == "noisy")
                model = Model::Noisy;
            else {
                std::fprintf(stderr, "kavelo-adapter: unknown model '%s'\n\n%s", value.c_str(),
                             usage);
                return 2;
            }
        } else if (option == "--repeats") {
            const auto repeats = numberIn(value, 1, maxRepeats);
            if (!repeats) {
                std::fprintf(stderr, "kavelo-adapter: --repeats takes 1 to %d, not '%s'\n\n%s",
                             maxRepeats, value.c_str(), usage);
                return 2;
            }
            shape.repeats = int(*repeats);
        } else if (option == "--interval") {
            const auto interval = numberIn(value, 1, maxInterval.count());
            if (!interval) {
                std::fprintf(stderr,
                             "kavelo-adapter: --interval takes 1 to %lld ms, not '%s'\n\n%s",
                             static_cast<long long>(maxInterval.count()), value.c_str(), usage);
                return 2;
            }
            shape.interval = milliseconds(*interval);
        } else {
            std::fprintf(stderr, "kavelo-adapter: unknown argument '%s'\n\n%s", arg.c_str(), usage);
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
    PressQueue presses(adapter, shape.interval);
    std::string pendingLine;
    bool slaveClosed = false;
    bool inputEnded = false;
    for (;;) {
        const int nextFrameMs = presses.sendDue();
        // What was typed before the end of the input is still sent.
        if (inputEnded && presses.empty())
            return 0;
        // poll() skips a negative descriptor.
        pollfd fds[2] = {{inputEnded ? -1 : STDIN_FILENO, POLLIN, 0},
                         {slaveClosed ? -1 : master, POLLIN, 0}};
        const int timeout = sooner(nextFrameMs, slaveClosed ? hangupRetryMs : -1);
        const int ready = ::poll(fds, 2, timeout);
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
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                inputEnded = true;
            if (n > 0)
                pendingLine.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pendingLine.find('\n')) != std::string::npos) {
                const std::string line = pendingLine.substr(0, end);
                pendingLine.erase(0, end + 1);
                if (line.find_first_not_of(" \t\r") == std::string::npos)
                    continue;
                if (auto press = parseLine(line, shape))
                    presses.add(std::move(*press));
                else
                    std::fprintf(stderr, "kavelo-adapter: cannot read '%s' (try --help)\n",
                                 line.c_str());
            }
        }
    }
}
