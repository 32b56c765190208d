#pragma once
// The link between two machines: one TCP connection, run on a thread of its own.
// Every call here returns at once; the game thread never waits on the network.
//
// The host listens, takes the first player who says hello with the right code,
// and refuses the others (a limited number of times). Then both sides exchange
// moves in turn, each followed by the hash of the position, and heartbeats while
// idle. Anything unexpected ends the link with a reason, told to the other side.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/protocol.h"

namespace net {

struct Options {
    int heartbeat_ms = 1000;
    int silence_ms = 10000; // nothing heard for this long ends the link
    int hello_ms = 10000;   // to connect and say hello, per attempt
    int max_tries = 5;      // refused attempts before the host gives up
    uint8_t opening = 0;    // the host's opening (board::Opening), said in its hello
    // Called on the link's thread with a line for the terminal (refused attempts).
    std::function<void(const std::string&)> notice;
    // Called on the link's thread whenever a move has come or the state changed,
    // so that a reader may sleep between them; it must return at once.
    std::function<void()> wake;
};

class Link {
public:
    enum class State { Waiting, Playing, Ended };

    // Listens on `address` ("" for every address of the machine) and `port` (0 for
    // any free one). Throws std::runtime_error when it cannot listen.
    static std::unique_ptr<Link> host(const std::string& address, uint16_t port, const std::string& code,
                                      Options options = {});
    // Connects to a host; a failure to connect ends the link (CannotConnect).
    static std::unique_ptr<Link> join(const std::string& host, uint16_t port, const std::string& code,
                                      Options options = {});
    // Says bye if still playing, and stops the thread within half a second.
    ~Link();

    uint16_t port() const; // the port listened on
    State state() const;

    // The other player's next move, in turn; false when none has come.
    bool next_move(Move* out);
    // True while a move has come that next_move has not taken yet.
    bool has_move() const;
    // Our move, sent at once.
    void send_move(const Move& move);
    // The position after `ply` moves (ours and theirs, in order), to be compared
    // with the other side's.
    void played(uint32_t ply, uint64_t hash);
    // Ends the link: Bye for a quit, otherwise the fault is told to the other side.
    void quit();
    void fail(Reason reason);

    // The opening the host said in its hello, to a joining link once the hellos
    // are exchanged; -1 before then and on the host's side.
    int host_opening() const;

    // Why the link ended (None while it lasts), and one line saying so.
    Reason reason() const;
    std::string cause() const;

    struct Impl;

private:
    explicit Link(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The line a host shows its player: "globoid --join ADDRESS:PORT --code XXXX-XXXX",
// with the machine's first outward address when it listens on every address.
std::string join_line(const std::string& address, uint16_t port, const std::string& code);

} // namespace net
