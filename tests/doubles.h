#pragma once
// Stand-ins for the cursor object and the victory screen, for tests of the rules:
// they record what the rules ask of them and draw nothing.
#include <vector>

namespace doubles {

// What Gagne throws: it must not return to its caller.
struct Won {};

struct Record {
    int hides = 0, shows = 0;
    bool misuse = false; // Hide while hidden, or Show while shown
    int wins = 0;
    // The state when Gagne was last called.
    std::vector<char> frame;
    char score[3] = {};
    char tour = 0;
    bool hidden = false;
};
extern Record record;

// Makes Souris exist and shown, and clears the record.
void reset();

} // namespace doubles
