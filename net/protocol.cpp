// Frames, their parsing and encoding, join codes and addresses.
#include "net/protocol.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace net {
namespace {

constexpr char kMagic[4] = {'G', 'L', 'B', 'D'};
constexpr char kAlphabet[] = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ"; // 32 symbols, 5 bits each

// Body sizes, type byte included.
constexpr size_t kHelloSize = 1 + sizeof kMagic + 2 + kCodeLength + 1;
constexpr size_t kRefuseSize = 2;
constexpr size_t kMoveSize = 1 + 1 + 6 + 1;
constexpr size_t kHashSize = 1 + 4 + 8;
constexpr size_t kEmptySize = 1;

bool code_char(char c) { return c != '\0' && std::strchr(kAlphabet, c) != nullptr; }

uint64_t read_be(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

void write_be(std::vector<uint8_t>& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

Reason parse_move(const uint8_t* p, Move* m) {
    if (p[0] < 1 || p[0] > 3 || p[7] > 5) return Reason::Malformed;
    for (int i = p[0]; i < 3; ++i)
        if (p[1 + 2 * i] != 0 || p[2 + 2 * i] != 0) return Reason::Malformed;
    m->n = p[0];
    m->dir = board::Dir(p[7]);
    for (int i = 0; i < 3; ++i) {
        int cell = i < m->n ? board::cell_at(int8_t(p[1 + 2 * i]), int8_t(p[2 + 2 * i])) : 0;
        if (cell < 0) return Reason::IllegalMove;
        m->cells[i] = uint8_t(cell);
    }
    return Reason::None;
}

} // namespace

const char* describe(Reason reason) {
    switch (reason) {
    case Reason::None: return "no fault";
    case Reason::PeerQuit: return "the other player quit";
    case Reason::BadVersion: return "the other side speaks another version of the game's protocol";
    case Reason::WrongCode: return "wrong join code";
    case Reason::Malformed: return "a malformed message";
    case Reason::Oversized: return "an oversized message";
    case Reason::IllegalMove: return "an illegal move";
    case Reason::HashDiffers: return "the two boards differ";
    case Reason::Silence: return "no word from the other side for too long";
    case Reason::Disconnected: return "the connection was lost";
    case Reason::TooManyTries: return "too many refused attempts to join";
    case Reason::CannotConnect: return "no connection";
    case Reason::Count: break;
    }
    return "an unknown fault";
}

std::vector<uint8_t> encode(const Message& m) {
    std::vector<uint8_t> out(kHeaderSize, 0);
    out.push_back(uint8_t(m.type));
    switch (m.type) {
    case Type::Hello:
        out.insert(out.end(), kMagic, kMagic + sizeof kMagic);
        write_be(out, m.version, 2);
        out.insert(out.end(), m.code.begin(), m.code.end());
        out.push_back(m.opening);
        break;
    case Type::Refuse: out.push_back(uint8_t(m.reason)); break;
    case Type::Move:
        out.push_back(m.move.n);
        for (int i = 0; i < 3; ++i) {
            out.push_back(uint8_t(i < m.move.n ? board::cell_x(m.move.cells[i]) : 0));
            out.push_back(uint8_t(i < m.move.n ? board::cell_y(m.move.cells[i]) : 0));
        }
        out.push_back(m.move.dir);
        break;
    case Type::Hash:
        write_be(out, m.ply, 4);
        write_be(out, m.hash, 8);
        break;
    case Type::Heartbeat:
    case Type::Bye: break;
    }
    size_t body = out.size() - kHeaderSize;
    out[0] = uint8_t(body >> 8);
    out[1] = uint8_t(body);
    return out;
}

size_t body_length(const uint8_t header[kHeaderSize], Reason* fault) {
    size_t length = read_be(header, 2);
    if (length == 0)
        *fault = Reason::Malformed;
    else if (length > kMaxFrame)
        *fault = Reason::Oversized;
    else
        return length;
    return 0;
}

Reason parse(const uint8_t* p, size_t size, Message* out) {
    if (size == 0) return Reason::Malformed;
    Message m;
    m.type = Type(p[0]);
    switch (m.type) {
    case Type::Hello:
        // The version comes first so that any later layout still reads as "another version".
        if (size < 1 + sizeof kMagic + 2 || std::memcmp(p + 1, kMagic, sizeof kMagic) != 0) return Reason::Malformed;
        m.version = uint16_t(read_be(p + 5, 2));
        if (m.version != kVersion) return Reason::BadVersion;
        if (size != kHelloSize) return Reason::Malformed;
        for (size_t i = 0; i < kCodeLength; ++i) {
            m.code[i] = char(p[7 + i]);
            if (!code_char(m.code[i])) return Reason::Malformed;
        }
        m.opening = p[7 + kCodeLength];
        if (m.opening > uint8_t(board::Opening::RosettesInset)) return Reason::Malformed;
        break;
    case Type::Refuse:
        if (size != kRefuseSize || p[1] == 0 || p[1] >= uint8_t(Reason::Count)) return Reason::Malformed;
        m.reason = Reason(p[1]);
        break;
    case Type::Move: {
        if (size != kMoveSize) return Reason::Malformed;
        Reason fault = parse_move(p + 1, &m.move);
        if (fault != Reason::None) return fault;
        break;
    }
    case Type::Hash:
        if (size != kHashSize) return Reason::Malformed;
        m.ply = uint32_t(read_be(p + 1, 4));
        m.hash = read_be(p + 5, 8);
        break;
    case Type::Heartbeat:
    case Type::Bye:
        if (size != kEmptySize) return Reason::Malformed;
        break;
    default: return Reason::Malformed;
    }
    *out = m;
    return Reason::None;
}

size_t Decoder::feed(const uint8_t* data, size_t size) {
    ready_ = false;
    size_t used = 0;
    while (fault_ == Reason::None && used < size) {
        size_t take = std::min(need_ - have_, size - used);
        std::memcpy(buffer_.data() + have_, data + used, take);
        have_ += take;
        used += take;
        if (have_ < need_) break;
        if (need_ == kHeaderSize) {
            need_ = kHeaderSize + body_length(buffer_.data(), &fault_);
            continue;
        }
        fault_ = parse(buffer_.data() + kHeaderSize, need_ - kHeaderSize, &message_);
        have_ = 0;
        need_ = kHeaderSize;
        ready_ = fault_ == Reason::None;
        break;
    }
    return used;
}

std::string new_code() {
    uint8_t random[kCodeLength];
    size_t got = 0;
    while (got < sizeof random) {
        ssize_t n = getrandom(random + got, sizeof random - got, 0);
        if (n < 0 && errno != EINTR) throw std::runtime_error(std::string("no random source: ") + std::strerror(errno));
        if (n > 0) got += size_t(n);
    }
    std::array<char, kCodeLength> code;
    for (size_t i = 0; i < kCodeLength; ++i) code[i] = kAlphabet[random[i] % 32];
    return show_code(code);
}

bool normalise_code(const std::string& text, std::array<char, kCodeLength>* out) {
    size_t n = 0;
    for (char c : text) {
        if (c == '-' || c == ' ') continue;
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (!code_char(c) || n == kCodeLength) return false;
        (*out)[n++] = c;
    }
    return n == kCodeLength;
}

std::string show_code(const std::array<char, kCodeLength>& code) {
    return std::string(code.begin(), code.begin() + 4) + "-" + std::string(code.begin() + 4, code.end());
}

bool same_code(const std::array<char, kCodeLength>& a, const std::array<char, kCodeLength>& b) {
    unsigned diff = 0;
    for (size_t i = 0; i < kCodeLength; ++i) diff |= unsigned(uint8_t(a[i]) ^ uint8_t(b[i]));
    return diff == 0;
}

bool parse_address(const std::string& text, std::string* host, uint16_t* port) {
    std::string h = text, p;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) return false;
        h = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            p = rest.substr(1);
            if (p.empty()) return false;
        }
    } else if (text.find(':') == text.rfind(':') && text.find(':') != std::string::npos) {
        // One colon: HOST:PORT. Several: a bare IPv6 address.
        h = text.substr(0, text.find(':'));
        p = text.substr(text.find(':') + 1);
        if (p.empty()) return false;
    }
    if (h.empty()) return false;
    uint32_t value = kDefaultPort;
    if (!p.empty()) {
        if (p.size() > 5) return false;
        value = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + uint32_t(c - '0');
        }
        if (value == 0 || value > 65535) return false;
    }
    *host = h;
    *port = uint16_t(value);
    return true;
}

std::string escape(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (char c : text) {
        auto u = uint8_t(c);
        if (u >= 0x20 && u < 0x7f && c != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

} // namespace net
