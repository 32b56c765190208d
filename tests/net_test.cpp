// The protocol's frames, join codes and addresses; and the link against a real
// link and against a hostile peer on the loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <mutex>

#include "net/link.h"
#include "tests/harness.h"

using namespace net;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes frame(Bytes body) {
    body.insert(body.begin(), {uint8_t(body.size() >> 8), uint8_t(body.size())});
    return body;
}
Bytes hello(uint16_t version = kVersion, const char* code = "ABCDEFGH", uint8_t opening = 0) {
    Bytes b = {1, 'G', 'L', 'B', 'D', uint8_t(version >> 8), uint8_t(version)};
    b.insert(b.end(), code, code + 8);
    b.push_back(opening);
    return frame(b);
}
Bytes operator+(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }
Bytes move(const Bytes& fields) { return frame(Bytes{3} + fields); }

const Bytes kMove = move({2, 8, 8, 9, 7, 0, 0, 3}); // (8, 8) and (9, 7), up-left
const Bytes kHash1 = frame({4, 0, 0, 0, 1, 1, 2, 3, 4, 5, 6, 7, 8});

} // namespace

TEST(Protocol, FramesParseStrictlyAndEncodeBackToTheSameBytes) {
    const Reason ok = Reason::None, bad = Reason::Malformed, off = Reason::IllegalMove, big = Reason::Oversized;
    struct Row {
        Bytes bytes;
        Reason fault;
    } rows[] = {
        {hello(), ok},
        {hello(kVersion, "ABCDEFGH", 2), ok},
        {hello(kVersion, "ABCDEFGH", 3), bad}, // no such opening
        {hello(1), Reason::BadVersion},
        {frame({1, 'G', 'L', 'B', 'D', 0, 9}), Reason::BadVersion},
        {frame({1, 'X', 'L', 'B', 'D', 0, 1, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}), bad},
        {hello(kVersion, "abcdefgh"), bad},
        {frame({1, 'G', 'L', 'B', 'D', 0, 2, 'A', 'B', 'C'}), bad},
        {frame({2, uint8_t(Reason::WrongCode)}), ok},
        {frame({2, 0}), bad},
        {frame({2, uint8_t(Reason::Count)}), bad},
        {kMove, ok},
        {move({1, 6, 2, 0, 0, 0, 0, 0}), ok},
        {move({0, 6, 2, 0, 0, 0, 0, 0}), bad},
        {move({4, 6, 2, 0, 0, 0, 0, 0}), bad},
        {move({1, 6, 2, 0, 0, 0, 0, 6}), bad},
        {move({1, 6, 2, 7, 0, 0, 0, 0}), bad}, // a slot past n in use
        {move({1, 7, 2, 0, 0, 0, 0, 0}), off},
        {move({1, 4, 2, 0, 0, 0, 0, 0}), off}, // x + y odd; the border
        {move({1, 10, 11, 0, 0, 0, 0, 0}), off},
        {move({1, 0xfe, 2, 0, 0, 0, 0, 0}), off},
        {frame({3, 1, 6, 2}), bad},
        {kHash1, ok},
        {frame({4, 0, 0, 0, 1}), bad},
        {frame({5}), ok},
        {frame({6}), ok},
        {frame({5, 0}), bad},
        {frame({0}), bad},
        {frame({77}), bad},
        {Bytes{0, 0, 5}, bad},
        {Bytes{0, kMaxFrame + 1}, big},
        {Bytes{'G', 'E', 'T', ' ', '/'}, big},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.bytes));
        for (size_t chunk : {row.bytes.size(), size_t(1)}) {
            Decoder d;
            size_t used = 0;
            while (used < row.bytes.size() && d.fault() == Reason::None && !d.ready())
                used += d.feed(row.bytes.data() + used, std::min(chunk, row.bytes.size() - used));
            EXPECT_EQ(d.fault(), row.fault);
            EXPECT_EQ(d.ready(), row.fault == Reason::None);
            if (d.ready()) {
                EXPECT_EQ(encode(d.message()), row.bytes);
            }
        }
    }
}

TEST(Protocol, CodesAndAddresses) {
    std::array<char, kCodeLength> code;
    EXPECT_TRUE(normalise_code("abcd-efgh", &code) && show_code(code) == "ABCD-EFGH");
    EXPECT_TRUE(normalise_code("ABCD EFGH", &code));
    for (const char* wrong : {"", "ABCD-EFG", "ABCD-EFGHJ", "ABCD-EFG0", "ABCD-EFGI", "ABCD/EFG"})
        EXPECT_FALSE(normalise_code(wrong, &code)) << wrong;
    std::string a = new_code(), b = new_code();
    EXPECT_TRUE(normalise_code(a, &code) && show_code(code) == a && a != b) << a << " " << b;
    struct Row {
        const char* text;
        const char* host;
        int port;
    } rows[] = {
        {"192.0.2.1:4321", "192.0.2.1", 4321},
        {"example.org", "example.org", kDefaultPort},
        {"[::1]:9", "::1", 9},
        {"::1", "::1", kDefaultPort},
        {"h:65535", "h", 65535},
        {":80", nullptr, 0},
        {"h:0", nullptr, 0},
        {"h:65536", nullptr, 0},
        {"h:8x", nullptr, 0},
        {"h:", nullptr, 0},
        {"[::1", nullptr, 0},
        {"[::1]x", nullptr, 0},
    };
    for (const Row& row : rows) {
        std::string host;
        uint16_t port = 0;
        ASSERT_EQ(parse_address(row.text, &host, &port), row.host != nullptr) << row.text;
        EXPECT_TRUE(!row.host || (host == row.host && port == row.port)) << row.text;
    }
    EXPECT_EQ(escape("a\x1b[2J\\\n"), "a\\x1b[2J\\x5c\\x0a");
}

namespace {

// A hand-driven peer on the loopback: blocking sockets, every read limited to 5 s.
struct Peer {
    int fd;
    explicit Peer(int f, int seconds = 5) : fd(f) {
        timeval limit{seconds, 0}; // on a listener, accept's limit
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    Peer(Peer&& o) : fd(o.fd) { o.fd = -1; }
    ~Peer() { hang_up(); }
    void hang_up() { fd >= 0 && close(fd), fd = -1; }
    static sockaddr_in loopback(uint16_t port) {
        sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        return a;
    }
    static Peer call(uint16_t port) {
        Peer p(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in a = loopback(port);
        if (connect(p.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) p.hang_up();
        return p;
    }
    void send(const Bytes& b) const { ::send(fd, b.data(), b.size(), MSG_NOSIGNAL); }
    bool read(uint8_t* to, size_t n) const {
        for (ssize_t r = 0; n > 0; to += r, n -= size_t(r))
            if ((r = recv(fd, to, n, 0)) <= 0) return false;
        return true;
    }
    // The next frame other than a heartbeat; empty at the end of the stream.
    Bytes next() const {
        for (Bytes b(2);; b.resize(2))
            if (!read(b.data(), 2) || (b.resize(2 + (b[0] << 8 | b[1])), !read(b.data() + 2, b.size() - 2)))
                return {};
            else if (b != frame({5}))
                return b;
    }
};

// A host for the side that joins: listens on a free loopback port, then takes the
// one caller and checks its hello.
struct TestHost {
    Peer listener{socket(AF_INET, SOCK_STREAM, 0), 60}; // a caller that never comes fails, not hangs
    uint16_t port = 0;
    TestHost() {
        sockaddr_in a = Peer::loopback(0);
        socklen_t size = sizeof a;
        bind(listener.fd, reinterpret_cast<sockaddr*>(&a), size), listen(listener.fd, 1);
        getsockname(listener.fd, reinterpret_cast<sockaddr*>(&a), &size);
        port = ntohs(a.sin_port);
    }
    Peer take() const {
        Peer p(accept(listener.fd, nullptr, nullptr));
        EXPECT_EQ(p.next(), hello());
        return p;
    }
};

Options quick() {
    Options o;
    o.heartbeat_ms = 50;
    o.silence_ms = 400, o.hello_ms = 2000; // a joining link's resolve and connect under a sanitizer and load
    return o;
}

} // namespace

TEST(Link, HostRefusesBadCallersUpToTheLimitThenPlaysKeptAliveByHeartbeats) {
    std::mutex m;
    std::vector<std::string> notices;
    Options o = quick();
    o.max_tries = 8;
    o.opening = 2; // rosettes-inset
    o.notice = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(m);
        notices.push_back(line);
    };
    auto host = Link::host("127.0.0.1", 0, "abcd-efgh", o);
    struct Row {
        Bytes sent;
        Reason refusal;
    } rows[] = {
        {hello(1), Reason::BadVersion},  {hello(kVersion, "ABCDEFGJ"), Reason::WrongCode},
        {frame({5}), Reason::Malformed}, {Bytes{'G', 'E', 'T', ' '}, Reason::Oversized},
        {{}, Reason::Silence},
    };
    for (const Row& row : rows) {
        Peer p = Peer::call(host->port());
        p.send(row.sent);
        EXPECT_EQ(p.next(), frame({2, uint8_t(row.refusal)})) << describe(row.refusal);
        EXPECT_EQ(p.next(), Bytes{}); // and then hung up
        EXPECT_EQ(host->state(), Link::State::Waiting);
    }
    // Callers who have gone, one of them after the right hello, are dropped and
    // counted; a silent one holds nobody up.
    Peer gone = Peer::call(host->port()), silent = Peer::call(host->port());
    Peer::call(host->port()).send(hello());
    gone.hang_up();
    auto counted = [&] { return std::lock_guard<std::mutex>(m), notices.size(); };
    ASSERT_TRUE(test::eventually([&] { return counted() == 7; })) << counted();
    auto guest = Link::join("127.0.0.1", host->port(), "abcdefgh", quick());
    ASSERT_TRUE(test::eventually([&] { return host->state() == Link::State::Playing; })) << guest->cause();
    EXPECT_EQ(silent.next(), Bytes{}) << "dropped once the game began";
    EXPECT_EQ(Peer::call(host->port()).fd, -1) << "still listening with a player";
    usleep(1000 * 1000); // more than twice the silence limit, heartbeats only
    EXPECT_EQ(host->state(), Link::State::Playing) << host->cause();
    EXPECT_EQ(guest->state(), Link::State::Playing) << guest->cause();
    EXPECT_EQ(guest->host_opening(), 2) << "the host's hello carries its opening";
    EXPECT_EQ(host->host_opening(), -1);
    guest.reset(); // quits
    EXPECT_TRUE(test::eventually([&] { return host->reason() == Reason::PeerQuit; })) << host->cause();
    {
        std::lock_guard<std::mutex> lock(m);
        ASSERT_EQ(notices.size(), 7u);
        EXPECT_NE(notices[1].find("127.0.0.1: wrong join code (attempt 2 of 8)"), std::string::npos) << notices[1];
        EXPECT_NE(notices[6].find(": the connection was lost (attempt 7 of 8)"), std::string::npos) << notices[6];
    }
    o.max_tries = 1;
    auto wary = Link::host("127.0.0.1", 0, "ABCD-EFGH", o);
    Peer::call(wary->port()).send(hello(kVersion, "ABCDEFGJ"));
    EXPECT_TRUE(test::eventually([&] { return wary->reason() == Reason::TooManyTries; }));
}

TEST(Link, EveryUnexpectedInputEndsTheJoinedLinkWithItsReason) {
    const Bytes kAnotherHash = frame({4, 0, 0, 0, 1, 9, 9, 9, 9, 9, 9, 9, 9});
    struct Row {
        Bytes sent;
        Reason reason;
        bool told, hang_up = false;
        Bytes after_ours = {}; // sent once our hash of their move and a move of ours are out
    } rows[] = {
        {hello(1), Reason::BadVersion, true},
        {hello(kVersion, "ABCDEFGJ"), Reason::WrongCode, true},
        {frame({2, uint8_t(Reason::WrongCode)}), Reason::WrongCode, false},
        {hello() + frame({77}), Reason::Malformed, true},
        {hello() + Bytes{0xff, 0xff}, Reason::Oversized, true},
        {hello() + move({1, 7, 2, 0, 0, 0, 0, 0}), Reason::IllegalMove, true},
        {hello() + kMove + kMove, Reason::IllegalMove, true}, // out of turn
        {hello() + kHash1, Reason::Malformed, true},          // a hash before its move
        {hello() + kMove + kAnotherHash, Reason::HashDiffers, true},
        {hello() + kMove, Reason::Malformed, true, false, kMove}, // their next move before their hash
        {hello(), Reason::Silence, true},
        {hello() + Bytes(kMove.begin(), kMove.begin() + 5), Reason::Disconnected, false, true},
        {hello() + frame({6}), Reason::PeerQuit, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(describe(row.reason));
        TestHost listening;
        auto link = Link::join("127.0.0.1", listening.port, "ABCD-EFGH", quick());
        Peer host = listening.take();
        host.send(row.sent);
        if (row.hang_up) host.hang_up();
        Move got;
        if (row.reason == Reason::HashDiffers || !row.after_ours.empty()) {
            EXPECT_TRUE(test::eventually([&] { return link->next_move(&got); }));
            link->played(1, 0x0102030405060708);
            EXPECT_EQ(host.next(), kHash1); // ours, before the refusal
        }
        if (!row.after_ours.empty()) {
            link->send_move(got); // well formed is all the link asks
            EXPECT_FALSE(host.next().empty());
            host.send(row.after_ours);
        }
        EXPECT_TRUE(test::eventually([&] { return link->state() == Link::State::Ended; }));
        EXPECT_EQ(link->reason(), row.reason) << link->cause();
        EXPECT_FALSE(row.hang_up && link->next_move(&got)) << "half a move came through";
        if (row.told) {
            EXPECT_EQ(host.next(), frame({2, uint8_t(row.reason)}));
        }
        EXPECT_TRUE(row.hang_up || host.next().empty());
    }
}

// The real program on the headless device, on each side of the loopback.
TEST(Program, TwoProgramsPlayAWholeGameEachScriptDrivingItsOwnSide) {
    const std::string dir = test::scratch("net_game"), code = "--code=ABCD-EFGH";
    std::vector<game::Game> sides;
    std::vector<std::unique_ptr<test::Child>> runs;
    for (const char* side : {"host", "join"}) {
        sides.push_back(
            game::load(GAMES_DIR "/net/" + std::string(side) + ".txt", test::scratch("net_game/" + std::string(side))));
        std::ofstream(dir + "/" + side + ".txt") << sides.back().script;
    }
    // Each side keeps the game; the records hold the same moves.
    runs.push_back(game::start(
        dir + "/host.txt", {"--host", "127.0.0.1:0", code, "GLOBOID_SEAT_PAUSE_MS=0", "--record", dir + "/host.rec"}));
    size_t at = std::string::npos;
    ASSERT_TRUE(
        test::eventually([&] { return (at = runs[0]->output().find("--join 127.0.0.1:")) != std::string::npos; }));
    const std::string port = runs[0]->output().substr(at + 17, runs[0]->output().find(' ', at + 17) - at - 17);
    runs.push_back(game::start(dir + "/join.txt", {"--join", "127.0.0.1:" + port, code, "GLOBOID_SEAT_PAUSE_MS=0",
                                                   "--record", dir + "/join.rec"}));
    for (size_t i = 0; i < 2; i++) {
        EXPECT_EQ(runs[i]->wait(300000), 0) << runs[i]->output(); // sanitizers play slower
        for (const game::Check& c : sides[i].checks) EXPECT_EQ(game::verify(c), "") << "line " << c.line;
    }
    const std::string host = test::slurp(dir + "/host.rec"), join = test::slurp(dir + "/join.rec");
    EXPECT_NE(host.find("[Dark \"remote\"]"), std::string::npos) << host;
    EXPECT_NE(join.find("[Light \"remote\"]"), std::string::npos) << join;
    EXPECT_NE(host.find("\n1. "), std::string::npos) << host;
    EXPECT_EQ(host.substr(host.find("\n\n")), join.substr(join.find("\n\n")));
}

TEST(Program, AHostilePeerEndsTheGameWithItsPictureAndStatus) {
    const std::string dir = test::scratch("net_hostile");
    const Bytes kFirst = move({1, 8, 4, 0, 0, 0, 0, 0});
    struct Row {
        Bytes sent;
        const char* picture;
        int status;
        const char* cause;
        const char* play = ""; // the person's own move first, then the rest once it is sent
        Bytes later = {};
    } rows[] = {
        {frame({6}), "parti", 0, ""},
        {move({1, 8, 4, 0, 0, 0, 0, 3}), "rompu", 1, "globoid: an illegal move from the other side\n"}, // refused
        // Both moves stand and sound; the other side's hash of the first comes after the
        // second, so that the person's wait ends only on the picture.
        {move({1, 8, 4, 0, 0, 0, 0, 0}), "rompu", 1,
         "sound move\nsound move\ngloboid: the two boards differ after move 1\n", "click 269 261\ntap kp9\nwait\n",
         frame({4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0})},
        {Bytes(kMove.begin(), kMove.begin() + 6), "rompu", 1, "globoid: the connection was lost\n"},
        // The host's first move, then the end, before the game here has begun.
        {kFirst + frame({6}), "parti", 0, ""},
        {kFirst + kFirst, "rompu", 1, "globoid: a move out of turn from the other side\n"},
        {kFirst, "rompu", 1, "globoid: the connection was lost\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cause);
        const std::string shot = dir + "/" + std::to_string(&row - rows) + ".png";
        std::ofstream(dir + "/script.txt") << "wait\n" << row.play << "shot " << shot << "\ntap space\n";
        TestHost listening;
        auto run = game::start(dir + "/script.txt", {"--join", "127.0.0.1:" + std::to_string(listening.port), "--code",
                                                     "ABCD-EFGH", "GLOBOID_SEAT_PAUSE_MS=0"});
        Peer host = listening.take();
        host.send(hello() + row.sent);
        if (!row.later.empty()) {
            for (int frames = 0; frames < 3; frames++) EXPECT_FALSE(host.next().empty()); // hash, move, hash
            host.send(row.later);
        }
        if (std::strstr(row.cause, "lost")) host.hang_up(); // in the middle of a move, or after one
        const int status = run->wait(60000);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status) << status;
        EXPECT_EQ(run->output(), row.cause);
        EXPECT_EQ(test::differs(test::read_png(shot), game::picture(row.picture)), "");
    }
}
