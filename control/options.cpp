// The command line: every option with its help line, in one table.
#include "control/options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/board.h"
#include "net/protocol.h"

namespace {

struct Option {
    const char* name;
    const char* value; // what follows it, or nullptr for a flag; in [brackets] when it may be left out
    const char* help;
    // Takes the value into o; false when it is not one the option accepts.
    bool (*take)(Options& o, const std::string& value);
};

bool digits(const std::string& v, size_t most) {
    return !v.empty() && v.size() <= most && v.find_first_not_of("0123456789") == std::string::npos;
}

// PORT, ADDRESS, ADDRESS:PORT, [IPV6] or [IPV6]:PORT, the address numeric; nothing
// for every address on the default port.
bool take_host(Options& o, const std::string& v) {
    o.host = true;
    o.port = net::kDefaultPort;
    o.listen_address.clear();
    if (digits(v, 5)) return std::stol(v) <= 65535 && (o.port = uint16_t(std::stol(v)), true);
    if (v.empty()) return true;
    std::string address = v, port;
    bool with_port = false;
    if (v[0] == '[') {
        const size_t close = v.find(']');
        with_port = close != std::string::npos && close + 1 < v.size();
        if (close == std::string::npos || (with_port && v[close + 1] != ':')) return false;
        address = v.substr(1, close - 1), port = with_port ? v.substr(close + 2) : "";
        if (address.find(':') == std::string::npos) return false;
    } else if (std::count(v.begin(), v.end(), ':') == 1) {
        with_port = true;
        address = v.substr(0, v.find(':')), port = v.substr(v.find(':') + 1);
    }
    unsigned char bytes[sizeof(in6_addr)];
    const int family = address.find(':') == std::string::npos ? AF_INET : AF_INET6;
    if (inet_pton(family, address.c_str(), bytes) != 1) return false;
    if (with_port && (!digits(port, 5) || std::stol(port) > 65535)) return false;
    if (with_port) o.port = uint16_t(std::stol(port));
    o.listen_address = address;
    return true;
}

// A file's path, which may not be empty.
template <std::string Options::*field>
bool take_file(Options& o, const std::string& v) {
    o.*field = v;
    return !v.empty();
}

const Option kOptions[] = {
    {"--computer", "1|2|both", "the computer plays player 1, player 2 or both; space on the title starts that game",
     [](Options& o, const std::string& v) {
         o.computer = v == "1" ? 1 : v == "2" ? 2 : v == "both" ? 3 : 0;
         return o.computer != 0;
     }},
    {"--level", "1..5",
     "the computer's strength, from 1 (a beginner can win) to 5; if not given, the last one given, else 3",
     [](Options& o, const std::string& v) {
         o.level = v.size() == 1 && v[0] >= '1' && v[0] <= '5' ? v[0] - '0' : 0;
         return o.level != 0;
     }},
    {"--pause", "0..10000",
     "the pauses before the clicks and the key of a move the computer or the other machine plays, in all, in ms; "
     "400 if not given (none under --script)",
     [](Options& o, const std::string& v) {
         o.pause_ms = digits(v, 5) ? std::stoi(v) : -1;
         return o.pause_ms >= 0 && o.pause_ms <= 10000;
     }},
    {"--window", nullptr, "play in a window; F11 or Alt+Enter switches to full screen and back",
     [](Options& o, const std::string&) {
         o.windowed = 1;
         return true;
     }},
    {"--fullscreen", nullptr, "play full screen, whatever the settings say",
     [](Options& o, const std::string&) {
         o.windowed = 0;
         return true;
     }},
    {"--settings", "FILE", "keep the settings in FILE, also in a scripted or headless run (see FILES in the manual)",
     take_file<&Options::settings>},
    {"--script", "FILE", "play the steps of FILE on the headless device (see README)", take_file<&Options::script>},
    {"--headless", nullptr, "run without a display and without input",
     [](Options& o, const std::string&) { return o.headless = true; }},
    {"--host", "[[ADDRESS:]PORT]",
     "wait for a player on another machine, on every address or on ADDRESS, on PORT "
     "(default 4712, 0 for any free one); an IPv6 ADDRESS goes in brackets before a port, [::1]:4712; "
     "the terminal shows how to join",
     take_host},
    {"--join", "HOST[:PORT]", "join the game that HOST waits with (see --host), on PORT (default 4712)",
     [](Options& o, const std::string& v) { return net::parse_address(v, &o.join_host, &o.port); }},
    {"--code", "CODE",
     "the join code the host shows (XXXX-XXXX); with --host, the code to use in place of a random one",
     [](Options& o, const std::string& v) {
         std::array<char, net::kCodeLength> code;
         if (!net::normalise_code(v, &code)) return false;
         o.code = net::show_code(code);
         return true;
     }},
    {"--opening", "standard|rosettes|rosettes-inset",
     "the opening that space and C start, else the one last chosen; O on the title changes it",
     [](Options& o, const std::string& v) {
         board::Opening opening;
         if (!board::parse_opening(v, &opening)) return false;
         o.opening = int(opening);
         return true;
     }},
    {"--record", "FILE", "keep the game's record in FILE, brought up to date after every move",
     take_file<&Options::record>},
    {"--load", "FILE", "go on playing from the end of the record in FILE", take_file<&Options::load>},
    {"--review", "FILE", "show the record in FILE move by move: Left, Right, Home, End; Escape leaves",
     take_file<&Options::review>},
    {"--version", nullptr, "print the version and quit", nullptr},
    {"--help", nullptr, "list these options and quit", nullptr},
};

[[noreturn]] void help() {
    std::printf("usage: %s [option]...\n", program_invocation_short_name);
    for (const Option& o : kOptions) {
        std::string left = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
        std::printf("  %-22s %s\n", left.c_str(), o.help);
    }
    std::printf("An option given twice takes its last value.\n");
    std::printf("On the title, space starts the game; C starts one against the computer; O changes the opening;\n"
                "R resumes the last unfinished game. Games are kept in $XDG_DATA_HOME/globoid/games\n"
                "(~/.local/share/globoid/games by default).\n");
    std::exit(0);
}

// The one version is the project's, in the top CMakeLists.txt.
[[noreturn]] void version() {
    std::printf("globoid %s\n", GLOBOID_VERSION);
    std::exit(0);
}

// Text from the command line as a message quotes it: at most 80 characters, with
// control bytes escaped.
std::string quoted(const std::string& text) {
    return "\"" + net::escape(text.substr(0, 80)) + (text.size() > 80 ? "...\"" : "\"");
}

[[noreturn]] void bad(const std::string& what) {
    std::fprintf(stderr, "%s: %s (--help lists the options)\n", program_invocation_short_name, what.c_str());
    std::exit(2);
}

} // namespace

Options read_options(int argc, char** argv) {
    Options out;
    if (const char* env = std::getenv("GLOBOID_DEVICE")) out.headless = std::strcmp(env, "headless") == 0;
    if (const char* env = std::getenv("GLOBOID_SCRIPT")) out.script = env;
    if (const char* env = std::getenv("GLOBOID_WINDOWED")) out.windowed = std::strcmp(env, "1") == 0 ? 1 : -1;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i], value;
        size_t eq = arg.find('=');
        bool inline_value = arg.rfind("--", 0) == 0 && eq != std::string::npos;
        if (inline_value) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const Option* o = nullptr;
        for (const Option& candidate : kOptions)
            if (arg == candidate.name) o = &candidate;
        if (!o) bad("unknown option " + quoted(argv[i]));
        if (!o->value && inline_value) bad(arg + " takes no value");
        if (!o->take && std::strcmp(o->name, "--version") == 0) version();
        if (!o->take) help();
        const bool optional = o->value && o->value[0] == '[';
        bool given = inline_value;
        if (o->value && !inline_value && !(optional && (i + 1 >= argc || argv[i + 1][0] == '-'))) {
            if (i + 1 >= argc) bad(arg + " needs a value: " + o->value);
            value = argv[++i], given = true;
        }
        if ((given && value.empty()) || !o->take(out, value))
            bad(arg + " takes " + o->value + ", not " + quoted(value));
    }
    const bool joining = !out.join_host.empty();
    if (out.host && joining) bad("--host and --join do not go together");
    if (joining && out.code.empty()) bad("--join needs --code, as the host's terminal shows it");
    if (!out.code.empty() && !out.host && !joining) bad("--code goes with --join or --host");
    if ((out.host || joining) && out.computer) bad("a game with a player on another machine has no computer player");
    if (!out.review.empty() && (!out.load.empty() || !out.record.empty() || out.host || joining))
        bad("--review only shows a record: no --load, --record, --host or --join with it");
    if (joining && (out.opening >= 0 || !out.load.empty()))
        bad("the host chooses the opening: no --opening or --load with --join");
    if (out.host && !out.load.empty()) bad("a game over the network starts from an opening: no --load with --host");
    if (!out.load.empty() && out.opening >= 0)
        bad("--load goes on from the record's own opening: no --opening with it");
    return out;
}
