#pragma once
// The wire format of a game between two machines: small binary frames, each a
// 2-byte big-endian length, then a type byte and a body of fixed size per type.
// Pure: no I/O, no game code; moves in the board's vocabulary. The link (link.h) moves these frames over TCP.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/board.h"

namespace net {

constexpr uint16_t kVersion = 2; // 2: the hello carries the host's opening
constexpr uint16_t kDefaultPort = 4712;
constexpr size_t kHeaderSize = 2;
// The largest length a header may announce; checked before the body is read.
constexpr size_t kMaxFrame = 32;
constexpr size_t kCodeLength = 8; // join code characters, shown as XXXX-XXXX

enum class Type : uint8_t { Hello = 1, Refuse = 2, Move = 3, Hash = 4, Heartbeat = 5, Bye = 6 };

// Why a link ended; also the reason a Refuse frame carries to the other side.
enum class Reason : uint8_t {
    None = 0,
    PeerQuit,      // the other player quit (a Bye)
    BadVersion,    // the other side speaks another version of the protocol
    WrongCode,     // the join code did not match
    Malformed,     // a frame that is not one of ours, or out of place
    Oversized,     // a frame longer than any of ours
    IllegalMove,   // a move the rules refuse, or out of turn
    HashDiffers,   // the two boards differ after a move
    Silence,       // nothing heard for too long
    Disconnected,  // the connection closed without a Bye
    TooManyTries,  // the host gave up after repeated refused players
    CannotConnect, // no connection could be made
    Count
};
// One line of text for a reason, for the player's terminal.
const char* describe(Reason reason);

// A move in the board's vocabulary. On the wire each of its three slots is the
// cell's column and row in the game's grid (x + y even, rows 2 to 10), unused slots
// 0, then the direction; the slots keep the sender's order.
using Move = board::Move;

struct Message {
    Type type = Type::Heartbeat;
    uint16_t version = kVersion;          // Hello
    std::array<char, kCodeLength> code{}; // Hello: normalised code characters
    uint8_t opening = 0;                  // Hello: the host's opening, as board::Opening; 0 from a joiner
    Reason reason = Reason::None;         // Refuse
    Move move;                            // Move
    uint32_t ply = 0;                     // Hash: the number of moves played
    uint64_t hash = 0;                    // Hash
};

// The whole frame, header included.
std::vector<uint8_t> encode(const Message& message);

// Checks a header: the body length it announces, or 0 when the length is 0 or
// above kMaxFrame (then *fault says which).
size_t body_length(const uint8_t header[kHeaderSize], Reason* fault);
// Parses one body (type byte first). Reason::None on success; else Malformed,
// BadVersion (a hello of ours with another version) or IllegalMove (a move with
// cells off the board). Every accepted body encodes back to the same bytes.
Reason parse(const uint8_t* body, size_t size, Message* out);

// Frames out of a byte stream, with a buffer of fixed size: feed bytes, take
// messages. After the first fault it takes nothing more.
class Decoder {
public:
    // Consumes bytes up to the end of the next complete frame; returns how many.
    size_t feed(const uint8_t* data, size_t size);
    // True once a whole frame has been read and parsed; then message() holds it
    // until the next feed.
    bool ready() const { return ready_; }
    const Message& message() const { return message_; }
    Reason fault() const { return fault_; }

private:
    std::array<uint8_t, kHeaderSize + kMaxFrame> buffer_{};
    size_t have_ = 0, need_ = kHeaderSize;
    bool ready_ = false;
    Message message_;
    Reason fault_ = Reason::None;
};

// Join codes: 8 characters from an alphabet without look-alikes (no 0/O, 1/I).
// A fresh code from the system's random source.
std::string new_code();
// Upper-cases and drops dashes and spaces; false unless 8 code characters remain.
bool normalise_code(const std::string& text, std::array<char, kCodeLength>* out);
// XXXX-XXXX
std::string show_code(const std::array<char, kCodeLength>& code);
// Compares in a time that does not depend on where they differ.
bool same_code(const std::array<char, kCodeLength>& a, const std::array<char, kCodeLength>& b);

// "HOST", "HOST:PORT", "[V6]:PORT" or "V6" alone; false on a bad port or empty host.
bool parse_address(const std::string& text, std::string* host, uint16_t* port);

// Text from outside shown safely: printable ASCII kept, anything else as \xNN.
std::string escape(const std::string& text);

} // namespace net
