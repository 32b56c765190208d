// globoid-engine: the computer player of Globoid as a program of its own, speaking
// a text protocol on its standard input and output.
#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/protocol.h"

namespace {

const char kHelp[] = "usage: globoid-engine\n"
                     "Globoid's computer player. Reads one command a line on standard input and answers\n"
                     "each on standard output with '= result' or '? error' and a blank line; a numeric id\n"
                     "before a command comes back after the '=' or '?'. Moves are written as C3:NE or\n"
                     "C3-C5:E; sides as light (moves first) and dark.\n"
                     "\n"
                     "  protocol_version, name, version, known_command NAME, list_commands, quit\n"
                     "  clear_board                 the opening again, light to move\n"
                     "  opening standard|rosettes|rosettes-inset\n"
                     "  setup SIDE CELLS LIGHT DARK the side to move, 61 of '.', 'l', 'd' from A1 to I9,\n"
                     "                              and the marbles each side has pushed off (0 to 6)\n"
                     "  play SIDE MOVE              plays a legal move for SIDE\n"
                     "  genmove SIDE                chooses a move for SIDE, plays it and answers it\n"
                     "  undo, showboard\n"
                     "  level 1..5                  the strength (5 if not given)\n"
                     "  time_per_move MS            each genmove searches MS ms, until the next level\n"
                     "  perft N                     the number of move sequences N plies deep (N <= 7)\n"
                     "  analyse MS                  searches MS ms: depth, score in marbles, nodes, line\n";

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("globoid-engine %s\n", GLOBOID_VERSION);
        return 0;
    }
    if (argc > 1) {
        // Quoted short, and nothing of it that a terminal would take as a command.
        std::string shown;
        for (const char* c = argv[1]; *c && shown.size() < 40; c++) shown += *c >= ' ' && *c < 127 ? *c : '?';
        std::fprintf(stderr, "globoid-engine: unknown option '%s' (--help lists the commands)\n", shown.c_str());
        return 2;
    }
    protocol::serve(stdin, stdout);
    return 0;
}
