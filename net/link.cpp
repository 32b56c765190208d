// The link's thread: one io_context runs the listening, the connection, its
// reads and writes and the timers. The game's calls are posted to it; what the
// game reads back (moves, state, the cause of the end) sits behind one mutex.
#include "net/link.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace net {

using asio::ip::tcp;
using std::chrono::milliseconds;

namespace {

// One TCP connection: a caller on its way in, or the game's.
struct Connection {
    explicit Connection(asio::io_context& io) : socket(io), hello_timer(io), linger_timer(io) {}
    tcp::socket socket;
    asio::steady_timer hello_timer, linger_timer;
    bool open = false;     // connected, and not dropped since
    bool answered = false; // the host has answered its right hello; its next word says it is still there
    bool closing = false;  // final words queued; reads are drained until the end
    bool writing = false;
    std::deque<std::vector<uint8_t>> out;
    std::array<uint8_t, 64> in{};
    Decoder decoder;
    std::string peer; // the caller's address, for the host's notices
};
using Conn = std::shared_ptr<Connection>;

} // namespace

struct Link::Impl {
    Options opt;
    bool hosting = false;
    std::array<char, kCodeLength> code{};
    std::string where; // the host we join, as the player gave it

    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
    tcp::acceptor acceptor{io};
    tcp::resolver resolver{io};
    asio::steady_timer beat_timer{io}, silence_timer{io};
    std::thread thread;

    // The link thread's own state. Every handler holds its connection, and does
    // nothing once that connection is dropped.
    Conn game;                 // the game's connection: the joiner's from the start, the host's once greeted
    std::vector<Conn> callers; // the host's callers who may still say the right hello, all at once
    bool accepting = false;
    bool greeted = false; // hellos exchanged
    int tries = 0;
    uint32_t plies = 0, peer_hash_ply = 0;
    std::deque<std::pair<uint32_t, uint64_t>> ours, theirs; // hashes not yet compared

    // Shared with the game thread.
    std::atomic<State> state{State::Waiting};
    std::atomic<uint16_t> port{0};
    std::atomic<int> host_opening{-1};
    mutable std::mutex mutex;
    std::deque<Move> moves;
    Reason reason = Reason::None;
    std::string cause;

    ~Impl() {
        work.reset();
        if (thread.joinable()) thread.join();
    }

    void run() {
        thread = std::thread([this] {
            for (;;) {
                try {
                    io.run();
                    return;
                } catch (const std::exception& e) {
                    end(Reason::Disconnected, std::string("the connection failed: ") + e.what(), true);
                }
            }
        });
    }

    void notice(const std::string& line) {
        if (opt.notice)
            opt.notice(line);
        else
            std::fprintf(stderr, "%s\n", line.c_str());
    }

    bool our_turn() const { return plies % 2 == (hosting ? 0u : 1u); }

    // --- Ending ------------------------------------------------------------

    // Ends the link once: records why, says so to the other side when `tell` (a
    // Refuse with the reason, or a Bye for a plain quit), and closes the connection.
    void end(Reason r, const std::string& why, bool tell) {
        if (state == State::Ended) return;
        record(r, why);
        if (!game) return;
        if (!game->open) return drop(game);
        Message m;
        m.type = r == Reason::None ? Type::Bye : Type::Refuse;
        m.reason = r;
        close_connection(game, tell ? encode(m) : std::vector<uint8_t>{});
    }

    void record(Reason r, const std::string& why) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            reason = r;
            cause = why;
        }
        state = State::Ended;
        if (opt.wake) opt.wake();
        asio::error_code ignored;
        acceptor.close(ignored);
        resolver.cancel();
        if (game) game->hello_timer.cancel();
        for (const Conn& c : std::vector<Conn>(callers)) drop(c);
    }

    // A fault in what the other side sent.
    void end_for(Reason r) {
        bool theirs = r == Reason::Malformed || r == Reason::Oversized || r == Reason::IllegalMove;
        end(r, std::string(describe(r)) + (theirs ? " from the other side" : ""), true);
    }

    // Queues the last frame (if any), then shuts the sending side and drains what
    // still comes until the other side closes, half a second at most: closing with
    // unread bytes would reset the connection and could lose the last frame.
    void close_connection(const Conn& c, std::vector<uint8_t> last) {
        c->closing = true;
        if (c == game) {
            beat_timer.cancel();
            silence_timer.cancel();
        }
        if (!last.empty()) send(c, std::move(last));
        c->linger_timer.expires_after(milliseconds(500));
        c->linger_timer.async_wait([this, c](const asio::error_code& ec) {
            if (!ec && c->open) drop(c);
        });
        if (!c->writing) shut(c);
    }

    void shut(const Conn& c) {
        asio::error_code ignored;
        c->socket.shutdown(tcp::socket::shutdown_send, ignored);
    }

    // The connection is gone; the host takes more callers while it waits.
    void drop(const Conn& c) {
        asio::error_code ignored;
        c->socket.close(ignored);
        c->linger_timer.cancel();
        c->hello_timer.cancel();
        c->open = c->closing = c->writing = false;
        c->out.clear();
        forget(c);
        if (hosting) accept();
    }

    void forget(const Conn& c) { callers.erase(std::remove(callers.begin(), callers.end(), c), callers.end()); }

    // --- Host --------------------------------------------------------------

    void listen(const std::string& address, uint16_t wanted) {
        asio::error_code ec;
        tcp::endpoint at;
        if (address.empty()) {
            // Both families on one socket where the machine has IPv6; IPv4 alone otherwise.
            at = tcp::endpoint(tcp::v6(), wanted);
            acceptor.open(at.protocol(), ec);
            if (!ec) acceptor.set_option(asio::ip::v6_only(false), ec);
            if (ec) {
                acceptor.close(ec);
                at = tcp::endpoint(tcp::v4(), wanted);
            }
        } else {
            asio::ip::address a = asio::ip::make_address(address, ec);
            if (ec) throw std::runtime_error("cannot listen on " + escape(address) + ": not an address");
            at = tcp::endpoint(a, wanted);
        }
        if (!acceptor.is_open()) acceptor.open(at.protocol(), ec);
        if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec) acceptor.bind(at, ec);
        if (!ec) acceptor.listen(4, ec);
        if (ec) throw std::runtime_error("cannot listen on port " + std::to_string(wanted) + ": " + ec.message());
        port = acceptor.local_endpoint().port();
        accept();
    }

    // Callers are heard all at once, each with its own time to say hello, so that
    // a silent one holds nobody up; as many at a time as refusals are allowed.
    void accept() {
        if (accepting || state != State::Waiting || int(callers.size()) >= std::max(1, opt.max_tries)) return;
        accepting = true;
        auto c = std::make_shared<Connection>(io);
        acceptor.async_accept(c->socket, [this, c](const asio::error_code& ec) {
            accepting = false;
            if (ec || state != State::Waiting) return;
            asio::error_code e;
            tcp::endpoint from = c->socket.remote_endpoint(e);
            c->peer = e ? "an unknown address" : from.address().to_string();
            callers.push_back(c);
            connected(c);
            c->hello_timer.expires_after(milliseconds(opt.hello_ms));
            c->hello_timer.async_wait([this, c](const asio::error_code& ec) {
                if (!ec && c->open && !c->closing && c != game) refuse(c, Reason::Silence);
            });
            accept();
        });
    }

    // A caller who did not say the right hello, or went before the game began:
    // told why if still there, and counted.
    void refuse(const Conn& c, Reason r, bool gone = false) {
        ++tries;
        notice("refused a player from " + c->peer + ": " + describe(r) + " (attempt " + std::to_string(tries) + " of " +
               std::to_string(opt.max_tries) + ")");
        forget(c);
        if (gone) {
            drop(c);
        } else {
            Message m;
            m.type = Type::Refuse;
            m.reason = r;
            c->hello_timer.cancel();
            close_connection(c, encode(m));
        }
        if (tries >= opt.max_tries)
            record(Reason::TooManyTries, describe(Reason::TooManyTries));
        else
            accept();
    }

    // --- Join --------------------------------------------------------------

    void connect(const std::string& host, uint16_t port_number) {
        where = escape(host) + ":" + std::to_string(port_number);
        game = std::make_shared<Connection>(io);
        game->hello_timer.expires_after(milliseconds(opt.hello_ms));
        game->hello_timer.async_wait([this](const asio::error_code& ec) {
            if (ec || greeted || state == State::Ended) return;
            if (game->open)
                end(Reason::Silence, "no answer from " + where, false);
            else
                end(Reason::CannotConnect, "cannot connect to " + where + ": no answer", false);
        });
        resolver.async_resolve(
            host, std::to_string(port_number), [this](const asio::error_code& ec, tcp::resolver::results_type found) {
                if (state == State::Ended) return;
                if (ec) return end(Reason::CannotConnect, "cannot connect to " + where + ": " + ec.message(), false);
                asio::async_connect(game->socket, found, [this](const asio::error_code& ec, const tcp::endpoint&) {
                    if (state == State::Ended) return;
                    if (ec)
                        return end(Reason::CannotConnect, "cannot connect to " + where + ": " + ec.message(), false);
                    connected(game);
                    send(game, hello());
                });
            });
    }

    // --- The connection ----------------------------------------------------

    std::vector<uint8_t> hello() const {
        Message m;
        m.type = Type::Hello;
        m.code = code;
        m.opening = hosting ? opt.opening : 0;
        return encode(m);
    }

    static std::vector<uint8_t> heartbeat() {
        Message m;
        m.type = Type::Heartbeat;
        return encode(m);
    }

    void connected(const Conn& c) {
        c->open = true;
        asio::error_code ignored;
        c->socket.set_option(tcp::no_delay(true), ignored); // a move is one small frame: send it now
        read(c);
    }

    void greet(const Conn& c) {
        greeted = true;
        game = c;
        c->hello_timer.cancel();
        asio::error_code ignored;
        acceptor.close(ignored);
        state = State::Playing;
        forget(c);
        for (const Conn& other : std::vector<Conn>(callers)) drop(other);
        // The joiner's first word tells the host at once that it is still there.
        if (!hosting) send(c, heartbeat());
        if (opt.wake) opt.wake();
        beat();
        heard();
    }

    void beat() {
        beat_timer.expires_after(milliseconds(opt.heartbeat_ms));
        beat_timer.async_wait([this](const asio::error_code& ec) {
            if (ec || state != State::Playing) return;
            if (!game->writing) send(game, heartbeat());
            beat();
        });
    }

    // Restarts the silence clock: called on every whole frame.
    void heard() {
        silence_timer.expires_after(milliseconds(opt.silence_ms));
        silence_timer.async_wait([this](const asio::error_code& ec) {
            if (ec || state != State::Playing) return;
            char why[64];
            std::snprintf(why, sizeof why, "no word from the other side for %.1f s", opt.silence_ms / 1000.0);
            end(Reason::Silence, why, true);
        });
    }

    void send(const Conn& c, std::vector<uint8_t> frame) {
        c->out.push_back(std::move(frame));
        if (!c->writing) write(c);
    }

    void write(const Conn& c) {
        if (c->out.empty()) {
            c->writing = false;
            if (c->closing) shut(c);
            return;
        }
        c->writing = true;
        asio::async_write(c->socket, asio::buffer(c->out.front()), [this, c](const asio::error_code& ec, size_t) {
            if (!c->open) return;
            if (ec) {
                c->writing = false;
                c->out.clear();
                return c->closing ? drop(c) : lost(c);
            }
            c->out.pop_front();
            write(c);
        });
    }

    void read(const Conn& c) {
        c->socket.async_read_some(asio::buffer(c->in), [this, c](const asio::error_code& ec, size_t n) {
            if (!c->open) return;
            if (ec) return c->closing ? drop(c) : lost(c);
            if (!c->closing) take(c, n);
            if (c->open) read(c);
        });
    }

    void lost(const Conn& c) {
        if (c != game) return refuse(c, Reason::Disconnected, true); // a caller who hung up
        end(Reason::Disconnected, describe(Reason::Disconnected), false);
        drop(c);
    }

    void take(const Conn& c, size_t n) {
        size_t used = 0;
        while (used < n && c->open && !c->closing) {
            used += c->decoder.feed(c->in.data() + used, n - used);
            if (c->decoder.fault() != Reason::None) return fault(c, c->decoder.fault());
            if (c->decoder.ready()) message(c, c->decoder.message());
        }
    }

    void fault(const Conn& c, Reason r) {
        const bool playing = greeted && c == game;
        if (r == Reason::IllegalMove && !playing) r = Reason::Malformed;
        if (hosting && !playing)
            refuse(c, r);
        else
            end_for(r);
    }

    void message(const Conn& c, const Message& m) {
        if (!greeted || c != game) return hosting ? greet_caller(c, m) : greet_host(m);
        heard();
        switch (m.type) {
        case Type::Heartbeat: break;
        case Type::Bye: end(Reason::PeerQuit, describe(Reason::PeerQuit), false); break;
        case Type::Refuse:
            end(m.reason, std::string("the other side ended the link: ") + describe(m.reason), false);
            break;
        case Type::Move:
            if (our_turn()) return end(Reason::IllegalMove, "a move out of turn from the other side", true);
            if (peer_hash_ply != plies) return end_for(Reason::Malformed);
            ++plies;
            {
                std::lock_guard<std::mutex> lock(mutex);
                moves.push_back(m.move);
            }
            if (opt.wake) opt.wake();
            break;
        case Type::Hash:
            if (m.ply != peer_hash_ply + 1 || m.ply > plies) return end_for(Reason::Malformed);
            peer_hash_ply = m.ply;
            theirs.emplace_back(m.ply, m.hash);
            compare();
            break;
        case Type::Hello: end_for(Reason::Malformed); break;
        }
    }

    // The game begins with the caller's first word after our hello: one who said
    // hello and hung up is not a player.
    void greet_caller(const Conn& c, const Message& m) {
        if (c->answered) {
            if (m.type == Type::Bye) return refuse(c, Reason::PeerQuit, true);
            return m.type == Type::Heartbeat ? greet(c) : refuse(c, Reason::Malformed);
        }
        if (m.type != Type::Hello) return refuse(c, Reason::Malformed);
        if (!same_code(m.code, code)) return refuse(c, Reason::WrongCode);
        c->answered = true;
        send(c, hello());
    }

    void greet_host(const Message& m) {
        if (m.type == Type::Refuse) {
            std::string why = m.reason == Reason::WrongCode ? "the host refused the join code"
                                                            : std::string("the host refused: ") + describe(m.reason);
            return end(m.reason, why, false);
        }
        if (m.type != Type::Hello) return end_for(Reason::Malformed);
        if (!same_code(m.code, code)) return end(Reason::WrongCode, "the host answered with another join code", true);
        host_opening = m.opening;
        greet(game);
    }

    void compare() {
        while (!ours.empty() && !theirs.empty()) {
            if (ours.front().first != theirs.front().first) {
                // The older of the two can no longer be matched.
                (ours.front().first < theirs.front().first ? ours : theirs).pop_front();
                continue;
            }
            bool same = ours.front().second == theirs.front().second;
            uint32_t ply = ours.front().first;
            ours.pop_front();
            theirs.pop_front();
            if (!same) return end(Reason::HashDiffers, "the two boards differ after move " + std::to_string(ply), true);
        }
    }

    // --- Calls from the game thread, run here ------------------------------

    void our_move(const Move& m) {
        if (state != State::Playing || !our_turn()) return;
        ++plies;
        Message msg;
        msg.type = Type::Move;
        msg.move = m;
        send(game, encode(msg));
    }

    void our_hash(uint32_t ply, uint64_t hash) {
        if (state != State::Playing) return;
        Message msg;
        msg.type = Type::Hash;
        msg.ply = ply;
        msg.hash = hash;
        send(game, encode(msg));
        ours.emplace_back(ply, hash);
        compare();
    }
};

Link::Link(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Link> Link::host(const std::string& address, uint16_t port, const std::string& code, Options options) {
    auto impl = std::make_unique<Impl>();
    if (!normalise_code(code, &impl->code)) throw std::runtime_error("not a join code: " + escape(code));
    impl->opt = std::move(options);
    impl->hosting = true;
    impl->listen(address, port);
    impl->run();
    return std::unique_ptr<Link>(new Link(std::move(impl)));
}

std::unique_ptr<Link> Link::join(const std::string& host, uint16_t port, const std::string& code, Options options) {
    auto impl = std::make_unique<Impl>();
    if (!normalise_code(code, &impl->code)) throw std::runtime_error("not a join code: " + escape(code));
    impl->opt = std::move(options);
    Impl* i = impl.get();
    asio::post(i->io, [i, host, port] { i->connect(host, port); });
    impl->run();
    return std::unique_ptr<Link>(new Link(std::move(impl)));
}

Link::~Link() {
    Impl* i = impl_.get();
    asio::post(i->io, [i] {
        if (i->state != State::Ended) i->end(Reason::None, "quit", true);
        i->beat_timer.cancel();
        i->silence_timer.cancel();
    });
}

uint16_t Link::port() const { return impl_->port; }
Link::State Link::state() const { return impl_->state; }
int Link::host_opening() const { return impl_->host_opening; }

bool Link::next_move(Move* out) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->moves.empty()) return false;
    *out = impl_->moves.front();
    impl_->moves.pop_front();
    return true;
}

bool Link::has_move() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return !impl_->moves.empty();
}

void Link::send_move(const Move& move) {
    Impl* i = impl_.get();
    asio::post(i->io, [i, move] { i->our_move(move); });
}

void Link::played(uint32_t ply, uint64_t hash) {
    Impl* i = impl_.get();
    asio::post(i->io, [i, ply, hash] { i->our_hash(ply, hash); });
}

void Link::quit() {
    Impl* i = impl_.get();
    asio::post(i->io, [i] { i->end(Reason::None, "quit", true); });
}

void Link::fail(Reason reason) {
    Impl* i = impl_.get();
    asio::post(i->io, [i, reason] { i->end_for(reason); });
}

Reason Link::reason() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->reason;
}

std::string Link::cause() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->cause;
}

std::string join_line(const std::string& address, uint16_t port, const std::string& code) {
    std::string shown = address;
    if (shown.empty()) {
        // The first outward address, IPv4 before IPv6; the loopback when there is none.
        std::string v4, v6;
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) == 0) {
            for (ifaddrs* a = list; a; a = a->ifa_next) {
                if (!a->ifa_addr || !(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK)) continue;
                char text[INET6_ADDRSTRLEN] = "";
                if (a->ifa_addr->sa_family == AF_INET && v4.empty()) {
                    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
                    v4 = text;
                } else if (a->ifa_addr->sa_family == AF_INET6 && v6.empty()) {
                    const in6_addr& a6 = reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr;
                    if (IN6_IS_ADDR_LINKLOCAL(&a6)) continue;
                    inet_ntop(AF_INET6, &a6, text, sizeof text);
                    v6 = text;
                }
            }
            freeifaddrs(list);
        }
        shown = !v4.empty() ? v4 : !v6.empty() ? v6 : "127.0.0.1";
    }
    if (shown.find(':') != std::string::npos) shown = "[" + shown + "]";
    return "globoid --join " + shown + ":" + std::to_string(port) + " --code " + code;
}

} // namespace net
